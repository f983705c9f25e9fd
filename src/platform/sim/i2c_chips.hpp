// The chips on the board's i2c buses, one emulator per file. Each is a register file with an
// address pointer and a small model: a write transfer sets the pointer from its first byte(s)
// and stores the rest from there, a read transfer continues from the pointer. Each returns the
// transfer's length, or -1 with errno set, as the i2c-dev driver would.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>

#include "runtime.hpp"

namespace sim::detail {

// 24-series EEPROM at 0x54 on bus 0: 16-bit offsets high byte first, writes wrap in their
// 32-byte page; contents in ROOT/sim/eeprom.bin.
ssize_t eeprom_write(Runtime& rt, std::span<const std::uint8_t> bytes);
ssize_t eeprom_read(Runtime& rt, std::span<std::uint8_t> out);

// Clock chip at 0x68 on bus 0: registers 0-6 show the board's time in BCD (the base time of
// board.conf plus virtual time, or the host clock when configured) with the configured control
// bits; the RAM above them keeps what is written until the process ends.
ssize_t rtc_write(Runtime& rt, std::span<const std::uint8_t> bytes);
ssize_t rtc_read(Runtime& rt, std::span<std::uint8_t> out);

// LED controller at 0x60 on bus 1: registers in ROOT/sim/led.bin; every register write is also
// logged to ROOT/sim/led.log with its virtual time.
ssize_t led_write(Runtime& rt, std::span<const std::uint8_t> bytes);
ssize_t led_read(Runtime& rt, std::span<std::uint8_t> out);

// Port expander at 0x20 on bus 1: registers in ROOT/sim/port.bin.
ssize_t port_write(Runtime& rt, std::span<const std::uint8_t> bytes);
ssize_t port_read(Runtime& rt, std::span<std::uint8_t> out);

// Shared by the chips: one byte of a state file, and an errno-setting failure.
bool store_byte(const std::filesystem::path& path, std::uint32_t offset, std::uint8_t value);
bool load_byte(const std::filesystem::path& path, std::uint32_t offset, std::uint8_t* value);
ssize_t fail_with(int error);

// A register file of 256 byte registers kept in a state file, with an 8-bit pointer: the first
// byte of a write sets the pointer and the rest are stored from there (after_store, if given,
// sees each register and value stored); reads continue from the pointer. -1 with EIO when the
// state file cannot be read or written.
ssize_t register_file_write(const std::filesystem::path& file, std::uint8_t& pointer,
                            std::span<const std::uint8_t> bytes,
                            const std::function<void(std::uint8_t, std::uint8_t)>& after_store);
ssize_t register_file_read(const std::filesystem::path& file, std::uint8_t& pointer,
                           std::span<std::uint8_t> out);

}  // namespace sim::detail
