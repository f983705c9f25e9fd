#include "image/crc.hpp"

#include <array>
#include <cstddef>

namespace image {
namespace {

constexpr std::uint32_t polynomial = 0xEDB88320;
constexpr std::size_t slices = 8;

using crc_tables = std::array<std::array<std::uint32_t, 256>, slices>;

// tables[k][b]: the register change caused by byte b followed by k zero bytes, which lets the
// loop fold eight bytes with eight independent look-ups instead of a chain of eight.
constexpr crc_tables make_tables() {
    crc_tables t{};
    for (std::uint32_t b = 0; b < 256; ++b) {
        std::uint32_t r = b;
        for (int bit = 0; bit < 8; ++bit) {
            r = (r >> 1) ^ ((r & 1U) ? polynomial : 0U);
        }
        t[0][b] = r;
    }
    for (std::size_t k = 1; k < slices; ++k) {
        for (std::size_t b = 0; b < 256; ++b) {
            const std::uint32_t prev = t[k - 1][b];
            t[k][b] = (prev >> 8) ^ t[0][prev & 0xFF];
        }
    }
    return t;
}

constexpr crc_tables tables = make_tables();

// The reflected register consumes the lowest byte first, so words are assembled in that order
// from single bytes; compilers turn this into one load on either byte order.
inline std::uint32_t load_le32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

}  // namespace

std::uint32_t image_crc(std::span<const std::uint8_t> data, std::uint32_t initial) {
    std::uint32_t crc = initial;
    const std::uint8_t* p = data.data();
    std::size_t n = data.size();
    while (n >= slices) {
        const std::uint32_t lo = crc ^ load_le32(p);
        const std::uint32_t hi = load_le32(p + 4);
        crc = tables[7][lo & 0xFF] ^ tables[6][(lo >> 8) & 0xFF] ^ tables[5][(lo >> 16) & 0xFF] ^
              tables[4][lo >> 24] ^ tables[3][hi & 0xFF] ^ tables[2][(hi >> 8) & 0xFF] ^
              tables[1][(hi >> 16) & 0xFF] ^ tables[0][hi >> 24];
        p += slices;
        n -= slices;
    }
    for (; n > 0; --n, ++p) {
        crc = (crc >> 8) ^ tables[0][(crc ^ *p) & 0xFF];
    }
    return crc;
}

int image_crc_mismatch(std::span<const std::uint8_t> data, std::uint32_t expected) {
    return image_crc(data, crc_initial) != expected ? 1 : 0;
}

}  // namespace image
