// The board's I2C devices: clock and settings EEPROM on bus 0, LED controller and port device on
// bus 1, reached through the i2c-dev interface.
#pragma once

#include <cstdint>

// Bus descriptors: 0 before opening and after closing, -1 after a failed open.
int i2c_bus_fd(int bus);

int i2c_open_buses();
int i2c_close_buses();

// address8 is the 8-bit form (7-bit address shifted left by one); width is 1 or 2 offset bytes.
// Never reports failure: on failure it prints and leaves the destination unchanged.
int i2c_read_regs(int bus, std::uint8_t address8, std::uint16_t offset, int count, int width,
                  std::uint8_t* destination);

int smbus_read_byte(int fd, std::uint8_t reg);
int smbus_write_byte(int fd, std::uint8_t reg, std::uint8_t value);

// Settings EEPROM.
std::uint8_t nvram_read(std::uint16_t offset, int count, std::uint8_t* destination);
int nvram_write_byte(std::uint16_t offset, std::uint8_t value);
std::uint8_t nvram_get_boot_slot();
int nvram_set_boot_slot(std::uint8_t value);
int nvram_set_booted_image(std::uint8_t value);
std::uint8_t nvram_get_usb_enable();
std::uint8_t nvram_read_serial(std::uint8_t* destination);
int nvram_set_image_timestamp(std::uint8_t slot, const std::uint8_t* clock);
int stamp_image(std::uint8_t slot);

// Clock registers 0-6 (BCD) into a 7-byte destination.
int rtc_read(std::uint8_t* destination);

// LED controller.
std::uint8_t led_read(std::uint8_t reg, std::uint8_t* destination);
int led_write(std::uint16_t reg, std::uint8_t value);
