#include "console_script.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "launch.hpp"
#include "sim/board.hpp"

namespace rescuetest {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto hang_limit = 60s;

std::string read_text(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

pid_t child_of(pid_t parent) {
    for (const auto& entry : fs::directory_iterator("/proc")) {
        const std::string stat = read_text(entry.path() / "stat");
        if (stat.empty()) {
            continue;
        }
        std::istringstream fields(stat.substr(stat.rfind(')') + 1));
        char state = 0;
        pid_t ppid = 0;
        if (fields >> state >> ppid && ppid == parent) {
            return static_cast<pid_t>(std::stol(entry.path().filename().string()));
        }
    }
    return -1;
}

// Blocked on the console, in a poll, or asleep between polls of the serial port.
bool waiting(pid_t pid) {
    std::istringstream fields(read_text("/proc/" + std::to_string(pid) + "/syscall"));
    long number = -1;
    std::string first_arg;
    if (!(fields >> number >> first_arg)) {
        return false;
    }
    if (number == SYS_read) {
        return std::stoul(first_arg, nullptr, 16) == 0;
    }
    return number == SYS_poll || number == SYS_ppoll || number == SYS_nanosleep ||
           number == SYS_clock_nanosleep;
}

// The peer owns the line while it runs; its process group is killed when it is cut short.
void run_peer(int master, const Step& step, pid_t keeper) {
    const pid_t peer = fork();
    if (peer == 0) {
        setpgid(0, 0);
        dup2(master, 0);
        dup2(master, 1);
        const int log = open("/dev/null", O_WRONLY);
        dup2(log, 2);
        execlp("socat", "socat", "-b", "4096", "-", ("EXEC:" + step.peer).c_str(), nullptr);
        _exit(127);
    }
    setpgid(peer, peer);
    const auto give_up = std::chrono::steady_clock::now() + hang_limit;
    for (;;) {
        int status = 0;
        if (waitpid(peer, &status, WNOHANG) == peer) {
            return;
        }
        const bool cut = step.cut_peer_when && step.cut_peer_when();
        if (cut || kill(keeper, 0) != 0 || std::chrono::steady_clock::now() > give_up) {
            kill(-peer, SIGKILL);
            waitpid(peer, &status, 0);
            return;
        }
        std::this_thread::sleep_for(5ms);
    }
}

}  // namespace

Outcome run_script(const fs::path& root, const std::function<int()>& op,
                   const std::vector<Step>& steps) {
    const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        throw std::runtime_error("no pty");
    }
    boardsim::Console console;
    console.path = ptsname(master);
    console.new_session = true;
    const int slave = open(console.path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios settings{};
    tcgetattr(slave, &settings);
    settings.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(slave, TCSANOW, &settings);
    console.fd = slave;
    const pid_t keeper = boardsim::launch_board(root, console, [&op] {
        sim::use_board("/");
        return op();
    });
    close(slave);
    if (keeper < 0) {
        close(master);
        throw std::runtime_error("launching the board failed");
    }

    Outcome outcome;
    std::size_t next = 0;
    std::size_t seen_from = 0;  // where the current step starts looking for its text
    pid_t first = -1;
    auto give_up = std::chrono::steady_clock::now() + hang_limit;
    int status = 0;
    for (;;) {
        pollfd fd{master, POLLIN, 0};
        poll(&fd, 1, 1);
        if ((fd.revents & POLLIN) != 0) {
            std::array<char, 4096> buffer{};
            const ssize_t n = read(master, buffer.data(), buffer.size());
            if (n > 0) {
                outcome.console.append(buffer.data(), static_cast<std::size_t>(n));
            }
        }
        if (waitpid(keeper, &status, WNOHANG) == keeper) {
            break;
        }
        if (std::chrono::steady_clock::now() > give_up) {
            kill(keeper, SIGKILL);
            waitpid(keeper, &status, 0);
            break;
        }
        if (next == steps.size()) {
            continue;
        }
        if (first < 0) {
            const pid_t init = child_of(keeper);
            first = init < 0 ? -1 : child_of(init);
            continue;
        }
        const Step& step = steps[next];
        const auto at = outcome.console.find(step.after, seen_from);
        if (at == std::string::npos || !waiting(first)) {
            continue;
        }
        if (!step.send.empty() && write(master, step.send.data(), step.send.size()) < 0) {
            throw std::runtime_error("typing failed");
        }
        if (!step.peer.empty()) {
            run_peer(master, step, keeper);
        }
        seen_from = outcome.console.size();
        ++next;
        outcome.script_done = next == steps.size();
        give_up = std::chrono::steady_clock::now() + hang_limit;
    }
    std::array<char, 4096> buffer{};
    ssize_t n = 0;
    while ((n = read(master, buffer.data(), buffer.size())) > 0) {
        outcome.console.append(buffer.data(), static_cast<std::size_t>(n));
    }
    close(master);
    outcome.exit_code = boardsim::exit_code_of(status);
    return outcome;
}

}  // namespace rescuetest
