#include "console_script.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "launch.hpp"
#include "sim/board.hpp"

namespace rescuetest {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

constexpr auto hang_limit = 60s;
// Where the board leaves op's whole result; an exit status keeps only its low byte.
constexpr const char* result_file = "sim/op-result";

std::string read_text(const fs::path& path) {
    std::ifstream in(path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The oldest child of a process: orphans that the board's init adopts come after its own.
pid_t child_of(pid_t parent) {
    const std::string task = std::to_string(parent);
    std::istringstream children(read_text("/proc/" + task + "/task/" + task + "/children"));
    pid_t child = -1;
    children >> child;
    return child;
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

void write_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EPIPE) {
            return;  // the peer has ended; what it would have read no longer matters
        }
        if (n < 0 && errno != EINTR) {
            throw std::runtime_error("writing to the line failed");
        }
        if (n > 0) {
            data += n;
            size -= static_cast<std::size_t>(n);
        }
    }
}

// Reads what is waiting on from into to (or appends it to text); false once from is closed.
bool pass(int from, int to, std::string* text = nullptr) {
    std::array<char, 4096> buffer{};
    const ssize_t n = read(from, buffer.data(), buffer.size());
    if (n > 0 && text != nullptr) {
        text->append(buffer.data(), static_cast<std::size_t>(n));
    } else if (n > 0) {
        write_all(to, buffer.data(), static_cast<std::size_t>(n));
    }
    return n > 0 || (n < 0 && (errno == EINTR || errno == EAGAIN));
}

// The peer owns the line while it runs; its process group is killed when it is cut short. We
// relay between the console and socat ourselves: handed a terminal, socat would put back the
// settings it found there when it ends, undoing what the board has set meanwhile.
void run_peer(int master, const Step& step, pid_t keeper) {
    std::array<int, 2> line{};
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, line.data()) != 0) {
        throw std::runtime_error("no socket pair");
    }
    const pid_t peer = fork();
    if (peer == 0) {
        setpgid(0, 0);
        dup2(line[1], 0);
        dup2(line[1], 1);
        const int log = open("/dev/null", O_WRONLY);
        dup2(log, 2);
        execlp("socat", "socat", "-b", "4096", "-", ("EXEC:" + step.peer).c_str(), nullptr);
        _exit(127);
    }
    close(line[1]);
    setpgid(peer, peer);
    const auto give_up = std::chrono::steady_clock::now() + hang_limit;
    bool open = true;
    int status = 0;
    while (open || waitpid(peer, &status, WNOHANG) != peer) {
        std::array<pollfd, 2> fds{{{master, POLLIN, 0}, {line[0], POLLIN, 0}}};
        poll(fds.data(), fds.size(), 5);
        if (open && (fds[0].revents & POLLIN) != 0) {
            pass(master, line[0]);
        }
        if (open && (fds[1].revents & (POLLIN | POLLHUP)) != 0) {
            open = pass(line[0], master);
        }
        const bool cut = step.cut_peer_when && step.cut_peer_when();
        if (cut || kill(keeper, 0) != 0 || std::chrono::steady_clock::now() > give_up) {
            kill(-peer, SIGKILL);
            waitpid(peer, &status, 0);
            break;
        }
    }
    close(line[0]);
}

}  // namespace

Outcome run_script(const fs::path& root, const std::function<int()>& op,
                   const std::vector<Step>& steps) {
    // A peer that ends while the relay still has bytes for it must not end the test process.
    std::signal(SIGPIPE, SIG_IGN);
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
        const int result = op();
        std::ofstream(std::string("/") + result_file) << result;
        return result;
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
        if (poll(&fd, 1, 1) > 0 && (fd.revents & POLLIN) != 0) {
            pass(master, -1, &outcome.console);
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
        // A peer waits for its partner by itself, so it may take the line while the board runs
        // a program of its own (the receiver) rather than reading.
        if (outcome.console.find(step.after, seen_from) == std::string::npos ||
            (step.peer.empty() && !waiting(first))) {
            continue;
        }
        write_all(master, step.send.data(), step.send.size());
        if (!step.peer.empty()) {
            run_peer(master, step, keeper);
        }
        seen_from = outcome.console.size();
        ++next;
        outcome.script_done = next == steps.size();
        give_up = std::chrono::steady_clock::now() + hang_limit;
    }
    while (pass(master, -1, &outcome.console)) {
    }
    close(master);
    const std::string result = read_text(root / result_file);
    outcome.result = result.empty() ? boardsim::exit_code_of(status) : std::stoi(result);
    return outcome;
}

}  // namespace rescuetest
