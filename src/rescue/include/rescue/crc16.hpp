// CRC-16/XMODEM: polynomial 0x1021, initial value 0, not reflected, no final inversion.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace rescue {

constexpr std::array<std::uint16_t, 256> make_crc16_table() {
    std::array<std::uint16_t, 256> table{};
    for (unsigned byte = 0; byte < 256; ++byte) {
        unsigned crc = byte << 8;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000) != 0 ? (crc << 1) ^ 0x1021 : crc << 1;
        }
        table[byte] = static_cast<std::uint16_t>(crc);
    }
    return table;
}

inline constexpr std::array<std::uint16_t, 256> crc16_table = make_crc16_table();

// The CRC of the whole of data (0 for none), as the block trailer carries it.
constexpr std::uint16_t crc16_xmodem(std::span<const std::uint8_t> data) {
    std::uint16_t crc = 0;
    for (const std::uint8_t byte : data) {
        crc = static_cast<std::uint16_t>((crc << 8) ^ crc16_table[((crc >> 8) ^ byte) & 0xFF]);
    }
    return crc;
}

}  // namespace rescue
