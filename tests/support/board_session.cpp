#include "board_session.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "board_syscalls.hpp"
#include "launch.hpp"
#include "platform/files.hpp"
#include "rootfs.hpp"
#include "scratch.hpp"

namespace boardtest {
namespace {

namespace fs = std::filesystem;
using testsupport::read_file;

// A board that hangs is a failed test, not a stuck suite.
constexpr auto hang_limit = std::chrono::seconds(60);
// Where the board leaves op's whole result; an exit status keeps only its low byte.
constexpr const char* result_file = "sim/op-result";

// The oldest child of a process: orphans that the board's init adopts come after its own.
pid_t child_of(pid_t parent) {
    const std::string task = std::to_string(parent);
    std::istringstream children(read_file("/proc/" + task + "/task/" + task + "/children"));
    pid_t child = -1;
    children >> child;
    return child;
}

// The process waits for input: blocked in a read of the console, in a poll, or (when `asleep`
// counts) asleep between polls of the serial port. The wait as the system call it is blocked in
// and the count of read calls completed so far, which tell one wait from the next.
std::optional<std::string> input_wait(pid_t pid, bool asleep) {
    const std::string proc = "/proc/" + std::to_string(pid);
    std::istringstream fields(read_file(proc + "/syscall"));
    long number = -1;
    std::string first_arg;
    if (!(fields >> number >> first_arg)) {
        return std::nullopt;
    }
    const bool console_read = number == board_sys::read && std::stoul(first_arg, nullptr, 16) == 0;
    const bool sleep = number == board_sys::nanosleep || number == board_sys::clock_nanosleep;
    if (!console_read && number != board_sys::poll && number != board_sys::ppoll &&
        !(asleep && sleep)) {
        return std::nullopt;
    }
    const std::string io = read_file(proc + "/io");
    const auto at = io.find("syscr:");
    return std::to_string(number) +
           (at == std::string::npos ? "" : io.substr(at, io.find('\n', at) - at));
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

// The root file system is the same for every board of a test binary; building it (with its
// library look-ups) costs more than copying it, so it is built once and copied per board.
const fs::path& rootfs_template() {
    static const struct Template {
        pid_t creator = getpid();
        fs::path path = testsupport::make_temp_dir("board-template");
        // Boards exit through this destructor too; only the test binary itself removes it.
        ~Template() {
            if (getpid() == creator) {
                std::error_code ec;
                fs::remove_all(path, ec);
            }
        }
    } instance;
    static const bool created =
        boardsim::create_rootfs(instance.path, boardsim::default_rootfs_sources());
    if (!created) {
        throw std::runtime_error("creating the board template failed");
    }
    return instance.path;
}

}  // namespace

std::vector<std::string> keys(const std::string& keys) {
    std::vector<std::string> strokes;
    for (const char c : keys) {
        strokes.emplace_back(1, c);
    }
    return strokes;
}

Board::Board(const sim::BoardConfig& config) : root_("board") {
    std::error_code ec;
    fs::copy(rootfs_template(), root_.path(),
             fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    if (ec || !sim::create_board_state(root_.path(), config)) {
        throw std::runtime_error("creating a board failed");
    }
    std::ofstream{root_ / "sim/journal.log"};
}

std::string Board::journal() const {
    return read_file(root_ / "sim/journal.log");
}

Result Board::run(const std::function<int()>& op, const std::vector<std::string>& strokes,
                  const Terminal& terminal) {
    std::vector<Step> steps;
    for (const std::string& stroke : strokes) {
        steps.push_back({.send = stroke});
    }
    return script(op, steps, terminal);
}

Result Board::script(const std::function<int()>& op, const std::vector<Step>& steps,
                     const Terminal& terminal) {
    // A peer that ends while the relay still has bytes for it must not end the test process.
    std::signal(SIGPIPE, SIG_IGN);
    const platform::unique_fd master(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (master.get() < 0 || grantpt(master.get()) != 0 || unlockpt(master.get()) != 0) {
        throw std::runtime_error("no pty");
    }
    fs::remove(root_ / result_file);
    boardsim::Console console;
    console.path = ptsname(master.get());
    console.new_session = true;
    pid_t keeper = -1;
    {
        const platform::unique_fd slave(open(console.path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
        termios settings{};
        tcgetattr(slave.get(), &settings);
        settings.c_lflag = terminal.echo ? settings.c_lflag | ECHO : settings.c_lflag & ~ECHO;
        settings.c_lflag = terminal.isig ? settings.c_lflag | ISIG : settings.c_lflag & ~ISIG;
        // A signal key would flush what the board printed and the relay has not read yet (the
        // pty hands output over asynchronously), so the transcript would depend on timing.
        settings.c_lflag |= NOFLSH;
        tcsetattr(slave.get(), TCSANOW, &settings);
        console.fd = slave.get();
        keeper = boardsim::launch_board(root_.path(), console, [&op] {
            sim::use_board("/");
            // A fresh program on a terminal buffers its output by lines; this fork inherited
            // whatever buffering the test binary's own output chose. A new buffer also resets
            // the stream's positions, which a mode change alone would leave as they were.
            static char line_buffer[BUFSIZ];
            std::setvbuf(stdout, line_buffer, _IOLBF, sizeof line_buffer);
            const int result = op();
            std::ofstream(std::string("/") + result_file) << result;
            return result;
        });
    }
    if (keeper < 0) {
        throw std::runtime_error("launching the board failed");
    }
    Result result;
    std::size_t next = 0;
    std::size_t seen_from = 0;  // where the current step starts looking for its text
    pid_t first = -1;
    std::optional<std::string> last;
    auto give_up = std::chrono::steady_clock::now() + hang_limit;
    int status = 0;
    for (;;) {
        pollfd fd{master.get(), POLLIN, 0};
        if (poll(&fd, 1, next < steps.size() ? 1 : 20) > 0 && (fd.revents & POLLIN) != 0) {
            pass(master.get(), -1, &result.console);
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
        if (result.console.find(step.after, seen_from) == std::string::npos) {
            continue;
        }
        // A peer waits for its partner by itself, so it may take the line while the board runs
        // a program of its own (the receiver) rather than reading.
        if (step.peer.empty()) {
            // A board that sleeps may be busy rather than waiting; it waits once its text shows.
            const auto wait = input_wait(first, !step.after.empty());
            if (!wait || wait == last) {
                continue;
            }
            last = wait;
            write_all(master.get(), step.send.data(), step.send.size());
        } else {
            run_peer(master.get(), step, keeper);
            last.reset();
        }
        seen_from = result.console.size();
        result.script_done = ++next == steps.size();
        give_up = std::chrono::steady_clock::now() + hang_limit;
    }
    while (pass(master.get(), -1, &result.console)) {
    }
    const std::string returned = read_file(root_ / result_file);
    result.exit_code = returned.empty() ? boardsim::exit_code_of(status) : std::stoi(returned);
    return result;
}

}  // namespace boardtest
