// The CPLD's byte-wide registers in a 256-byte window of physical memory, mapped on first use.
#pragma once

#include <cstdint>

int cpld_init();
// Without a destination the register is printed instead. 1 on success, 0 on failure.
int cpld_read(std::uint32_t offset, std::uint8_t* destination);
int cpld_write(std::uint32_t offset, std::uint8_t value);
int cpld_close();
