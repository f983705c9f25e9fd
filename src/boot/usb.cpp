#include "boot/usb.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cstdio>

#include "install/install_log.hpp"
#include "install/installer.hpp"
#include "platform/seam.hpp"
#include "sys/console.hpp"
#include "sys/flags.hpp"
#include "sys/shell.hpp"

namespace {

constexpr const char* usb_ready_marker = "/tmp/usb";
constexpr int usb_mount_tries = 10;
constexpr const char* md5_scratch_path = "/tmp/img_md5string";
constexpr const char* rejected_dir = "/user/images/rejected";
constexpr std::size_t md5_hex_digits = 32;

using digest_text = std::array<char, md5_hex_digits + 1>;
using entry_path = std::array<char, 64>;

bool exists(const char* path) {
    struct stat st {};
    return ::stat(path, &st) == 0;
}

int run_command(const char* command) {
    std::fflush(stdout);
    return sys::system_command(command);
}

entry_path rejected_entry(const digest_text& digest) {
    entry_path path{};
    std::snprintf(path.data(), path.size(), "%s/%s", rejected_dir, digest.data());
    return path;
}

struct replacement {
    const char* path;
    const char* name;
    int slot;
};

constexpr std::array<replacement, 2> replacements = {{
    {"/mnt/usb/ZKM7730_replace2_OS.img", "ZKM7730_replace2_OS.img", 2},
    {"/mnt/usb/ZKM7730_replace1_OS.img", "ZKM7730_replace1_OS.img", 1},
}};

}  // namespace

int wait_usb_mount() {
    if (usb_enabled == 0) {
        return 0;
    }
    std::printf(
        "Attempting to mount file system on USB flash drive; this can take up to %d seconds.\n",
        usb_mount_tries);
    std::fflush(stdout);
    platform::clock_sleep(1);
    for (int attempt = 0; attempt < usb_mount_tries; ++attempt) {
        if (exists(usb_ready_marker)) {
            std::puts("USB mounted and ready!");
            return 0;
        }
        std::printf(".");
        std::fflush(stdout);
        platform::clock_sleep(1);
    }
    std::puts("USB mount timed out");
    return -1;
}

void install_usb_boot_image() {
    if (!exists(usb_boot_bundle_path)) {
        std::puts("No boot image found on USB.");
        return;
    }
    std::puts("Boot image found on USB.");
    if (install_bundle(usb_boot_bundle_path, 1, 0) != 0) {
        append_install_log(usb_boot_bundle_path, "USB");
        reboot_board();
    }
}

int check_usb_replacements() {
    int result = 0;
    for (const replacement& r : replacements) {
        if (!exists(r.path)) {
            continue;
        }
        std::printf("USB image (file '%s') replacement for image%d found\n", r.name, r.slot);
        if (in_rejected_list(r.path) != 0) {
            if (ask_yes_no_timeout("Replacement USB image is in rejected list.\nWould you still "
                                   "like to load it? ") == 0) {
                return 0;
            }
            std::puts("Continuing with replacement USB image...");
        }
        if (install_bundle(r.path, 1, static_cast<std::uint32_t>(r.slot)) != 0) {
            append_install_log(r.path, "USB");
            std::printf("Image%d has been successfully replaced\n", r.slot);
            result = r.slot;
        }
    }
    if (result != 0) {
        std::printf("USB replacement image: board will boot with image%d.\n", result);
        return result;
    }
    if (!exists(usb_os_image_path)) {
        std::puts("No valid image found on USB");
        return 0;
    }
    return 3;
}

int image_md5(const char* path, std::span<char, 33> destination) {
    std::array<char, 512> command{};
    const int length = std::snprintf(command.data(), command.size(), "/bin/busybox md5sum %s > %s",
                                     path, md5_scratch_path);
    if (length < 0 || static_cast<std::size_t>(length) >= command.size()) {
        return 0;
    }
    run_command(command.data());
    std::FILE* digest = std::fopen(md5_scratch_path, "r");
    if (digest == nullptr) {
        return 0;
    }
    const std::size_t got = std::fread(destination.data(), 1, md5_hex_digits, digest);
    std::fclose(digest);
    // The digest names a file: anything but hexadecimal digits there is not a digest.
    if (got != md5_hex_digits ||
        !std::all_of(destination.begin(), destination.begin() + md5_hex_digits,
                     [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); })) {
        return 0;
    }
    destination[md5_hex_digits] = '\0';
    return 1;
}

void add_to_rejected_list(const char* path) {
    digest_text digest{};
    if (image_md5(path, digest) == 0) {
        std::puts("Warning: Cannot add image to rejected list!");
        return;
    }
    const entry_path entry = rejected_entry(digest);
    if (exists(entry.data())) {
        return;
    }
    std::array<char, 96> command{};
    std::snprintf(command.data(), command.size(), "mkdir -p %s", rejected_dir);
    run_command(command.data());
    std::snprintf(command.data(), command.size(), "touch %s", entry.data());
    run_command(command.data());
}

int in_rejected_list(const char* path) {
    digest_text digest{};
    if (image_md5(path, digest) == 0) {
        std::puts("Warning: Cannot determine if image is in rejected list!");
        return 0;
    }
    return exists(rejected_entry(digest).data()) ? 1 : 0;
}
