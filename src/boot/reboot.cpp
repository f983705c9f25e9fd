#include "boot/reboot.hpp"

#include "hw/i2c.hpp"

int choose_boot_slot() {
    return nvram_get_boot_slot() == 2 ? 2 : 1;
}
