// Boot-image selection.
#pragma once

// 2 when the EEPROM's boot selector byte is 2, else 1 (also when it cannot be read).
int choose_boot_slot();
