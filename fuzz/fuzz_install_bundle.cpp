// The installer's walk over a bundle, with flash, EEPROM and CPLD on a fresh simulated board for
// every input. The first byte chooses how install_bundle is called (bit 0: check the version,
// bit 1: slot 2 instead of slot 1, so the installer never asks the console and never boots); the
// rest is the bundle.
//
// The installer writes fixed paths (/user/images, /tmp), so the process first moves into a root
// of its own: new user and mount namespaces, a tmpfs over /tmp and chroot into a directory of
// it that holds only /dev/null and /proc. Nothing of the host is written, and the shell the key
// wipe would start does not exist there. libFuzzer's own paths must therefore be relative to the
// directory it started in.
#include <sched.h>
#include <sys/mount.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "crypto/crypto.hpp"
#include "hw/i2c.hpp"
#include "hw/mtd.hpp"
#include "install/installer.hpp"
#include "sim/board.hpp"

namespace {

namespace fs = std::filesystem;

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void write_text(const char* path, const std::string& text) {
    std::ofstream out(path);
    out << text;
    out.close();
    require(!out.fail());
}

const fs::path board_dir = "/board";

void enter_private_root() {
    const unsigned uid = ::getuid();
    const unsigned gid = ::getgid();
    require(::unshare(CLONE_NEWUSER | CLONE_NEWNS) == 0);
    write_text("/proc/self/setgroups", "deny");
    write_text("/proc/self/uid_map", "0 " + std::to_string(uid) + " 1");
    write_text("/proc/self/gid_map", "0 " + std::to_string(gid) + " 1");
    require(::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0);
    require(::mount("tmpfs", "/tmp", "tmpfs", 0, "size=512m") == 0);
    fs::create_directories("/tmp/root/tmp");
    // The emulated I2C buses and libFuzzer's silenced output both open /dev/null.
    fs::create_directories("/tmp/root/dev");
    write_text("/tmp/root/dev/null", "");
    require(::mount("/dev/null", "/tmp/root/dev/null", nullptr, MS_BIND, nullptr) == 0);
    // The leak check at exit reads /proc.
    fs::create_directories("/tmp/root/proc");
    require(::mount("/proc", "/tmp/root/proc", nullptr, MS_BIND | MS_REC, nullptr) == 0);
    require(::chroot("/tmp/root") == 0);
}

// Small partitions keep the per-input reset cheap; the kinds' size limits are larger, so an
// oversized image still reaches the flash writer's own end-of-partition refusal.
sim::BoardConfig small_board() {
    sim::BoardConfig config;
    for (auto& partition : config.partitions) {
        partition = {0x20000, 0x10000};
    }
    config.time_scale = 0;
    return config;
}

void reset_board() {
    static const sim::BoardConfig config = small_board();
    require(sim::create_board_state(board_dir, config));
    sim::use_board(board_dir);
    std::error_code ignored;
    fs::remove_all("/user", ignored);
    fs::create_directory("/user");
    for (const auto& entry : fs::directory_iterator("/tmp")) {
        fs::remove_all(entry.path(), ignored);
    }
    i2c_close_buses();
    i2c_open_buses();
    flash_init();
}

bool something_written(std::uint32_t slot) {
    if (fs::exists("/user/images/image" + std::to_string(slot)) ||
        fs::exists("/tmp/xos-image.gz")) {
        return true;
    }
    for (const auto name : sim::partition_names) {
        const auto wear = sim::read_flash_wear(board_dir, name);
        require(wear.has_value());
        for (const std::uint32_t erases : wear->erase_counts) {
            if (erases != 0) {
                return true;
            }
        }
    }
    return false;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Seeds its generator from /dev/urandom, which the private root does not have.
    require(CRYPTO_initLibrary() >= 0);
    enter_private_root();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    reset_board();
    {
        std::ofstream bundle("/tmp/bundle.img", std::ios::binary);
        bundle.write(reinterpret_cast<const char*>(data + 1),
                     static_cast<std::streamsize>(size - 1));
    }
    const std::uint8_t check_version = data[0] & 1;
    const std::uint32_t slot = (data[0] & 2) != 0 ? 2 : 1;
    const int installed = install_bundle("/tmp/bundle.img", check_version, slot);
    std::fflush(stdout);
    require(installed == 0 || installed == 1);
    require(installed == 0 || something_written(slot));
    return 0;
}
