#include "board_session.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>

#include "launch.hpp"
#include "platform/files.hpp"
#include "rootfs.hpp"

namespace boardtest {
namespace {

namespace fs = std::filesystem;

// A board that hangs is a failed test, not a stuck suite.
constexpr auto hang_limit = std::chrono::seconds(60);

std::optional<std::string> read_text(const fs::path& path) {
    std::ifstream in(path);
    if (!in) {
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// Children of a process, from the ppid field of every /proc/PID/stat.
pid_t child_of(pid_t parent) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/proc", ec)) {
        const auto stat = read_text(entry.path() / "stat");
        if (!stat) {
            continue;
        }
        // pid (comm) state ppid ...: comm may hold blanks, so count from the last ')'.
        std::istringstream fields(stat->substr(stat->rfind(')') + 1));
        char state = 0;
        pid_t ppid = 0;
        if (fields >> state >> ppid && ppid == parent) {
            return static_cast<pid_t>(std::stol(entry.path().filename().string()));
        }
    }
    return -1;
}

// What a process is blocked in, as far as the console is concerned.
struct Wait {
    long syscall = -1;
    unsigned long long reads = 0;  // read system calls completed so far
    bool operator==(const Wait&) const = default;
};

// The process waits for console input: blocked in a read of descriptor 0 or in a poll.
std::optional<Wait> console_wait(pid_t pid) {
    const auto text = read_text("/proc/" + std::to_string(pid) + "/syscall");
    if (!text) {
        return std::nullopt;
    }
    std::istringstream fields(*text);
    long number = -1;
    std::string first_arg;
    if (!(fields >> number >> first_arg)) {
        return std::nullopt;
    }
    const bool console_read = number == SYS_read && std::stoul(first_arg, nullptr, 16) == 0;
    const bool console_poll = number == SYS_poll || number == SYS_ppoll;
    if (!console_read && !console_poll) {
        return std::nullopt;
    }
    const auto io = read_text("/proc/" + std::to_string(pid) + "/io");
    Wait wait{number, 0};
    if (io) {
        std::istringstream lines(*io);
        std::string key;
        unsigned long long value = 0;
        while (lines >> key >> value) {
            if (key == "syscr:") {
                wait.reads = value;
            }
        }
    }
    return wait;
}

void drain(int master, std::string& console) {
    std::array<char, 4096> buffer{};
    for (;;) {
        const ssize_t n = read(master, buffer.data(), buffer.size());
        if (n <= 0) {
            return;
        }
        console.append(buffer.data(), static_cast<std::size_t>(n));
    }
}

std::filesystem::path make_temp_dir(const char* stem) {
    std::string pattern = (fs::temp_directory_path() / stem).string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    return pattern;
}

// The root file system is the same for every board of a test binary; building it (with its
// library look-ups) costs more than copying it, so it is built once and copied per board.
class RootfsTemplate {
public:
    RootfsTemplate() : creator_(getpid()), path_(make_temp_dir("board-template-XXXXXX")) {
        if (!boardsim::create_rootfs(path_, boardsim::default_rootfs_sources())) {
            throw std::runtime_error("creating the board template failed");
        }
    }
    RootfsTemplate(const RootfsTemplate&) = delete;
    RootfsTemplate& operator=(const RootfsTemplate&) = delete;
    // Boards exit through this destructor too; only the test binary itself removes the template.
    ~RootfsTemplate() {
        if (getpid() == creator_) {
            std::error_code ec;
            fs::remove_all(path_, ec);
        }
    }
    const fs::path& path() const { return path_; }

private:
    pid_t creator_;
    fs::path path_;
};

const fs::path& rootfs_template() {
    static const RootfsTemplate instance;
    return instance.path();
}

}  // namespace

std::vector<std::string> keys(const std::string& keys) {
    std::vector<std::string> strokes;
    for (const char c : keys) {
        strokes.emplace_back(1, c);
    }
    return strokes;
}

Board::Board(const sim::BoardConfig& config) : root_(make_temp_dir("board-XXXXXX")) {
    std::error_code ec;
    fs::copy(rootfs_template(), root_,
             fs::copy_options::recursive | fs::copy_options::copy_symlinks, ec);
    if (ec || !sim::create_board_state(root_, config)) {
        throw std::runtime_error("creating a board failed");
    }
    std::ofstream{root_ / "sim/journal.log"};
}

Board::~Board() {
    std::error_code ec;
    fs::remove_all(root_, ec);
}

std::string Board::journal() const {
    return read_text(root_ / "sim/journal.log").value_or("");
}

Result Board::run(const std::function<int()>& op, const std::vector<std::string>& strokes,
                  const Terminal& terminal) {
    const platform::unique_fd master(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (master.get() < 0 || grantpt(master.get()) != 0 || unlockpt(master.get()) != 0) {
        throw std::runtime_error("no pty");
    }
    boardsim::Console console;
    console.path = ptsname(master.get());
    console.new_session = true;
    Result result;
    pid_t keeper = -1;
    {
        const platform::unique_fd slave(open(console.path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
        termios settings{};
        tcgetattr(slave.get(), &settings);
        settings.c_lflag = terminal.echo ? settings.c_lflag | ECHO : settings.c_lflag & ~ECHO;
        settings.c_lflag = terminal.isig ? settings.c_lflag | ISIG : settings.c_lflag & ~ISIG;
        tcsetattr(slave.get(), TCSANOW, &settings);
        console.fd = slave.get();
        keeper = boardsim::launch_board(root_, console, [&op] {
            sim::use_board("/");
            // A fresh program on a terminal buffers its output by lines; this fork inherited
            // whatever buffering the test binary's own output chose. A new buffer also resets
            // the stream's positions, which a mode change alone would leave as they were.
            static char line_buffer[BUFSIZ];
            std::setvbuf(stdout, line_buffer, _IOLBF, sizeof line_buffer);
            return op();
        });
    }
    if (keeper < 0) {
        throw std::runtime_error("launching the board failed");
    }
    const platform::unique_fd pidfd(static_cast<int>(syscall(SYS_pidfd_open, keeper, 0)));
    const auto give_up = std::chrono::steady_clock::now() + hang_limit;
    std::size_t next = 0;
    pid_t first = -1;
    std::optional<Wait> last;
    int status = 0;
    for (;;) {
        std::array<pollfd, 2> fds{{{master.get(), POLLIN, 0}, {pidfd.get(), POLLIN, 0}}};
        poll(fds.data(), fds.size(), next < strokes.size() ? 1 : 100);
        if ((fds[0].revents & POLLIN) != 0) {
            std::array<char, 4096> buffer{};
            const ssize_t n = read(master.get(), buffer.data(), buffer.size());
            if (n > 0) {
                result.console.append(buffer.data(), static_cast<std::size_t>(n));
            }
        }
        if ((fds[1].revents & POLLIN) != 0) {
            waitpid(keeper, &status, 0);
            break;
        }
        if (std::chrono::steady_clock::now() > give_up) {
            kill(keeper, SIGKILL);
            waitpid(keeper, &status, 0);
            break;
        }
        if (next < strokes.size()) {
            if (first < 0) {
                const pid_t init = child_of(keeper);
                first = init < 0 ? -1 : child_of(init);
                continue;
            }
            const auto wait = console_wait(first);
            if (wait && wait != last) {
                const std::string& stroke = strokes[next++];
                if (write(master.get(), stroke.data(), stroke.size()) < 0) {
                    throw std::runtime_error("typing failed");
                }
                last = wait;
            }
        }
    }
    drain(master.get(), result.console);
    result.exit_code = boardsim::exit_code_of(status);
    return result;
}

}  // namespace boardtest
