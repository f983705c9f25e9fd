// i2c-dev buses and the chips on them. A plain read or write is one transfer to the selected
// address; SMBus byte access is built from transfers as an adapter without native SMBus does.
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <optional>
#include <span>
#include <string>

#include "civil.hpp"
#include "emulators.hpp"
#include "files.hpp"

namespace sim::detail {
namespace {

enum class Chip { eeprom, rtc, led, port };

constexpr std::size_t max_transfer = 8192;  // i2c-dev refuses longer plain transfers

std::optional<Chip> chip_at(const Runtime& rt, int bus, unsigned address) {
    std::optional<Chip> chip;
    if (bus == 0 && address == 0x54) {
        chip = Chip::eeprom;
    } else if (bus == 0 && address == 0x68) {
        chip = Chip::rtc;
    } else if (bus == 1 && address == 0x60) {
        chip = Chip::led;
    } else if (bus == 1 && address == 0x20) {
        chip = Chip::port;
    }
    static constexpr const char* names[] = {"eeprom", "rtc", "led", "port"};
    if (chip && device_missing(rt, names[static_cast<int>(*chip)])) {
        return std::nullopt;
    }
    return chip;
}

ssize_t fail(int error) {
    errno = error;
    return -1;
}

std::uint8_t bcd(unsigned v) {
    return static_cast<std::uint8_t>((v / 10) << 4 | (v % 10));
}

std::uint8_t rtc_register(const Runtime& rt, std::uint8_t reg) {
    if (reg > 6) {
        return rt.chips.rtc_ram[reg];
    }
    std::int64_t seconds = 0;
    if (rt.config.rtc_host_clock) {
        seconds = static_cast<std::int64_t>(std::time(nullptr));
    } else if (const auto base = parse_datetime(rt.config.rtc_base)) {
        seconds = to_seconds(*base) + static_cast<std::int64_t>(rt.clock_us / 1000000);
    }
    const CivilTime t = from_seconds(seconds);
    const std::uint8_t values[] = {bcd(t.second),
                                   bcd(t.minute),
                                   bcd(t.hour),
                                   bcd(t.weekday + 1),
                                   bcd(t.day),
                                   bcd(t.month),
                                   bcd(static_cast<unsigned>(t.year % 100))};
    return values[reg] | rt.config.rtc_control[reg];
}

std::filesystem::path register_file(const Runtime& rt, Chip chip) {
    return state_path(rt.root, chip == Chip::led ? "led.bin" : "port.bin");
}

// Register files and the EEPROM live in files so that a later boot and the tools see them.
bool store(const std::filesystem::path& path, std::uint32_t offset, std::uint8_t value) {
    Fd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
    return fd.valid() && pwrite_all(fd.get(), &value, 1, offset);
}

bool load(const std::filesystem::path& path, std::uint32_t offset, std::uint8_t* value) {
    Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    return fd.valid() && pread_all(fd.get(), value, 1, offset);
}

void log_led_write(const Runtime& rt, std::uint8_t reg, std::uint8_t value) {
    char line[64];
    std::snprintf(line, sizeof line, "%llu.%06u 0x%02X 0x%02X\n",
                  static_cast<unsigned long long>(rt.clock_us / 1000000),
                  static_cast<unsigned>(rt.clock_us % 1000000), static_cast<unsigned>(reg),
                  static_cast<unsigned>(value));
    append_text(state_path(rt.root, "led.log"), line);
}

ssize_t chip_write(Runtime& rt, Chip chip, std::span<const std::uint8_t> bytes) {
    ChipState& s = rt.chips;
    switch (chip) {
        case Chip::eeprom: {
            if (bytes.size() < 2) {
                return static_cast<ssize_t>(bytes.size());
            }
            s.eeprom_pointer = static_cast<std::uint16_t>((bytes[0] << 8 | bytes[1]) % eeprom_size);
            // A 24-series write stays inside its 32-byte page.
            const std::uint16_t page = s.eeprom_pointer & ~std::uint16_t{31};
            for (std::uint8_t b : bytes.subspan(2)) {
                if (!store(state_path(rt.root, "eeprom.bin"), s.eeprom_pointer, b)) {
                    return fail(EIO);
                }
                s.eeprom_pointer = page | ((s.eeprom_pointer + 1) & 31);
            }
            break;
        }
        case Chip::rtc:
            if (bytes.empty()) {
                break;
            }
            s.rtc_pointer = bytes[0] % s.rtc_ram.size();
            for (std::uint8_t b : bytes.subspan(1)) {
                // The time registers follow the board's clock; only the RAM keeps writes.
                if (s.rtc_pointer > 6) {
                    s.rtc_ram[s.rtc_pointer] = b;
                }
                s.rtc_pointer = (s.rtc_pointer + 1) % s.rtc_ram.size();
            }
            break;
        case Chip::led:
        case Chip::port: {
            if (bytes.empty()) {
                break;
            }
            std::uint8_t& pointer = chip == Chip::led ? s.led_pointer : s.port_pointer;
            pointer = bytes[0];
            for (std::uint8_t b : bytes.subspan(1)) {
                if (!store(register_file(rt, chip), pointer, b)) {
                    return fail(EIO);
                }
                if (chip == Chip::led) {
                    log_led_write(rt, pointer, b);
                }
                ++pointer;
            }
            break;
        }
    }
    return static_cast<ssize_t>(bytes.size());
}

ssize_t chip_read(Runtime& rt, Chip chip, std::span<std::uint8_t> out) {
    ChipState& s = rt.chips;
    for (auto& b : out) {
        switch (chip) {
            case Chip::eeprom:
                if (!load(state_path(rt.root, "eeprom.bin"), s.eeprom_pointer, &b)) {
                    return fail(EIO);
                }
                s.eeprom_pointer = static_cast<std::uint16_t>((s.eeprom_pointer + 1) % eeprom_size);
                break;
            case Chip::rtc:
                b = rtc_register(rt, s.rtc_pointer);
                s.rtc_pointer = (s.rtc_pointer + 1) % s.rtc_ram.size();
                break;
            case Chip::led:
            case Chip::port: {
                std::uint8_t& pointer = chip == Chip::led ? s.led_pointer : s.port_pointer;
                if (!load(register_file(rt, chip), pointer, &b)) {
                    return fail(EIO);
                }
                ++pointer;
                break;
            }
        }
    }
    return static_cast<ssize_t>(out.size());
}

int smbus(Runtime& rt, const Device& dev, i2c_smbus_ioctl_data* req) {
    if (req == nullptr) {
        return static_cast<int>(fail(EFAULT));
    }
    if (req->size != I2C_SMBUS_BYTE && req->size != I2C_SMBUS_BYTE_DATA) {
        return static_cast<int>(fail(EOPNOTSUPP));
    }
    if (req->read_write == I2C_SMBUS_READ && req->data == nullptr) {
        return static_cast<int>(fail(EFAULT));
    }
    const auto chip = chip_at(rt, dev.bus, dev.address);
    if (!chip) {
        return static_cast<int>(fail(ENXIO));
    }
    const bool with_register = req->size == I2C_SMBUS_BYTE_DATA;
    if (req->read_write == I2C_SMBUS_WRITE) {
        const std::uint8_t bytes[] = {req->command, req->data ? req->data->byte : std::uint8_t{0}};
        return chip_write(rt, *chip, std::span(bytes, with_register ? 2 : 1)) < 0 ? -1 : 0;
    }
    if (with_register && chip_write(rt, *chip, std::span(&req->command, 1)) < 0) {
        return -1;
    }
    return chip_read(rt, *chip, std::span(&req->data->byte, 1)) < 0 ? -1 : 0;
}

}  // namespace

int i2c_ioctl(Runtime& rt, Device& dev, unsigned long request, void* arg) {
    switch (request) {
        case I2C_SLAVE:
        case I2C_SLAVE_FORCE: {
            // The address travels in the argument itself, not behind it.
            const auto address = reinterpret_cast<std::uintptr_t>(arg);
            if (address > 0x7F) {
                return static_cast<int>(fail(EINVAL));
            }
            dev.address = static_cast<unsigned>(address);
            return 0;
        }
        case I2C_FUNCS:
            if (arg == nullptr) {
                return static_cast<int>(fail(EFAULT));
            }
            *static_cast<unsigned long*>(arg) =
                I2C_FUNC_I2C | I2C_FUNC_SMBUS_BYTE | I2C_FUNC_SMBUS_BYTE_DATA;
            return 0;
        case I2C_SMBUS:
            return smbus(rt, dev, static_cast<i2c_smbus_ioctl_data*>(arg));
    }
    return static_cast<int>(fail(ENOTTY));
}

ssize_t i2c_read(Runtime& rt, const Device& dev, void* buf, std::size_t count) {
    if (count > max_transfer) {
        return fail(EINVAL);
    }
    const auto chip = chip_at(rt, dev.bus, dev.address);
    if (!chip) {
        return fail(ENXIO);
    }
    return chip_read(rt, *chip, std::span(static_cast<std::uint8_t*>(buf), count));
}

ssize_t i2c_write(Runtime& rt, const Device& dev, const void* buf, std::size_t count) {
    if (count > max_transfer) {
        return fail(EINVAL);
    }
    const auto chip = chip_at(rt, dev.bus, dev.address);
    if (!chip) {
        return fail(ENXIO);
    }
    return chip_write(rt, *chip, std::span(static_cast<const std::uint8_t*>(buf), count));
}

}  // namespace sim::detail
