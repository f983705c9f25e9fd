// Starting a process inside a simulated board.
//
// The board process runs in new user, pid and mount namespaces (under a user-mode emulator, which
// may not make a user namespace, in the one it was started in), with the board directory as its
// root (pivot_root, the host's file system detached), the board's own /dev entries bound in, a
// clean environment, and CAP_SYS_BOOT, CAP_SYS_TIME, CAP_SYS_MODULE, CAP_NET_ADMIN and
// CAP_SYS_ADMIN gone from every capability set. Nothing it does is visible on the host's mounts,
// clock or devices.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace boardsim {

// PATH inside a board: the stubs in /bin come before busybox's applets elsewhere.
inline constexpr const char* board_path = "/bin:/sbin:/usr/bin:/usr/sbin";

struct Console {
    int fd = -1;               // becomes descriptors 0, 1 and 2 of the board process
    std::string path;          // the terminal's host path, bound as the board's /dev/ttyS0
    bool new_session = false;  // make it the controlling terminal of a new session
};

// A host file bound over one of the board's files for one boot.
struct FileBind {
    std::string source;
    std::filesystem::path target;  // relative to the board's root
};

// Exit status of the keeper when the board could not be set up.
inline constexpr int setup_failed_status = 125;

// Forks a keeper that enters the board and runs body there as the first process under the
// namespace's init; when body's process ends, everything left in the board is killed. The
// keeper exits with body's exit status, or 128 + the signal that ended it. Returns the keeper's
// pid, or -1. Each of binds is in place in the board's mounts before body starts.
pid_t launch_board(const std::filesystem::path& root, const Console& console,
                   const std::function<int()>& body, const std::vector<FileBind>& binds = {});

// Encodes a wait status as the keeper does.
int exit_code_of(int wait_status);

}  // namespace boardsim
