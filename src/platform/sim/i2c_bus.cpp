// i2c-dev buses: which chip answers at which address, and the driver's interface to them. A
// plain read or write is one transfer to the selected address; SMBus byte access is built from
// transfers as an adapter without native SMBus does. The chips are in their own files.
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdint>
#include <optional>
#include <span>

#include "emulators.hpp"
#include "files.hpp"
#include "i2c_chips.hpp"

namespace sim::detail {
namespace {

constexpr std::size_t max_transfer = 8192;  // i2c-dev refuses longer plain transfers

struct Chip {
    int bus;
    unsigned address;
    const char* name;  // as board.conf's missing-device list names it
    ssize_t (*write)(Runtime&, std::span<const std::uint8_t>);
    ssize_t (*read)(Runtime&, std::span<std::uint8_t>);
};

constexpr Chip chips[] = {
    {0, 0x54, "eeprom", eeprom_write, eeprom_read},
    {0, 0x68, "rtc", rtc_write, rtc_read},
    {1, 0x60, "led", led_write, led_read},
    {1, 0x20, "port", port_write, port_read},
};

// The chip that acknowledges the address, or none: an absent chip does not.
const Chip* chip_at(const Runtime& rt, int bus, unsigned address) {
    for (const Chip& chip : chips) {
        if (chip.bus == bus && chip.address == address) {
            return device_missing(rt, chip.name) ? nullptr : &chip;
        }
    }
    return nullptr;
}

int smbus(Runtime& rt, const Device& dev, i2c_smbus_ioctl_data* req) {
    if (req == nullptr) {
        return static_cast<int>(fail_with(EFAULT));
    }
    if (req->size != I2C_SMBUS_BYTE && req->size != I2C_SMBUS_BYTE_DATA) {
        return static_cast<int>(fail_with(EOPNOTSUPP));
    }
    if (req->read_write == I2C_SMBUS_READ && req->data == nullptr) {
        return static_cast<int>(fail_with(EFAULT));
    }
    const Chip* chip = chip_at(rt, dev.bus, dev.address);
    if (chip == nullptr) {
        return static_cast<int>(fail_with(ENXIO));
    }
    const bool with_register = req->size == I2C_SMBUS_BYTE_DATA;
    if (req->read_write == I2C_SMBUS_WRITE) {
        const std::uint8_t bytes[] = {req->command, req->data ? req->data->byte : std::uint8_t{0}};
        return chip->write(rt, std::span(bytes, with_register ? 2 : 1)) < 0 ? -1 : 0;
    }
    if (with_register && chip->write(rt, std::span(&req->command, 1)) < 0) {
        return -1;
    }
    return chip->read(rt, std::span(&req->data->byte, 1)) < 0 ? -1 : 0;
}

}  // namespace

ssize_t fail_with(int error) {
    errno = error;
    return -1;
}

bool store_byte(const std::filesystem::path& path, std::uint32_t offset, std::uint8_t value) {
    unique_fd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
    return fd && pwrite_all(fd.get(), &value, 1, offset);
}

bool load_byte(const std::filesystem::path& path, std::uint32_t offset, std::uint8_t* value) {
    unique_fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    return fd && pread_all(fd.get(), value, 1, offset);
}

ssize_t register_file_write(const std::filesystem::path& file, std::uint8_t& pointer,
                            std::span<const std::uint8_t> bytes,
                            const std::function<void(std::uint8_t, std::uint8_t)>& after_store) {
    if (bytes.empty()) {
        return 0;
    }
    pointer = bytes[0];
    for (std::uint8_t b : bytes.subspan(1)) {
        if (!store_byte(file, pointer, b)) {
            return fail_with(EIO);
        }
        if (after_store) {
            after_store(pointer, b);
        }
        ++pointer;
    }
    return static_cast<ssize_t>(bytes.size());
}

ssize_t register_file_read(const std::filesystem::path& file, std::uint8_t& pointer,
                           std::span<std::uint8_t> out) {
    for (auto& b : out) {
        if (!load_byte(file, pointer, &b)) {
            return fail_with(EIO);
        }
        ++pointer;
    }
    return static_cast<ssize_t>(out.size());
}

int i2c_ioctl(Runtime& rt, Device& dev, unsigned long request, void* arg) {
    switch (request) {
        case I2C_SLAVE:
        case I2C_SLAVE_FORCE: {
            // The address travels in the argument itself, not behind it.
            const auto address = reinterpret_cast<std::uintptr_t>(arg);
            if (address > 0x7F) {
                return static_cast<int>(fail_with(EINVAL));
            }
            dev.address = static_cast<unsigned>(address);
            return 0;
        }
        case I2C_FUNCS:
            if (arg == nullptr) {
                return static_cast<int>(fail_with(EFAULT));
            }
            *static_cast<unsigned long*>(arg) =
                I2C_FUNC_I2C | I2C_FUNC_SMBUS_BYTE | I2C_FUNC_SMBUS_BYTE_DATA;
            return 0;
        case I2C_SMBUS:
            return smbus(rt, dev, static_cast<i2c_smbus_ioctl_data*>(arg));
    }
    return static_cast<int>(fail_with(ENOTTY));
}

ssize_t i2c_read(Runtime& rt, const Device& dev, void* buf, std::size_t count) {
    if (count > max_transfer) {
        return fail_with(EINVAL);
    }
    const Chip* chip = chip_at(rt, dev.bus, dev.address);
    if (chip == nullptr) {
        return fail_with(ENXIO);
    }
    return chip->read(rt, std::span(static_cast<std::uint8_t*>(buf), count));
}

ssize_t i2c_write(Runtime& rt, const Device& dev, const void* buf, std::size_t count) {
    if (count > max_transfer) {
        return fail_with(EINVAL);
    }
    const Chip* chip = chip_at(rt, dev.bus, dev.address);
    if (chip == nullptr) {
        return fail_with(ENXIO);
    }
    return chip->write(rt, std::span(static_cast<const std::uint8_t*>(buf), count));
}

}  // namespace sim::detail
