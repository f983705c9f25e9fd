#include "rootfs.hpp"

#include <elf.h>

#include <array>
#include <cstdio>
#include <fstream>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace boardsim {
namespace {

namespace fs = std::filesystem;

// The architectures a board's boot manager may have besides boardsim's own.
const std::array foreign_archs = {
    ForeignArch{"ppc", "PowerPC", EM_PPC, "/usr/bin/qemu-ppc-static", "/usr/powerpc-linux-gnu",
                BM_BOOTMGR_SIM_PPC},
};

// Applets that would act on the host or that the stubs replace. The board's namespaces already
// keep them from reaching the host; leaving them out keeps a board honest about its tools.
const std::set<std::string> withheld_applets = {
    "adjtimex", "date",       "halt",     "hwclock", "ifconfig",    "ifdown",   "ifup",    "init",
    "insmod",   "linuxrc",    "modprobe", "mount",   "nsenter",     "poweroff", "rdate",   "reboot",
    "rmmod",    "route",      "swapoff",  "swapon",  "switch_root", "umount",   "unshare", "ip",
    "ntpd",     "pivot_root", "chroot",   "udhcpc",  "rx",          "mdev"};

bool complain(const std::string& what) {
    std::fprintf(stderr, "boardsim: %s\n", what.c_str());
    return false;
}

std::vector<std::string> command_lines(const std::string& command) {
    std::vector<std::string> lines;
    const std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) {
        return lines;
    }
    std::array<char, 512> buffer{};
    while (std::fgets(buffer.data(), buffer.size(), pipe.get()) != nullptr) {
        std::string line(buffer.data());
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
            line.pop_back();
        }
        lines.push_back(line);
    }
    return lines;
}

std::string quoted(const fs::path& path) {
    std::string out = "'";
    for (const char c : path.string()) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

// Copies a file to the same absolute path under root (following symbolic links).
bool copy_into(const fs::path& root, const fs::path& file, const fs::path& at) {
    std::error_code ec;
    const fs::path target = root / at.relative_path();
    fs::create_directories(target.parent_path(), ec);
    fs::copy_file(file, target, fs::copy_options::overwrite_existing, ec);
    return !ec || complain("copying " + file.string() + ": " + ec.message());
}

// The shared libraries a program needs, as its dynamic loader resolves them: ldd's on this host;
// for another architecture its own loader's under the emulator, in the cross tool chain's root.
bool copy_libraries(const fs::path& root, const fs::path& program,
                    const ForeignArch* arch = nullptr) {
    const std::string list = arch == nullptr
                                 ? "ldd " + quoted(program)
                                 : "LD_TRACE_LOADED_OBJECTS=1 " + quoted(arch->emulator) + " -L " +
                                       quoted(arch->sysroot) + " " + quoted(program);
    bool loader = false;
    for (const std::string& line : command_lines(list + " 2>/dev/null")) {
        const auto arrow = line.find("=> ");
        std::string path;
        if (arrow != std::string::npos) {
            path = line.substr(arrow + 3);
        } else {
            const auto start = line.find_first_not_of(" \t");
            if (start != std::string::npos && line[start] == '/') {
                path = line.substr(start);
            }
        }
        if (const auto note = path.find(" ("); note != std::string::npos) {
            path.resize(note);
        }
        if (path.empty() || path[0] != '/') {
            continue;
        }
        loader = loader || arrow == std::string::npos;
        const fs::path source = arch == nullptr ? fs::path(path) : arch->sysroot / path.substr(1);
        if (!copy_into(root, source, path)) {
            return false;
        }
    }
    return arch == nullptr || loader ||
           complain("no dynamic loader found for " + program.string() + " in " +
                    arch->sysroot.string());
}

bool install_busybox(const fs::path& root, const fs::path& busybox) {
    // A static build runs its own applets for bare command names instead of the board's stubs,
    // so "date" or "reboot" would act on the host's clock or the host itself.
    if (command_lines("ldd " + quoted(busybox) + " 2>/dev/null | grep -c '=>'") ==
        std::vector<std::string>{"0"}) {
        return complain(busybox.string() + " is not dynamically linked; refusing to use it");
    }
    if (!copy_into(root, busybox, "/bin/busybox") || !copy_libraries(root, busybox)) {
        return false;
    }
    const auto applets = command_lines(quoted(busybox) + " --list-full");
    if (applets.empty()) {
        return complain(busybox.string() + " lists no applets");
    }
    std::error_code ec;
    for (const std::string& applet : applets) {
        const fs::path link = root / applet;
        if (withheld_applets.count(link.filename().string()) != 0 || fs::exists(link, ec)) {
            continue;
        }
        fs::create_directories(link.parent_path(), ec);
        fs::create_symlink("/bin/busybox", link, ec);
        if (ec) {
            return complain("linking " + applet + ": " + ec.message());
        }
    }
    return true;
}

// lrzsz's rx refuses absolute file names unless told -U; the boot manager names /tmp/image.
bool install_rx(const fs::path& root, const fs::path& rx) {
    if (!copy_into(root, rx, "/usr/libexec/lrzsz/rx") || !copy_libraries(root, rx)) {
        return false;
    }
    std::ofstream wrapper(root / "usr/bin/rx");
    wrapper << "#!/bin/sh\n"
               "echo \"rx $*\" >> /sim/journal.log\n"
               "exec /usr/libexec/lrzsz/rx -U \"$@\"\n";
    wrapper.close();
    std::error_code ec;
    fs::permissions(root / "usr/bin/rx", fs::perms(0755), ec);
    return !ec || complain("rx wrapper: " + ec.message());
}

bool install_stubs(const fs::path& root, const fs::path& stubs) {
    std::error_code ec;
    fs::copy(stubs, root,
             fs::copy_options::recursive | fs::copy_options::overwrite_existing |
                 fs::copy_options::copy_symlinks,
             ec);
    return !ec || complain("copying the stub tools from " + stubs.string() + ": " + ec.message());
}

// The architecture of the board's boot manager when it is not boardsim's, else nullptr.
const ForeignArch* arch_of_board(const fs::path& root) {
    const auto machine = elf_machine(root / fs::path(boot_manager_path).relative_path());
    for (const ForeignArch& arch : foreign_archs) {
        if (machine == arch.machine) {
            return &arch;
        }
    }
    return nullptr;
}

}  // namespace

const ForeignArch* foreign_arch(std::string_view name) {
    for (const ForeignArch& arch : foreign_archs) {
        if (name == arch.name) {
            return &arch;
        }
    }
    return nullptr;
}

std::optional<std::uint16_t> elf_machine(const fs::path& program) {
    std::ifstream in(program, std::ios::binary);
    std::array<unsigned char, 20> header{};
    if (!in.read(reinterpret_cast<char*>(header.data()), header.size()) || header[0] != 0x7F ||
        header[1] != 'E' || header[2] != 'L' || header[3] != 'F') {
        return std::nullopt;
    }
    const bool big_endian = header[5] == 2;  // EI_DATA: ELFDATA2MSB
    return static_cast<std::uint16_t>(big_endian ? header[18] << 8 | header[19]
                                                 : header[19] << 8 | header[18]);
}

std::vector<std::string> boot_command(const fs::path& root) {
    const ForeignArch* arch = arch_of_board(root);
    if (arch == nullptr) {
        return {boot_manager_path};
    }
    if (!fs::exists(root / arch->emulator.relative_path())) {
        complain(root.string() + ": the boot manager is built for " + arch->title +
                 " and the board has no " + arch->emulator.string());
        return {};
    }
    // -0 keeps the name the boot manager is started under as it is natively.
    return {arch->emulator.string(), "-0", "bootmgr-sim", boot_manager_path};
}

RootfsSources default_rootfs_sources() {
    RootfsSources sources;
    sources.stubs = BM_ROOTFS_STUBS;
    sources.boot_manager = BM_BOOTMGR_SIM;
    return sources;
}

bool create_rootfs(const fs::path& root, const RootfsSources& sources) {
    std::error_code ec;
    for (const char* dir :
         {"bin", "sbin", "usr/bin", "usr/sbin", "dev", "tmp", "user", "mnt/usb", "sim"}) {
        fs::create_directories(root / dir, ec);
        if (ec) {
            return complain("creating " + (root / dir).string() + ": " + ec.message());
        }
    }
    fs::permissions(root / "tmp", fs::perms(01777), ec);
    for (const char* dev : {"null", "zero", "urandom", "tty", "ttyS0"}) {
        std::ofstream{root / "dev" / dev};
    }
    // Stubs first so that busybox leaves their names alone.
    if (!install_stubs(root, sources.stubs) || !install_busybox(root, sources.busybox) ||
        !install_rx(root, sources.rx)) {
        return false;
    }
    if (sources.arch != nullptr &&
        !copy_into(root, sources.arch->emulator, sources.arch->emulator)) {
        return false;
    }
    if (!copy_into(root, sources.boot_manager, boot_manager_path) ||
        !copy_libraries(root, sources.boot_manager, sources.arch)) {
        return false;
    }
    fs::permissions(root / fs::path(boot_manager_path).relative_path(), fs::perms(0755), ec);
    return !ec || complain("bootmgr-sim: " + ec.message());
}

}  // namespace boardsim
