// The root file system of a simulated board.
#pragma once

#include <filesystem>

namespace boardsim {

struct RootfsSources {
    std::filesystem::path busybox = "/bin/busybox";  // the regular, dynamically linked build
    std::filesystem::path rx = "/usr/bin/rx";        // the XMODEM receiver of lrzsz
    std::filesystem::path stubs;                     // tree copied over the root (sim/rootfs)
    std::filesystem::path boot_manager;              // bootmgr-sim
};

// The stub tools of this source tree and the bootmgr-sim of this build.
RootfsSources default_rootfs_sources();

// Where the boot manager lives inside a board.
inline constexpr const char* boot_manager_path = "/bin/bootmgr-sim";

// Builds the directories, busybox with its applets and libraries, rx behind its wrapper, the stub
// tools, the /dev mount points and the boot manager. False (with a message on standard error)
// on failure.
bool create_rootfs(const std::filesystem::path& root, const RootfsSources& sources);

}  // namespace boardsim
