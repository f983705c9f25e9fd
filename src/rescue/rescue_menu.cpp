#include <cstdint>
#include <cstdio>
#include <cstring>

#include "image/versions.hpp"
#include "platform/seam.hpp"
#include "rescue/rescue.hpp"
#include "security/diagnostics.hpp"
#include "security/key_wipe.hpp"
#include "security/low_security.hpp"
#include "sys/console.hpp"
#include "sys/flags.hpp"
#include "sys/shell.hpp"

namespace {

constexpr const char* kChoices = "XUVRPKDE";

void show_menu() {
    std::puts("Please select one of the following options:");
    std::printf("\t%c) Use xmodem 1K to serial download an image\n", 'X');
    std::printf("\t%c) Physical presence (low security mode)\n", 'P');
    std::printf("\t%c) Reboot\n", 'R');
    std::printf("\t%c) Exit\n", 'E');
}

// Prompts until a key names an option, listed or not; the choice in upper case.
std::uint8_t ask_choice() {
    for (;;) {
        std::fputs("\nOption? : ", stdout);
        std::fflush(stdout);
        const std::uint8_t key = read_key();
        std::printf("%c\n", key);
        if (interrupted != 0) {
            interrupted = 0;
            continue;
        }
        if (key == 0) {
            continue;
        }
        const auto choice = static_cast<std::uint8_t>(key >= 'a' && key <= 'z' ? key - 32 : key);
        if (std::strchr(kChoices, choice) == nullptr) {
            std::printf("unknown option \"%c\". Please try again\n", choice);
            continue;
        }
        return choice;
    }
}

}  // namespace

int rescue_menu() {
    std::puts("Entering Rescue Mode.");
    for (;;) {
        show_menu();
        switch (ask_choice()) {
            case 'X':
                xmodem_download();
                break;
            case 'P':
                physical_presence_test();
                break;
            case 'U':
                usb_directory_install();
                break;
            case 'V':
                image::list_installed_versions();
                break;
            case 'K':
                wipe_system_keys();
                break;
            case 'D':
                launch_diagnostics();
                break;
            case 'R':
                platform::clock_sleep(1);
                reboot_board();
            case 'E':
                return 1;
            default:
                break;
        }
        if (interrupted != 0) {
            interrupted = 0;
        }
    }
}
