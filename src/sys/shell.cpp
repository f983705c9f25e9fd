#include "sys/shell.hpp"

#include <cstdio>
#include <cstdlib>

#include "platform/seam.hpp"
#include "sys/flags.hpp"

namespace sys {

int run_command(const char* command) {
    std::fflush(nullptr);
    return system_command(command);
}

}  // namespace sys

void reboot_board() {
    platform::clock_sleep(1);
    std::fflush(stdout);
    if (sys::system_command("reboot") >= 0) {
        std::exit(0);
    }
    std::fputs("System reboot failed, please power-cycle.\n", stderr);
    std::exit(0);
}

void shell_then_reboot() {
    if (shell_mode != 0) {
        sys::run_command("/bin/sh\n");
    }
    reboot_board();
}
