#include "image/crc.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <numeric>
#include <string_view>
#include <vector>

namespace image {
namespace {

std::span<const std::uint8_t> bytes(std::string_view s) {
    return {reinterpret_cast<const std::uint8_t*>(s.data()), s.size()};
}

// The bit-serial definition the table-driven code must agree with.
std::uint32_t crc_bitwise(std::span<const std::uint8_t> data, std::uint32_t reg) {
    for (std::uint8_t byte : data) {
        for (int bit = 0; bit < 8; ++bit) {
            const bool out = reg & 1U;
            reg >>= 1;
            if (out != static_cast<bool>((byte >> bit) & 1U)) {
                reg ^= 0xEDB88320;
            }
        }
    }
    return reg;
}

std::vector<std::uint8_t> pattern(std::size_t n) {
    std::vector<std::uint8_t> v(n);
    std::uint32_t x = 0x12345678;
    for (auto& b : v) {
        x = x * 1103515245 + 12345;
        b = static_cast<std::uint8_t>(x >> 23);
    }
    return v;
}

// Every length around the eight-byte stride and lengths around the side-by-side lanes of
// several kilobytes, from every start alignment and with several presets (a piece's CRC is the
// preset of the next): the folded loop, its tail, the byte assembly and the joining of the lanes
// are all compared with the definition.
TEST(ImageCrc, MatchesTheBitSerialDefinition) {
    const auto data = pattern(3 * 4096 + 48);
    std::vector<std::size_t> lengths(41);
    std::iota(lengths.begin(), lengths.end(), 0);
    lengths.insert(lengths.end(), {300, 4095, 4096, 4097, 8191, 3 * 4096 + 13});
    for (std::uint32_t preset : {0xFFFFFFFFU, 0U, 0xA5A5A5A5U}) {
        for (std::size_t start = 0; start < 8; ++start) {
            for (const std::size_t len : lengths) {
                const auto piece = std::span(data).subspan(start, len);
                ASSERT_EQ(image_crc(piece, preset), crc_bitwise(piece, preset))
                    << "start " << start << " length " << len;
            }
        }
    }
}

// The check value is the complement of the common CRC-32's, which is refused.
TEST(ImageCrcMismatch, AcceptsOnlyTheUninvertedRegister) {
    const auto data = bytes("123456789");
    EXPECT_EQ(image_crc_mismatch(data, 0x340BC6D9), 0);
    EXPECT_EQ(image_crc_mismatch(data, 0xCBF43926), 1);
    EXPECT_EQ(image_crc_mismatch({}, 0xFFFFFFFF), 0);
}

}  // namespace
}  // namespace image
