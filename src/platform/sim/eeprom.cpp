// 24-series EEPROM: a 16-bit address pointer over the bytes of ROOT/sim/eeprom.bin.
#include <cerrno>

#include "i2c_chips.hpp"
#include "sim/board.hpp"

namespace sim::detail {

ssize_t eeprom_write(Runtime& rt, std::span<const std::uint8_t> bytes) {
    if (bytes.size() < 2) {
        return static_cast<ssize_t>(bytes.size());
    }
    std::uint16_t& pointer = rt.chips.eeprom_pointer;
    pointer = static_cast<std::uint16_t>((bytes[0] << 8 | bytes[1]) % eeprom_size);
    // A write stays inside its 32-byte page.
    const std::uint16_t page = pointer & ~std::uint16_t{31};
    for (std::uint8_t b : bytes.subspan(2)) {
        if (!store_byte(state_path(rt.root, "eeprom.bin"), pointer, b)) {
            return fail_with(EIO);
        }
        pointer = page | ((pointer + 1) & 31);
    }
    return static_cast<ssize_t>(bytes.size());
}

ssize_t eeprom_read(Runtime& rt, std::span<std::uint8_t> out) {
    std::uint16_t& pointer = rt.chips.eeprom_pointer;
    for (auto& b : out) {
        if (!load_byte(state_path(rt.root, "eeprom.bin"), pointer, &b)) {
            return fail_with(EIO);
        }
        pointer = static_cast<std::uint16_t>((pointer + 1) % eeprom_size);
    }
    return static_cast<ssize_t>(out.size());
}

}  // namespace sim::detail
