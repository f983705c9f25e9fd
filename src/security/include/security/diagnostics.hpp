// Starting the standalone diagnostics image from the rescue partition. Only a switch that runs
// developer images or is in low security mode may do so; it first offers a clean /user.
#pragma once

// 0 when refused on a secured switch (said on the console). Otherwise asks "Erase filesystem?"
// (y or Y unmounts, erases and remounts /user and recreates /user/images; a failed step shows
// only in the tools' output), then boots the rescue partition: 1 when that returns, as it does
// when the partition holds nothing bootable. Never returns once a boot starts.
int launch_diagnostics();

// What launch_diagnostics calls to boot the rescue partition: boot_rescue_partition, which
// start-up registers here (the boot flow sits above this library). It returns 0 when the
// partition holds nothing bootable; until one is registered the partition counts as such.
using rescue_partition_boot = int (*)();
void register_rescue_partition_boot(rescue_partition_boot boot);
