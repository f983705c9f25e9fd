// The root file system of a simulated board.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace boardsim {

// A boot manager built for another architecture than boardsim's runs on the board under a static
// user-mode emulator, which the board holds at the host's path, beside the loader and libraries
// from the cross tool chain's root.
struct ForeignArch {
    const char* name;                    // as --arch takes it
    const char* title;                   // in messages
    std::uint16_t machine;               // ELF e_machine of its programs
    std::filesystem::path emulator;      // static, so that it needs nothing from the board
    std::filesystem::path sysroot;       // its loader and shared libraries
    std::filesystem::path boot_manager;  // its build of bootmgr-sim
};

// The architecture --arch calls name; nullptr for an unknown name.
const ForeignArch* foreign_arch(std::string_view name);

// e_machine of an ELF file; nullopt when the file is no ELF file.
std::optional<std::uint16_t> elf_machine(const std::filesystem::path& program);

struct RootfsSources {
    std::filesystem::path busybox = "/bin/busybox";  // the regular, dynamically linked build
    std::filesystem::path rx = "/usr/bin/rx";        // the XMODEM receiver of lrzsz
    std::filesystem::path stubs;                     // tree copied over the root (sim/rootfs)
    std::filesystem::path boot_manager;              // bootmgr-sim
    const ForeignArch* arch = nullptr;               // the boot manager's, when not boardsim's
};

// The stub tools of this source tree and the bootmgr-sim of this build.
RootfsSources default_rootfs_sources();

// Where the boot manager lives inside a board.
inline constexpr const char* boot_manager_path = "/bin/bootmgr-sim";

// Builds the directories, busybox with its applets and libraries, rx behind its wrapper, the stub
// tools, the /dev mount points and the boot manager. False (with a message on standard error)
// on failure.
bool create_rootfs(const std::filesystem::path& root, const RootfsSources& sources);

// The command line that starts root's boot manager inside the board: the program itself, or the
// emulator with it when it is built for another architecture. Empty, after saying why, when the
// board lacks that emulator.
std::vector<std::string> boot_command(const std::filesystem::path& root);

}  // namespace boardsim
