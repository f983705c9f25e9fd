// Handing the board over to the application (or the diagnostics program) in the tarball that
// a boot path has just written to /tmp/varosimage.tar.gz.
#pragma once

#include <cstdint>

// Unpacks the tarball into /tmp (removing it), closes the I2C buses, puts the diagnostics
// program in the application's place when `diagnostics` is set, runs the install script and
// environment list if there are any, then starts the program the way the environment flags ask
// for. Under gdbserver, gdb or memchk the program runs as a command and the board reboots after
// it; otherwise this process becomes /bin/backtrace, with the console's Ctrl-\ and Ctrl-Z back.
// Never returns: a tarball that cannot be unpacked or a failed exec reboots the board (message on
// standard error).
[[noreturn]] void start_application(std::uint32_t diagnostics);

// Boots what the rescue partition holds: the diagnostics program, or a recovery application
// that the operator may also install into a slot (its file, the boot selector and the booted
// image byte are then written). Returns 0 ("Image not found..." or "Image CRC failed.") when the
// partition holds nothing bootable or nothing intact, leaving an empty
// /tmp/varosimage.tar.gz; otherwise never returns (a file that cannot be written reboots).
int boot_rescue_partition();
