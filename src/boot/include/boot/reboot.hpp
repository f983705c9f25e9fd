// Boot-image selection.
#pragma once

// 2 when the boot selector says 2, else 1.
int choose_boot_slot();
