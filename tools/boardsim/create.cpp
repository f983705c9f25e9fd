// boardsim create: a new board, its root file system, erased flash, EEPROM fields and clock.
#include <cstdlib>
#include <fstream>
#include <optional>
#include <string>

#include "cli.hpp"
#include "commands.hpp"
#include "rootfs.hpp"
#include "sim/board.hpp"
#include "verb_support.hpp"

namespace boardsim {
namespace {

namespace fs = std::filesystem;

struct CreateArgs {
    std::string dir;
    std::optional<std::string> serial;
    std::optional<int> boot_slot;
    std::optional<unsigned> usb_enable;
    std::optional<std::string> rtc;
    std::optional<std::string> time_scale;
    std::optional<std::string> bootmgr;
    std::string arch = "host";
    std::optional<std::string> usb;
    bool force = false;
};

// A board is only made over another, or over other files, on purpose.
bool may_create_in(const fs::path& root, bool force) {
    std::error_code ec;
    if (fs::exists(root, ec) && !fs::is_directory(root, ec)) {
        std::fprintf(stderr, "boardsim: %s exists and is not a folder\n", root.c_str());
        return false;
    }
    if (force || fs::is_empty(root, ec) || !fs::exists(root)) {
        return true;
    }
    if (fs::exists(root / "sim/board.conf")) {
        std::fprintf(stderr,
                     "boardsim: %s already holds a board: --force erases its flash and EEPROM\n",
                     root.c_str());
    } else {
        std::fprintf(stderr,
                     "boardsim: %s is not empty: --force creates the board among its files\n",
                     root.c_str());
    }
    return false;
}

// The boot manager for the board, checked against the architecture asked for before anything is
// made: a missing build, or a program of another architecture, would only fail at the first boot.
std::optional<int> choose_boot_manager(const CreateArgs& a, RootfsSources& sources) {
    sources.arch = foreign_arch(a.arch);
    if (a.bootmgr) {
        sources.boot_manager = *a.bootmgr;
    } else if (sources.arch != nullptr) {
        sources.boot_manager = sources.arch->boot_manager;
        if (!fs::exists(sources.boot_manager)) {
            std::fprintf(stderr,
                         "boardsim: no %s bootmgr-sim at %s: build it with 'cmake --preset %s && "
                         "cmake --build --preset %s --target bootmgr-sim', or name one with "
                         "--bootmgr\n",
                         sources.arch->title, sources.boot_manager.c_str(), sources.arch->name,
                         sources.arch->name);
            return status_failed;
        }
    }
    const auto expected = sources.arch != nullptr ? std::optional(sources.arch->machine)
                                                  : elf_machine("/proc/self/exe");
    if (elf_machine(sources.boot_manager) != expected) {
        return tools::usage_error(
            "boardsim create",
            "--bootmgr " + sources.boot_manager.string() + ": not a " +
                (sources.arch != nullptr ? std::string(sources.arch->title) + " program"
                                         : std::string("program for this machine (--arch?)")));
    }
    if (sources.arch != nullptr && !fs::exists(sources.arch->emulator)) {
        std::fprintf(stderr, "boardsim: no %s: install the package qemu-user-static\n",
                     sources.arch->emulator.c_str());
        return status_failed;
    }
    return std::nullopt;
}

int create(const CreateArgs& a) {
    const fs::path root = a.dir;
    RootfsSources sources = default_rootfs_sources();
    if (const auto refused = choose_boot_manager(a, sources)) {
        return *refused;
    }
    if (!may_create_in(root, a.force)) {
        return status_failed;
    }
    sim::BoardConfig config;
    config.serial = a.serial;
    if (a.boot_slot) {
        config.boot_slot = static_cast<std::uint8_t>(*a.boot_slot);
    }
    if (a.usb_enable) {
        config.usb_enable = static_cast<std::uint8_t>(*a.usb_enable);
    }
    if (a.usb) {
        config.usb_enable = *a.usb == "on" ? usb_enabled : usb_disabled;
    }
    if (a.rtc) {
        config.rtc_base = *a.rtc;
    }
    if (a.time_scale) {
        config.time_scale = std::strtod(a.time_scale->c_str(), nullptr);
    }
    if (!create_rootfs(root, sources) || !sim::create_board_state(root, config)) {
        return status_failed;
    }
    const std::ofstream journal{root / "sim/journal.log", std::ios::app};  // the stubs append
    return status_ok;
}

}  // namespace

Verb add_create(CLI::App& app) {
    auto c = std::make_shared<CreateArgs>();
    CLI::App* const sub =
        verb(app, "create",
             "A new board in DIR: busybox, rx, the stub tools, /dev, erased flash, "
             "an erased EEPROM with the given fields, the clock.",
             "The boot manager uses a USB drive only when the EEPROM's USB enable byte is 213\n"
             "(0xD5); any other value, the erased 0xFF included, leaves USB off.\n"
             "DIR must be empty or absent: over a board or other files, --force.\n"
             "Exit status: 0 created, 1 failed (DIR not empty: nothing changed), 2 usage\n"
             "error.");
    add_dir(sub, c->dir);
    sub->add_option("--serial", c->serial, "serial number in the EEPROM, at most 12 characters")
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                return text.size() > 12 ? text + ": more than 12 characters" : std::string();
            },
            ""));
    sub->add_option("--boot-slot", c->boot_slot, "the EEPROM's boot selector: slot 1 or 2")
        ->check(CLI::Range(1, 2));
    CLI::Option* usb_switch =
        sub->add_option("--usb", c->usb, "USB drives used (on: enable byte 213) or not (off: 0)")
            ->type_name("on|off")
            ->check(CLI::IsMember({"on", "off"}));
    sub->add_option("--usb-enable", c->usb_enable, "the EEPROM's USB enable byte (0-255)")
        ->check(CLI::Range(0u, 255u))
        ->excludes(usb_switch);
    sub->add_flag("--force", c->force, "create the board in a folder that is not empty");
    sub->add_option("--rtc", c->rtc, "what the clock shows at board time 0: 'YYYY-MM-DD hh:mm:ss'")
        ->check(board_conf("rtc.base"));
    sub->add_option("--time-scale", c->time_scale,
                    "real seconds per board second, 0 to 1000 (default 0.001; 0 = no waiting)")
        ->check(board_conf("time.scale"));
    sub->add_option("--arch", c->arch,
                    "the boot manager's architecture: host (default) or ppc, the switch's "
                    "(its build of the ppc preset, run under qemu-ppc-static)")
        ->type_name("host|ppc")
        ->check(CLI::IsMember({"host", "ppc"}));
    sub->add_option("--bootmgr", c->bootmgr,
                    "the boot manager to install, built for --arch (default bootmgr-sim of this "
                    "build, or of the ppc preset's)")
        ->check(CLI::ExistingFile);
    return {sub, [c] { return create(*c); }};
}

}  // namespace boardsim
