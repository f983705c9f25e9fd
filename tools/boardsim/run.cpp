#include "run.hpp"

#include <fcntl.h>
#include <poll.h>
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

#include "launch.hpp"
#include "rootfs.hpp"
#include "sim/board.hpp"
#include "usb.hpp"

namespace boardsim {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// While a USB drive waits to appear, the board's clock is looked at this often (milliseconds).
constexpr int usb_check_interval_ms = 1;

class Fd {
public:
    explicit Fd(int fd = -1) : fd_(fd) {}
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    ~Fd() { reset(); }
    int get() const { return fd_; }
    void reset(int fd = -1) {
        if (fd_ >= 0) {
            close(fd_);
        }
        fd_ = fd;
    }

private:
    int fd_;
};

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

struct Boot {
    Fd master;  // our side of the board's pty; empty when the caller's terminal is the console
    Fd pidfd;
    pid_t keeper = -1;
};

bool start_boot(const fs::path& root, bool caller_is_terminal, Boot& boot) {
    Console console;
    Fd slave;
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
        console.path = ptsname(boot.master.get());
        slave.reset(open(console.path.c_str(), O_RDWR | O_NOCTTY));
        if (slave.get() < 0) {
            std::perror("boardsim: console pty");
            return false;
        }
        console.fd = slave.get();
        console.new_session = true;
    }
    boot.keeper = launch_board(root, console, [] {
        execl(boot_manager_path, "bootmgr-sim", static_cast<char*>(nullptr));
        std::perror(boot_manager_path);
        return 127;
    });
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

std::optional<Outcome> run_board(const fs::path& root, const RunOptions& options) {
    if (!fs::exists(root / fs::path(boot_manager_path).relative_path())) {
        std::fprintf(stderr, "boardsim: %s is not a board (no %s)\n", root.c_str(),
                     boot_manager_path);
        return std::nullopt;
    }
    const bool caller_is_terminal = isatty(0) == 1;
    const TerminalGuard terminal;
    const IgnoreConsoleSignals ignore;
    const bool has_deadline = options.timeout_seconds.has_value();
    const Clock::time_point deadline =
        has_deadline ? Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                          std::chrono::duration<double>(*options.timeout_seconds))
                     : Clock::time_point::max();
    bool input_open = !caller_is_terminal;
    Outcome outcome = Outcome::crashed;

    for (unsigned n = 1; n <= options.boots; ++n) {
        // A boot without the configuration would run with default geometry and no faults.
        if (!sim::load_board_config(root)) {
            std::fprintf(stderr,
                         "boardsim: boot %u: not started, the configuration does not read\n", n);
            return Outcome::unreadable_config;
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
        if (!start_boot(root, caller_is_terminal, boot)) {
            return std::nullopt;
        }
        int status = 0;
        bool timed_out = false;
        for (;;) {
            std::array<pollfd, 3> fds{{{boot.pidfd.get(), POLLIN, 0},
                                       {boot.master.get(), POLLIN, 0},
                                       {input_open ? 0 : -1, POLLIN, 0}}};
            int wait_ms = usb_late ? usb_check_interval_ms : -1;
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
            if (usb_late && sim::read_clock_us(root) >= usb_at_us) {
                usb_insert(root);
                usb_late = false;
            }
            if ((fds[1].revents & (POLLIN | POLLHUP)) != 0 && !relay(boot.master.get(), 1)) {
                // The board's side is closed; its end is reported through the pidfd.
                fds[1].fd = -1;
            }
            if ((fds[2].revents & (POLLIN | POLLHUP | POLLERR)) != 0 &&
                !relay(0, boot.master.get())) {
                // Nobody types any more: the console stays open and silent.
                input_open = false;
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
            while (relay(boot.master.get(), 1)) {
            }
        }
        outcome = timed_out ? Outcome::timed_out : classify(root, exit_code_of(status));
        std::fprintf(stderr, "boardsim: boot %u: %s\n", n, describe(outcome));
        if (outcome != Outcome::rebooted && outcome != Outcome::power_cut) {
            break;
        }
    }
    return outcome;
}

}  // namespace boardsim
