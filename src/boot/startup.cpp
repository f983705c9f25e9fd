#include "boot/startup.hpp"

#include <sys/stat.h>

#include <array>
#include <cstdio>

#include "boot/app_start.hpp"
#include "boot/env_flags.hpp"
#include "boot/reboot.hpp"
#include "boot/slot_boot.hpp"
#include "boot/usb.hpp"
#include "crypto/crypto.hpp"
#include "hw/i2c.hpp"
#include "hw/mtd.hpp"
#include "install/installer.hpp"
#include "rescue/rescue.hpp"
#include "security/diagnostics.hpp"
#include "security/key_store.hpp"
#include "sys/flags.hpp"
#include "sys/shell.hpp"

namespace {

// A value no clock register holds: the read left the buffer as it was.
constexpr std::uint8_t kUnread = 0xFF;

// Sets the system clock from the board's real-time clock. When the clock cannot be read the
// command is not run at all rather than with whatever the buffer holds.
void set_system_clock() {
    std::array<std::uint8_t, 7> clock{};
    clock.fill(kUnread);
    rtc_read(clock.data());
    if (clock[5] == kUnread) {
        return;
    }
    std::array<char, 64> command{};
    std::snprintf(command.data(), command.size(), "date %2.2x%2.2x%2.2x%2.2x20%2.2x.%2.2x\n",
                  clock[5] & 0x1F, clock[4] & 0x3F, clock[2] & 0x3F, clock[1] & 0x7F, clock[6],
                  clock[0] & 0x7F);
    sys::system_command(command.data());
}

void mount_user_fs() {
    sys::system_command("/bin/mount -o sync -t jffs2 /dev/mtd-user /user");
    struct stat st {};
    if (stat("/user/summary-updated", &st) != 0 && sys::system_command("/bin/summary-scan") != 0) {
        std::puts("ERROR updating file system. Reboot recommended");
    }
}

// USB drive enabled in the settings EEPROM.
constexpr std::uint8_t kUsbEnabled = 213;

// The drive's boot bundle, replacement bundles and image, when the board allows USB. The boot
// choice: 0 for the flash slots as the selector says, or the slot a replacement went into.
int run_usb_steps() {
    usb_enabled = nvram_get_usb_enable() == kUsbEnabled ? 1 : 0;
    if (usb_enabled == 1 && wait_usb_mount() < 0) {
        usb_enabled = 0;
    }
    if (usb_enabled == 0) {
        return 0;
    }
    install_usb_boot_image();
    const int choice = check_usb_replacements();
    if (choice != 3) {
        return choice;
    }
    std::printf("Booting image '%s' from USB stick.\n", usb_os_image_name);
    boot_image_slot(3);
    std::puts("USB Boot failed. Trying flash images.");
    return 0;
}

}  // namespace

void on_interrupt(int /*signal_number*/) {
    interrupted = 1;
}

int install_interrupt_handler() {
    sys::ignore_quit_and_stop();
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    action.sa_flags = 0;
    return sigaction(SIGINT, &action, nullptr);
}

void register_handovers() {
    register_application_starter(start_application);
    register_rescue_partition_boot(boot_rescue_partition);
}

void boot_main() {
    register_handovers();
    install_interrupt_handler();
    i2c_open_buses();
    flash_init();
    CRYPTO_initLibrary();
    read_env_flags();
    set_system_clock();
    mount_user_fs();
    if (check_system_keys() == 0) {
        std::puts("WARNING - problem with security keys. No keys found");
    }
    if (rescue_requested != 0) {
        rescue_menu();
    }
    if (diags_requested != 0) {
        launch_diagnostics();
    }

    int choice = run_usb_steps();
    if (choice == 0) {
        choice = choose_boot_slot();
    }
    std::printf("Booting image '%d'\n", choice);
    boot_image_slot(choice);
    const int fallback = choice == 1 ? 2 : 1;
    std::printf("Booting image '%d'\n", fallback);
    second_attempt = 1;
    boot_image_slot(fallback);
    reboot_board();
}
