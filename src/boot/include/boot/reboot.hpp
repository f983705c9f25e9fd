// Boot-image selection and the one way of giving up.
#pragma once

// 2 when the boot selector says 2, else 1.
int choose_boot_slot();

// Asks the system to reboot and ends the process with status 0.
[[noreturn]] void reboot_board();
