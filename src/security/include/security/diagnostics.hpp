// Starting the standalone diagnostics image from the rescue partition. Only a switch that runs
// developer images or is in low security mode may do so; it first offers a clean /user.
#pragma once

// 0 refused on a secured switch; 1 when the rescue partition held nothing it could start.
int launch_diagnostics();

// What launch_diagnostics calls to boot the rescue partition: boot_rescue_partition, which
// start-up registers here (the boot flow sits above this library). It returns 0 when the
// partition holds nothing bootable; until one is registered the partition counts as such.
using rescue_partition_boot = int (*)();
void register_rescue_partition_boot(rescue_partition_boot boot);
