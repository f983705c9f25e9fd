#include "boot/reboot.hpp"

#include <cstdio>
#include <cstdlib>

#include "boot/shell.hpp"
#include "hw/i2c.hpp"
#include "platform/seam.hpp"

int choose_boot_slot() {
    return nvram_get_boot_slot() == 2 ? 2 : 1;
}

void reboot_board() {
    platform::clock_sleep(1);
    std::fflush(stdout);
    if (boot::system_command("reboot") >= 0) {
        std::exit(0);
    }
    std::fputs("System reboot failed, please power-cycle.\n", stderr);
    std::exit(0);
}
