#include "launch.hpp"

#include <fcntl.h>
#include <linux/capability.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/mount.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "sim/coverage.hpp"

namespace boardsim {
namespace {

namespace fs = std::filesystem;

constexpr std::array dropped_caps = {CAP_SYS_BOOT, CAP_SYS_TIME, CAP_SYS_MODULE, CAP_NET_ADMIN,
                                     CAP_SYS_ADMIN};
constexpr std::array host_devices = {"null", "zero", "urandom", "tty"};
// Parts of /proc that reach beyond the board's namespaces: read-only inside a board.
constexpr std::array proc_read_only = {"sys", "sysrq-trigger", "irq", "bus", "fs", "acpi"};
constexpr std::array console_signals = {SIGINT, SIGQUIT, SIGTSTP, SIGTTIN, SIGTTOU, SIGHUP};

bool fail(const char* what) {
    std::fprintf(stderr, "boardsim: %s: %s\n", what, std::strerror(errno));
    return false;
}

bool write_file(const char* path, const std::string& text) {
    const int fd = open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        return fail(path);
    }
    const bool ok = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    return ok || fail(path);
}

bool map_ids(uid_t uid, gid_t gid) {
    return write_file("/proc/self/setgroups", "deny") &&
           write_file("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1") &&
           write_file("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
}

// The host's own user namespace maps every id to itself.
bool in_initial_user_namespace() {
    std::ifstream map("/proc/self/uid_map");
    std::uint64_t inside = 1;
    std::uint64_t outside = 1;
    std::uint64_t count = 0;
    return !(map >> inside >> outside >> count) ||
           (inside == 0 && outside == 0 && count == 4294967295U);
}

bool bind_file(const std::string& source, const fs::path& target) {
    if (!fs::exists(target)) {
        std::ofstream{target};
    }
    if (mount(source.c_str(), target.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        return fail(target.c_str());
    }
    return true;
}

// Mount namespace of the board: private, the board bound over itself, its /dev entries bound in.
bool prepare_mounts(const fs::path& root, const Console& console,
                    const std::vector<FileBind>& binds) {
    if (mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
        return fail("making mounts private");
    }
    if (mount(root.c_str(), root.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0) {
        return fail("binding the board");
    }
    for (const char* dev : host_devices) {
        if (!bind_file(std::string("/dev/") + dev, root / "dev" / dev)) {
            return false;
        }
    }
#ifdef BM_COVERAGE_DIR
    const fs::path counters = root / fs::path(BM_COVERAGE_DIR).relative_path();
    std::error_code ec;
    fs::create_directories(counters, ec);
    if (mount(BM_COVERAGE_DIR, counters.c_str(), nullptr, MS_BIND, nullptr) != 0) {
        return fail("binding the coverage counters");
    }
#endif
    for (const FileBind& bind : binds) {
        if (!bind_file(bind.source, root / bind.target)) {
            return false;
        }
    }
    return bind_file(console.path, root / "dev/ttyS0");
}

// Run by the namespace's init, which a proc file system shows as pid 1. The host's tree is still
// attached here (a new proc mount must be allowed by a visible one) and is detached at the end.
bool enter_root(const fs::path& root) {
    const fs::path proc = root / "proc";
    std::error_code ec;
    fs::create_directories(proc, ec);
    if (mount("proc", proc.c_str(), "proc", MS_NOSUID | MS_NODEV | MS_NOEXEC, nullptr) != 0) {
        return fail("mounting /proc");
    }
    for (const char* entry : proc_read_only) {
        const fs::path path = proc / entry;
        if (!fs::exists(path, ec)) {
            continue;
        }
        if (mount(path.c_str(), path.c_str(), nullptr, MS_BIND | MS_REC, nullptr) != 0 ||
            mount(nullptr, path.c_str(), nullptr, MS_BIND | MS_REMOUNT | MS_RDONLY, nullptr) != 0) {
            return fail(path.c_str());
        }
    }
    if (chdir(root.c_str()) != 0 || syscall(SYS_pivot_root, ".", ".") != 0 ||
        umount2(".", MNT_DETACH) != 0 || chdir("/") != 0) {
        return fail("entering the board");
    }
    return true;
}

bool drop_capabilities() {
    for (const int cap : dropped_caps) {
        if (prctl(PR_CAPBSET_DROP, cap, 0, 0, 0) != 0) {
            return fail("dropping a capability");
        }
    }
    __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
    std::array<__user_cap_data_struct, _LINUX_CAPABILITY_U32S_3> data{};
    if (syscall(SYS_capget, &header, data.data()) != 0) {
        return fail("reading capabilities");
    }
    for (const int cap : dropped_caps) {
        const auto bit = ~(1U << (cap % 32));
        auto& word = data[static_cast<std::size_t>(cap / 32)];
        word.effective &= bit;
        word.permitted &= bit;
        word.inheritable &= bit;
    }
    if (syscall(SYS_capset, &header, data.data()) != 0) {
        return fail("dropping capabilities");
    }
    return true;
}

[[noreturn]] void run_body(const std::function<int()>& body) {
    for (const int sig : console_signals) {
        std::signal(sig, SIG_DFL);
    }
    sigset_t none;
    sigemptyset(&none);
    sigprocmask(SIG_SETMASK, &none, nullptr);
    clearenv();
    setenv("PATH", board_path, 1);
    const int status = body();
    std::fflush(nullptr);
    sim::write_coverage_counters();
    _exit(status);
}

// The namespace's init: enters the board, starts body, reaps whatever gets orphaned, and when
// body's process ends takes the rest of the board down with it.
[[noreturn]] void run_init(const fs::path& root, const std::function<int()>& body) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (!enter_root(root) || !drop_capabilities() || prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0) {
        _exit(setup_failed_status);
    }
    const pid_t first = fork();
    if (first < 0) {
        _exit(setup_failed_status);
    }
    if (first == 0) {
        run_body(body);
    }
    int status = 0;
    for (;;) {
        int st = 0;
        const pid_t pid = wait(&st);
        if (pid < 0) {
            break;
        }
        if (pid == first) {
            status = st;
            kill(-1, SIGKILL);
        }
    }
    _exit(exit_code_of(status));
}

[[noreturn]] void run_keeper(const fs::path& root, const Console& console,
                             const std::function<int()>& body, const std::vector<FileBind>& binds,
                             pid_t parent) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent) {
        _exit(setup_failed_status);
    }
    for (const int sig : console_signals) {
        std::signal(sig, SIG_IGN);
    }
    if (console.new_session && (setsid() < 0 || ioctl(console.fd, TIOCSCTTY, 0) != 0)) {
        fail("taking the console");
        _exit(setup_failed_status);
    }
    const uid_t uid = geteuid();
    const gid_t gid = getegid();
    // A process with threads, as under a user-mode emulator, may not make a user namespace; one
    // started in a user namespace of its own makes the others there.
    const bool own_users = unshare(CLONE_NEWUSER | CLONE_NEWNS | CLONE_NEWPID) == 0;
    if (!own_users && (errno != EINVAL || in_initial_user_namespace() ||
                       unshare(CLONE_NEWNS | CLONE_NEWPID) != 0)) {
        fail("creating namespaces");
        _exit(setup_failed_status);
    }
    if ((own_users && !map_ids(uid, gid)) || !prepare_mounts(root, console, binds)) {
        _exit(setup_failed_status);
    }
    for (int fd = 0; fd < 3; ++fd) {
        if (console.fd != fd) {
            dup2(console.fd, fd);
        }
    }
    if (console.fd > 2) {
        close(console.fd);
    }
    const pid_t init = fork();
    if (init < 0) {
        _exit(setup_failed_status);
    }
    if (init == 0) {
        run_init(root, body);
    }
    int status = 0;
    while (waitpid(init, &status, 0) < 0 && errno == EINTR) {
    }
    _exit(exit_code_of(status));
}

}  // namespace

int exit_code_of(int wait_status) {
    if (WIFEXITED(wait_status)) {
        return WEXITSTATUS(wait_status);
    }
    if (WIFSIGNALED(wait_status)) {
        return 128 + WTERMSIG(wait_status);
    }
    return setup_failed_status;
}

pid_t launch_board(const fs::path& root, const Console& console, const std::function<int()>& body,
                   const std::vector<FileBind>& binds) {
    std::error_code ec;
    const fs::path absolute = fs::canonical(root, ec);
    if (ec) {
        std::fprintf(stderr, "boardsim: %s: %s\n", root.c_str(), ec.message().c_str());
        return -1;
    }
    std::fflush(nullptr);
    const pid_t parent = getpid();
    const pid_t keeper = fork();
    if (keeper == 0) {
        run_keeper(absolute, console, body, binds, parent);
    }
    return keeper;
}

}  // namespace boardsim
