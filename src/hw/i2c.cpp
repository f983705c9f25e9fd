#include "hw/i2c.hpp"

#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "platform/seam.hpp"

namespace {

int buses[2] = {0, 0};

constexpr std::uint8_t eeprom_address8 = 0xA8;
constexpr std::uint8_t rtc_address8 = 0xD0;
constexpr std::uint8_t led_address8 = 0xC0;
constexpr unsigned eeprom_address = 0x54;
constexpr unsigned led_address = 0x60;
constexpr unsigned port_address = 0x20;
constexpr std::uint8_t port_input_register = 4;
constexpr std::uint8_t port_output_register = 12;
constexpr useconds_t write_pause_us = 100000;

constexpr std::uint16_t boot_slot_offset = 0x0100;
constexpr std::uint16_t booted_image_offset = 0x013A;
constexpr std::uint16_t usb_enable_offset = 0x013B;
constexpr std::uint16_t serial_offset = 0x000D;
constexpr int serial_length = 12;

int select_device(int fd, unsigned address7) {
    // i2c-dev takes the address as the argument value itself.
    return platform::dev_ioctl(
        fd, I2C_SLAVE,
        reinterpret_cast<void*>(std::uintptr_t{address7}));  // NOLINT(performance-no-int-to-ptr)
}

int smbus_access(int fd, std::uint8_t read_write, std::uint8_t reg, i2c_smbus_data* data) {
    i2c_smbus_ioctl_data request{};
    request.read_write = read_write;
    request.command = reg;
    request.size = I2C_SMBUS_BYTE_DATA;
    request.data = data;
    return platform::dev_ioctl(fd, I2C_SMBUS, &request);
}

}  // namespace

int i2c_bus_fd(int bus) {
    return bus == 0 || bus == 1 ? buses[bus] : -1;
}

int i2c_open_buses() {
    for (int bus = 0; bus < 2; ++bus) {
        char path[32];
        std::snprintf(path, sizeof path, "/dev/i2c-%d", bus);
        buses[bus] = platform::dev_open(path, O_RDWR);
        if (buses[bus] < 0) {
            std::printf("ERROR: driver %s couldn't be opened\n", path);
            return -1;
        }
    }
    return 0;
}

int i2c_close_buses() {
    for (int& fd : buses) {
        if (fd > 0) {
            platform::dev_close(fd);
        }
        fd = 0;
    }
    return 0;
}

int i2c_read_regs(int bus, std::uint8_t address8, std::uint16_t offset, int count, int width,
                  std::uint8_t* destination) {
    const int fd = i2c_bus_fd(bus);
    std::uint8_t offset_bytes[2];
    int offset_length = 1;
    if (width == 2) {
        offset_bytes[0] = static_cast<std::uint8_t>(offset >> 8);
        offset_bytes[1] = static_cast<std::uint8_t>(offset);
        offset_length = 2;
    } else {
        offset_bytes[0] = static_cast<std::uint8_t>(offset);
    }
    if (select_device(fd, address8 >> 1) < 0) {
        std::printf("I2C error when setting bus %d, device 0x%x: %d\n", bus, address8, errno);
        return 0;
    }
    if (platform::dev_write(fd, offset_bytes, offset_length) < 0) {
        std::printf("I2C error - device 0x%x writing bus %d offset %d: %d\n", address8, bus, offset,
                    errno);
        return 0;
    }
    if (count < 0 || platform::dev_read(fd, destination, count) != count) {
        std::printf("I2C error - device 0x%x @ %d, %d bytes : %d\n", address8, offset, count,
                    errno);
        return 0;
    }
    return offset_bytes[0];
}

int smbus_read_byte(int fd, std::uint8_t reg) {
    i2c_smbus_data data{};
    if (smbus_access(fd, I2C_SMBUS_READ, reg, &data) != 0) {
        return -1;
    }
    return data.byte;
}

int smbus_write_byte(int fd, std::uint8_t reg, std::uint8_t value) {
    i2c_smbus_data data{};
    data.byte = value;
    return smbus_access(fd, I2C_SMBUS_WRITE, reg, &data);
}

std::uint8_t nvram_read(std::uint16_t offset, int count, std::uint8_t* destination) {
    i2c_read_regs(0, eeprom_address8, offset, count, 2, destination);
    return destination[0];
}

int nvram_write_byte(std::uint16_t offset, std::uint8_t value) {
    // The port device's bit 3 of register 12 releases the EEPROM's write protection.
    select_device(buses[1], port_address);
    const int port = smbus_read_byte(buses[1], port_input_register);
    smbus_write_byte(buses[1], port_output_register, static_cast<std::uint8_t>(port & 0xF7));

    const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(offset >> 8),
                                   static_cast<std::uint8_t>(offset), value};
    const int selected = select_device(buses[0], eeprom_address);
    if (selected < 0) {
        std::printf("I2C error when setting bus %d: %d\n", 0, errno);
        return selected;
    }
    const auto written = static_cast<int>(platform::dev_write(buses[0], bytes, sizeof bytes));
    const int write_errno = errno;
    platform::clock_usleep(write_pause_us);
    if (written < 0) {
        std::printf("I2C error when writing bus %d offset %d: %d\n", 0, offset, write_errno);
    }
    return written;
}

std::uint8_t nvram_get_boot_slot() {
    std::uint8_t slot = 0;
    nvram_read(boot_slot_offset, 1, &slot);
    return slot;
}

int nvram_set_boot_slot(std::uint8_t value) {
    return nvram_write_byte(boot_slot_offset, value);
}

int nvram_set_booted_image(std::uint8_t value) {
    return nvram_write_byte(booted_image_offset, value);
}

std::uint8_t nvram_get_usb_enable() {
    std::uint8_t enable = 0;
    nvram_read(usb_enable_offset, 1, &enable);
    return enable;
}

std::uint8_t nvram_read_serial(std::uint8_t* destination) {
    return nvram_read(serial_offset, serial_length, destination);
}

int nvram_set_image_timestamp(std::uint8_t slot, const std::uint8_t* clock) {
    std::uint16_t base = 0;
    if (slot == 1) {
        base = 0x108;
    } else if (slot == 2) {
        base = 0x110;
    } else {
        return 0;
    }
    for (int i = 0; i < 7; ++i) {
        if (nvram_write_byte(static_cast<std::uint16_t>(base + i), clock[i]) < 0) {
            std::printf("Error setting image timestamp at offset 0x%x byte %d\n", base, i);
            return 0;
        }
    }
    return 1;
}

int stamp_image(std::uint8_t slot) {
    std::uint8_t clock[7] = {};
    rtc_read(clock);
    platform::clock_sleep(1);
    return nvram_set_image_timestamp(slot, clock);
}

int rtc_read(std::uint8_t* destination) {
    return i2c_read_regs(0, rtc_address8, 0, 7, 1, destination);
}

std::uint8_t led_read(std::uint8_t reg, std::uint8_t* destination) {
    i2c_read_regs(1, led_address8, reg, 1, 1, destination);
    return *destination;
}

int led_write(std::uint16_t reg, std::uint8_t value) {
    const std::uint8_t bytes[2] = {static_cast<std::uint8_t>(reg), value};
    const int selected = select_device(buses[1], led_address);
    if (selected < 0) {
        std::printf("I2C error when setting LED on bus %d: %d\n", 1, errno);
        return selected;
    }
    const auto written = static_cast<int>(platform::dev_write(buses[1], bytes, sizeof bytes));
    const int write_errno = errno;
    platform::clock_usleep(write_pause_us);
    if (written < 0) {
        std::printf("I2C error when writing LED on bus %d offset %d: %d\n", 1, reg, write_errno);
    }
    return written;
}
