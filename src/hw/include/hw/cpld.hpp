// The CPLD's byte-wide registers in a 256-byte window of physical memory at 0xC0000000, reached
// through /dev/mem and mapped on first use. This module owns the descriptor and the mapping.
#pragma once

#include <cstdint>

// Opens /dev/mem and maps the window. 1 on success; 0 on failure, after printing which step
// failed. Calling it while mapped maps a second window and drops the first without releasing it.
int cpld_init();
// Offsets 0-255; a larger one prints a message and fails. Maps the window first if needed (a
// failure prints "ERROR - failed to open access to CPLD"). Without a destination the register
// is printed instead. 1 on success, 0 on failure with the destination untouched.
int cpld_read(std::uint32_t offset, std::uint8_t* destination);
int cpld_write(std::uint32_t offset, std::uint8_t value);
// Unmaps the window and closes the descriptor; the next access maps again. Returns close()'s
// result, or 0 when nothing was open.
int cpld_close();
