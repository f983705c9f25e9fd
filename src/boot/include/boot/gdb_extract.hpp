// The debugger travels in the image slot that is not booted, as an application-type sub-image
// whose payload is the gzip-compressed program.
#pragma once

// Unpacks the debugger from the slot other than `booted_slot` (1 or 2) to /tmp/gdb. 1 when the
// payload was copied and unpacked, 0 when there was none to copy.
int extract_gdb(int booted_slot);
