// Commands and the console's quit and stop keys.
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <csignal>

#include "sys/shell.hpp"

namespace sys {
namespace {

constexpr std::array<int, 2> quit_and_stop = {SIGQUIT, SIGTSTP};

void set_action(int signal_number, void (*handler)(int)) {
    struct sigaction action {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    sigaction(signal_number, &action, nullptr);
}

}  // namespace

int system_command(const char* command) {
    // As std::system: the caller ignores the console's interrupt and quit keys until the
    // command ends, and SIGCHLD cannot take its status away.
    std::array<struct sigaction, 2> kept{};
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    sigaction(SIGINT, &ignore, &kept[0]);
    sigaction(SIGQUIT, &ignore, &kept[1]);
    sigset_t blocked;
    sigemptyset(&blocked);
    sigaddset(&blocked, SIGCHLD);
    sigset_t kept_mask;
    sigprocmask(SIG_BLOCK, &blocked, &kept_mask);

    // An interrupt handler would not survive the exec; an ignored SIGINT is left ignored.
    sigset_t defaults;
    sigemptyset(&defaults);
    if (kept[0].sa_handler != SIG_IGN) {
        sigaddset(&defaults, SIGINT);
    }
    for (const int signal_number : quit_and_stop) {
        sigaddset(&defaults, signal_number);
    }
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setsigmask(&attributes, &kept_mask);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    std::array<char*, 5> argv = {const_cast<char*>("sh"), const_cast<char*>("-c"),
                                 const_cast<char*>("--"), const_cast<char*>(command), nullptr};
    pid_t pid = -1;
    int status = -1;
    if (posix_spawn(&pid, "/bin/sh", nullptr, &attributes, argv.data(), environ) == 0) {
        while (waitpid(pid, &status, 0) != pid) {
            if (errno != EINTR) {
                status = -1;
                break;
            }
        }
    } else {
        // A shell that cannot be started counts as one that ended with _exit(127).
        status = W_EXITCODE(127, 0);
    }
    posix_spawnattr_destroy(&attributes);

    sigaction(SIGINT, &kept[0], nullptr);
    sigaction(SIGQUIT, &kept[1], nullptr);
    sigprocmask(SIG_SETMASK, &kept_mask, nullptr);
    return status;
}

void ignore_quit_and_stop() {
    for (const int signal_number : quit_and_stop) {
        set_action(signal_number, SIG_IGN);
    }
}

void default_quit_and_stop() {
    for (const int signal_number : quit_and_stop) {
        set_action(signal_number, SIG_DFL);
    }
}

}  // namespace sys
