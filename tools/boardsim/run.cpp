#include "run.hpp"

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "launch.hpp"
#include "panel_state.hpp"
#include "platform/files.hpp"
#include "rootfs.hpp"
#include "sim/board.hpp"
#include "usb.hpp"

namespace boardsim {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// While a USB drive waits to appear, the board's clock is looked at this often (milliseconds).
constexpr int usb_check_interval_ms = 1;
// How often the front panel looks at the board's state files (milliseconds).
constexpr int panel_interval_ms = 50;

// Signals that end a run with a panel: the terminal is put back first.
constexpr std::array ending_signals = {SIGTERM, SIGHUP};
volatile sig_atomic_t ending_signal = 0;
volatile sig_atomic_t resized = 0;

void note_ending(int sig) {
    ending_signal = sig;
}
void note_resize(int) {
    resized = 1;
}

// The caller's terminal, put back as it was however a boot ends.
class TerminalGuard {
public:
    TerminalGuard() : saved_ok_(tcgetattr(0, &saved_) == 0) {}
    TerminalGuard(const TerminalGuard&) = delete;
    TerminalGuard& operator=(const TerminalGuard&) = delete;
    ~TerminalGuard() {
        if (saved_ok_) {
            tcsetattr(0, TCSANOW, &saved_);
        }
    }
    // Every key goes to the board's own pty, whose line discipline the board sets; output keeps
    // the terminal's processing so that our own messages start their lines.
    void make_raw() {
        if (!saved_ok_) {
            return;
        }
        termios raw = saved_;
        cfmakeraw(&raw);
        raw.c_oflag = saved_.c_oflag;
        tcsetattr(0, TCSANOW, &raw);
    }

private:
    termios saved_{};
    bool saved_ok_;
};

// Ctrl-C on the caller's terminal is the board's, not ours.
class IgnoreConsoleSignals {
public:
    IgnoreConsoleSignals()
        : int_(std::signal(SIGINT, SIG_IGN)), quit_(std::signal(SIGQUIT, SIG_IGN)) {}
    IgnoreConsoleSignals(const IgnoreConsoleSignals&) = delete;
    IgnoreConsoleSignals& operator=(const IgnoreConsoleSignals&) = delete;
    ~IgnoreConsoleSignals() {
        std::signal(SIGINT, int_);
        std::signal(SIGQUIT, quit_);
    }

private:
    void (*int_)(int);
    void (*quit_)(int);
};

bool write_all(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(fd, data, size);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

// Copies what is ready on from to to; false at end of input or on an error.
bool relay(int from, int to) {
    std::array<char, 4096> buffer{};
    const ssize_t n = read(from, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) {
        return true;
    }
    return n > 0 && write_all(to, buffer.data(), static_cast<std::size_t>(n));
}

// The one-line front panel on the bottom line of the caller's terminal; the console scrolls in
// the lines above it, and its pty is told that it has one line less.
class BottomPanel {
public:
    explicit BottomPanel(const fs::path& root) : probe_(root) {
        for (const int sig : ending_signals) {
            saved_.push_back({sig, std::signal(sig, note_ending)});
        }
        saved_.push_back({SIGWINCH, std::signal(SIGWINCH, note_resize)});
        // A new line first, so that a cursor on the last line is not left under the panel.
        write_text("\n\033[A");
        set_region();
        draw(true);
    }
    BottomPanel(const BottomPanel&) = delete;
    BottomPanel& operator=(const BottomPanel&) = delete;
    ~BottomPanel() {
        write_text("\0337\033[" + std::to_string(size_.ws_row) + ";1H\033[2K\033[r\0338");
        for (const auto& [sig, handler] : saved_) {
            std::signal(sig, handler);
        }
    }

    // The console's size for the board's pty.
    const winsize& console_size() const { return console_; }

    // Redraws when the board's state shows something new; on a resize always.
    void draw(bool force = false) {
        if (resized != 0) {
            resized = 0;
            set_region();
            force = true;
            for (const int fd : ptys_) {
                ioctl(fd, TIOCSWINSZ, &console_);
            }
        }
        const std::string line = panel_line(probe_.poll(), size_.ws_col, true);
        if (!force && line == shown_) {
            return;
        }
        shown_ = line;
        write_text("\0337\033[" + std::to_string(size_.ws_row) + ";1H\033[2K" + line + "\0338");
    }

    // The board's pty, resized with the terminal while the boot lasts.
    void follow(int pty) {
        ptys_.assign(1, pty);
        ioctl(pty, TIOCSWINSZ, &console_);
    }

private:
    void set_region() {
        if (ioctl(1, TIOCGWINSZ, &size_) != 0 || size_.ws_row < 2 || size_.ws_col == 0) {
            size_ = winsize{24, 80, 0, 0};
        }
        console_ = size_;
        --console_.ws_row;
        write_text("\0337\033[1;" + std::to_string(console_.ws_row) + "r\0338");
    }
    static void write_text(const std::string& text) { write_all(1, text.data(), text.size()); }

    PanelProbe probe_;
    winsize size_{};
    winsize console_{};
    std::string shown_;
    std::vector<int> ptys_;
    std::vector<std::pair<int, void (*)(int)>> saved_;
};

// A copy of board.conf with another time scale, bound over the board's own for each boot, so
// the board's configuration keeps its own. A power cut the board spends in the copy is spent
// in the board's configuration too.
class TimeScaleOverride {
public:
    TimeScaleOverride() = default;
    TimeScaleOverride(const TimeScaleOverride&) = delete;
    TimeScaleOverride& operator=(const TimeScaleOverride&) = delete;
    ~TimeScaleOverride() {
        if (!path_.empty()) {
            unlink(path_.c_str());
        }
    }

    bool prepare(const fs::path& root, double scale) {
        if (path_.empty()) {
            std::string pattern = (fs::temp_directory_path() / "boardsim-conf-XXXXXX").string();
            const int fd = mkstemp(pattern.data());
            if (fd < 0) {
                std::perror("boardsim: time scale");
                return false;
            }
            close(fd);
            path_ = pattern;
        }
        std::ifstream in(conf(root));
        std::ostringstream out;
        for (std::string line; std::getline(in, line);) {
            if (key_of(line) != "time.scale") {
                out << line << '\n';
            }
        }
        char value[64];
        std::snprintf(value, sizeof value, "time.scale = %.9g\n", scale);
        out << value;
        std::ofstream(path_) << out.str();
        return true;
    }

    void after_boot(const fs::path& root, const sim::BoardConfig& config) const {
        if (config.faults.power_cut_after == 0) {
            return;
        }
        std::ifstream in(path_);
        for (std::string line; std::getline(in, line);) {
            if (key_of(line) == "fault.power_cut") {
                return;
            }
        }
        sim::FaultPlan plan = config.faults;
        plan.power_cut_after = 0;
        sim::set_fault_plan(root, plan);
    }

    std::vector<FileBind> binds() const {
        if (path_.empty()) {
            return {};
        }
        return {{path_, "sim/board.conf"}};
    }

private:
    static fs::path conf(const fs::path& root) { return root / "sim/board.conf"; }
    static std::string key_of(const std::string& line) {
        const auto start = line.find_first_not_of(" \t");
        if (start == std::string::npos || line[start] == '#') {
            return {};
        }
        const auto end = line.find_first_of(" \t=", start);
        return line.substr(start, end == std::string::npos ? end : end - start);
    }

    std::string path_;
};

struct Boot {
    platform::unique_fd
        master;  // our side of the board's pty; empty when the caller's terminal is the console
    platform::unique_fd pidfd;
    pid_t keeper = -1;
};

bool start_boot(const fs::path& root, const std::vector<std::string>& command,
                bool caller_is_terminal, const std::vector<FileBind>& binds, BottomPanel* panel,
                Boot& boot) {
    Console console;
    platform::unique_fd slave;
    if (caller_is_terminal) {
        console.fd = 0;
        console.path = ttyname(0);
    } else {
        boot.master.reset(posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
        if (boot.master.get() < 0 || grantpt(boot.master.get()) != 0 ||
            unlockpt(boot.master.get()) != 0) {
            std::perror("boardsim: console pty");
            return false;
        }
        if (panel != nullptr) {
            panel->follow(boot.master.get());
        }
        console.path = ptsname(boot.master.get());
        slave.reset(open(console.path.c_str(), O_RDWR | O_NOCTTY));
        if (slave.get() < 0) {
            std::perror("boardsim: console pty");
            return false;
        }
        console.fd = slave.get();
        console.new_session = true;
    }
    boot.keeper = launch_board(
        root, console,
        [&command] {
            std::vector<char*> argv;
            argv.reserve(command.size() + 1);
            for (const std::string& word : command) {
                argv.push_back(const_cast<char*>(word.c_str()));
            }
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            std::perror(argv[0]);
            return 127;
        },
        binds);
    if (boot.keeper < 0) {
        return false;
    }
    boot.pidfd.reset(static_cast<int>(syscall(SYS_pidfd_open, boot.keeper, 0)));
    if (boot.pidfd.get() < 0) {
        std::perror("boardsim: pidfd_open");
        kill(boot.keeper, SIGKILL);
        waitpid(boot.keeper, nullptr, 0);
        return false;
    }
    return true;
}

Outcome classify(const fs::path& root, int exit_code) {
    if (exit_code == sim::power_cut_exit_status) {
        return Outcome::power_cut;
    }
    if (fs::exists(root / "sim/run/app-started")) {
        return Outcome::application_started;
    }
    if (fs::exists(root / "sim/run/rebooted")) {
        return Outcome::rebooted;
    }
    return Outcome::crashed;
}

const char* describe(Outcome outcome) {
    switch (outcome) {
        case Outcome::application_started:
            return "application started";
        case Outcome::rebooted:
            return "rebooted";
        case Outcome::power_cut:
            return "power cut";
        case Outcome::crashed:
            return "crashed";
        case Outcome::timed_out:
            return "timed out";
        case Outcome::unreadable_config:
            return "configuration unreadable";
    }
    return "?";
}

}  // namespace

namespace {

// True when a chunk of console output stops inside an escape sequence, where drawing the
// panel would cut it in two.
bool ends_mid_escape(const char* data, std::size_t size) {
    const std::size_t from = size > 16 ? size - 16 : 0;
    for (std::size_t i = size; i > from; --i) {
        const auto c = static_cast<unsigned char>(data[i - 1]);
        if (c == 0x1B) {
            return true;
        }
        if (c >= 0x40 && c <= 0x7E && i < size) {
            return false;
        }
        if (c < 0x20 || c >= 0x7F) {
            return false;
        }
    }
    return false;
}

// Copies what the board wrote to the caller; false when its side is closed.
bool relay_console(int master, bool& mid_escape) {
    std::array<char, 4096> buffer{};
    const ssize_t n = read(master, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) {
        return true;
    }
    if (n <= 0 || !write_all(1, buffer.data(), static_cast<std::size_t>(n))) {
        return false;
    }
    mid_escape = ends_mid_escape(buffer.data(), static_cast<std::size_t>(n));
    return true;
}

std::optional<Outcome> run_boots(const fs::path& root, const RunOptions& options,
                                 bool caller_is_terminal, BottomPanel* panel) {
    const bool has_deadline = options.timeout_seconds.has_value();
    const Clock::time_point deadline =
        has_deadline ? Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                          std::chrono::duration<double>(*options.timeout_seconds))
                     : Clock::time_point::max();
    // With a panel the board's console is a pty of ours, relayed from the caller's terminal.
    const bool board_has_terminal = caller_is_terminal && panel == nullptr;
    bool input_open = !board_has_terminal;
    Outcome outcome = Outcome::crashed;
    TimeScaleOverride time_scale;
    const std::vector<std::string> command = boot_command(root);
    if (command.empty()) {
        return std::nullopt;
    }

    for (unsigned n = 1; n <= options.boots; ++n) {
        // A boot without the configuration would run with default geometry and no faults.
        const auto config = sim::load_board_config(root);
        if (!config) {
            std::fprintf(stderr,
                         "boardsim: boot %u: not started, the configuration does not read\n", n);
            return Outcome::unreadable_config;
        }
        if (options.time_scale && !time_scale.prepare(root, *options.time_scale)) {
            return std::nullopt;
        }
        std::error_code ec;
        fs::remove_all(root / "sim/run", ec);
        reset_volatile(root);
        const std::uint64_t boot_start_us = sim::read_clock_us(root);
        // Board time at which a late drive appears; none when it is there from the start.
        std::uint64_t usb_at_us = 0;
        bool usb_late = false;
        if (const std::optional<double> after = usb_ready_after(root)) {
            if (*after <= 0) {
                usb_insert(root);
            } else {
                usb_late = true;
                usb_at_us = boot_start_us + static_cast<std::uint64_t>(*after * 1e6);
            }
        }

        Boot boot;
        if (!start_boot(root, command, board_has_terminal, time_scale.binds(), panel, boot)) {
            return std::nullopt;
        }
        int status = 0;
        bool timed_out = false;
        bool mid_escape = false;
        for (;;) {
            std::array<pollfd, 3> fds{{{boot.pidfd.get(), POLLIN, 0},
                                       {boot.master.get(), POLLIN, 0},
                                       {input_open ? 0 : -1, POLLIN, 0}}};
            int wait_ms = usb_late ? usb_check_interval_ms : -1;
            if (panel != nullptr) {
                wait_ms = wait_ms < 0 ? panel_interval_ms : std::min(wait_ms, panel_interval_ms);
            }
            if (has_deadline) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                        .count();
                if (left <= 0) {
                    timed_out = true;
                    break;
                }
                wait_ms = wait_ms < 0 ? static_cast<int>(left)
                                      : std::min<int>(wait_ms, static_cast<int>(left));
            }
            if (poll(fds.data(), fds.size(), wait_ms) < 0 && errno != EINTR) {
                std::perror("boardsim: poll");
                timed_out = true;
                break;
            }
            if (ending_signal != 0) {
                timed_out = true;
                break;
            }
            if (usb_late && sim::read_clock_us(root) >= usb_at_us) {
                usb_insert(root);
                usb_late = false;
            }
            if ((fds[1].revents & (POLLIN | POLLHUP)) != 0 &&
                !relay_console(boot.master.get(), mid_escape)) {
                // The board's side is closed; its end is reported through the pidfd.
                fds[1].fd = -1;
            }
            if ((fds[2].revents & (POLLIN | POLLHUP | POLLERR)) != 0 &&
                !relay(0, boot.master.get())) {
                // Nobody types any more: the console stays open and silent.
                input_open = false;
            }
            if (panel != nullptr && !mid_escape) {
                panel->draw();
            }
            if ((fds[0].revents & POLLIN) != 0) {
                waitpid(boot.keeper, &status, 0);
                break;
            }
        }
        if (timed_out) {
            kill(boot.keeper, SIGKILL);
            waitpid(boot.keeper, &status, 0);
        }
        if (boot.master.get() >= 0) {
            while (relay_console(boot.master.get(), mid_escape)) {
            }
        }
        if (options.time_scale) {
            time_scale.after_boot(root, *config);
        }
        if (panel != nullptr) {
            panel->draw(true);
        }
        if (ending_signal != 0) {
            std::fprintf(stderr, "boardsim: boot %u: stopped by signal %d\n", n,
                         static_cast<int>(ending_signal));
            return Outcome::timed_out;
        }
        outcome = timed_out ? Outcome::timed_out : classify(root, exit_code_of(status));
        std::fprintf(stderr, "boardsim: boot %u: %s\n", n, describe(outcome));
        if (outcome != Outcome::rebooted && outcome != Outcome::power_cut) {
            break;
        }
    }
    return outcome;
}

}  // namespace

std::optional<Outcome> run_board(const fs::path& root, const RunOptions& options) {
    if (!fs::exists(root / fs::path(boot_manager_path).relative_path())) {
        std::fprintf(stderr, "boardsim: %s is not a board (no %s)\n", root.c_str(),
                     boot_manager_path);
        return std::nullopt;
    }
    const bool caller_is_terminal = isatty(0) == 1;
    const bool with_panel = options.panel && caller_is_terminal && isatty(1) == 1;
    std::optional<Outcome> outcome;
    {
        const RunningMarker running(root);
        TerminalGuard terminal;
        const IgnoreConsoleSignals ignore;
        std::optional<BottomPanel> panel;
        if (with_panel) {
            terminal.make_raw();
            panel.emplace(root);
        }
        outcome = run_boots(root, options, caller_is_terminal, panel ? &*panel : nullptr);
    }
    // The terminal is back as it was: now a signal that stopped the run may end us.
    if (const int sig = ending_signal; sig != 0) {
        std::signal(sig, SIG_DFL);
        raise(sig);
    }
    return outcome;
}

}  // namespace boardsim
