// The board's I2C devices: clock and settings EEPROM on bus 0, LED controller and port device on
// bus 1, reached through the i2c-dev interface. This module owns the two bus descriptors; the
// calls print their own errors.
#pragma once

#include <cstdint>

// Bus descriptors: 0 before opening and after closing, -1 after a failed open; -1 for a bus
// other than 0 or 1. The functions below use whatever is there, so before opening they act on
// descriptor 0 and fail.
int i2c_bus_fd(int bus);

// Opens /dev/i2c-0 then /dev/i2c-1. 0 on success; -1 after printing which one failed (bus 1 is
// then not tried, and bus 0 stays open). Opening again does not close the earlier descriptors.
int i2c_open_buses();
// Closes every open bus and resets both descriptors to 0. Always 0.
int i2c_close_buses();

// Selects the device, writes the offset, then reads count bytes into destination.
// address8 is the 8-bit form (7-bit address shifted left by one); width 2 sends the offset
// big-endian in two bytes, any other width one byte. On failure it prints the step and errno.
// Returns the first offset byte sent (the high byte for width 2) on success, 0 on failure, so
// a failure cannot be told from success at an offset whose first byte is 0. The destination is
// untouched when selecting or writing fails; a short read may leave it partly written.
int i2c_read_regs(int bus, std::uint8_t address8, std::uint16_t offset, int count, int width,
                  std::uint8_t* destination);

// One SMBus byte-data transfer with the device already selected on fd. read: the byte (0-255)
// or -1. write: the ioctl's result, 0 or -1 with errno.
int smbus_read_byte(int fd, std::uint8_t reg);
int smbus_write_byte(int fd, std::uint8_t reg, std::uint8_t value);

// Settings EEPROM (bus 0, 2-byte offsets). nvram_read reads count bytes into destination, which
// must hold at least one, and returns destination[0] whether or not the read worked: on failure
// that is the caller's own value.
std::uint8_t nvram_read(std::uint16_t offset, int count, std::uint8_t* destination);
// Clears the write protection (bit 3 of the port device's output register, from its input
// register; left cleared afterwards, and if reading the port fails 0xF7 is written to it), then
// writes the byte and pauses 100 ms on the board's clock, failure or not. Returns the bytes
// written (3) or -1 after printing errno; the protection step's failures are not reported.
int nvram_write_byte(std::uint16_t offset, std::uint8_t value);
// Fixed cells: boot slot 0x100, booted image 0x13A, USB enable 0x13B. A failed read gives 0;
// the setters return nvram_write_byte's result.
std::uint8_t nvram_get_boot_slot();
int nvram_set_boot_slot(std::uint8_t value);
int nvram_set_booted_image(std::uint8_t value);
std::uint8_t nvram_get_usb_enable();
// The 12-byte serial number at 0x0D into destination; returns nvram_read's result.
std::uint8_t nvram_read_serial(std::uint8_t* destination);
// The 7 clock bytes as slot 1's (0x108) or slot 2's (0x110) install time, byte by byte. 1 on
// success; 0 for another slot (nothing written) or at the first failed byte, after printing it,
// with the bytes before it written.
int nvram_set_image_timestamp(std::uint8_t slot, const std::uint8_t* clock);
// Reads the clock, waits 1 s on the board's clock, and stores the reading as the slot's install
// time; returns nvram_set_image_timestamp's result. A failed clock read stores zeros.
int stamp_image(std::uint8_t slot);

// Clock registers 0-6 (BCD) into a 7-byte destination. Returns 0 whether or not the read worked
// (see i2c_read_regs); on a failed select or write the destination is untouched.
int rtc_read(std::uint8_t* destination);

// LED controller (bus 1). led_read reads one register into destination and returns
// *destination, the caller's own value if the read failed.
std::uint8_t led_read(std::uint8_t reg, std::uint8_t* destination);
// Writes the register (only its low 8 bits are sent) and pauses 100 ms on the board's clock.
// Returns the bytes written (2), or -1 after printing errno.
int led_write(std::uint16_t reg, std::uint8_t value);
