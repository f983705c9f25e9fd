// Handing the board over to the application (or the diagnostics program) in the tarball that
// a boot path has just written to /tmp/varosimage.tar.gz.
#pragma once

#include <cstdint>

// Unpacks the tarball, runs its install script and environment list, and starts the program
// the way the environment flags ask for. Never returns.
[[noreturn]] void start_application(std::uint32_t diagnostics);

// Boots what the rescue partition holds: the diagnostics program, or a recovery application
// that the operator may also install into a slot. Returns 0 when the partition holds nothing
// bootable or nothing intact; otherwise never returns.
int boot_rescue_partition();
