#include "image/crc.hpp"

#include <array>
#include <cstddef>

namespace image {
namespace {

constexpr std::uint32_t polynomial = 0xEDB88320;

// Large buffers are cut into blocks of `lanes` consecutive stretches of `lane_bytes`, whose
// registers are computed side by side (independent chains keep the look-ups flowing) and
// then joined. Eight bytes per look-up round (slicing) within each lane. The loop below is
// written out for four lanes.
constexpr std::size_t slices = 8;
constexpr std::size_t lanes = 4;
constexpr std::size_t lane_bytes = 1024;

using byte_table = std::array<std::uint32_t, 256>;
using slice_tables = std::array<byte_table, slices>;

// Feeding one zero bit multiplies the register by x modulo the polynomial.
constexpr std::uint32_t times_x(std::uint32_t r) {
    return (r >> 1) ^ ((r & 1U) ? polynomial : 0U);
}

// Product of two residues, both in the register's bit order (x^0 in bit 31).
constexpr std::uint32_t multiply(std::uint32_t a, std::uint32_t b) {
    std::uint32_t product = 0;
    for (std::uint32_t bit = 0x80000000; bit != 0; bit >>= 1) {
        if (a & bit) {
            product ^= b;
        }
        b = times_x(b);
    }
    return product;
}

// slice[k][b]: the register change caused by byte b followed by k zero bytes.
constexpr slice_tables make_slices() {
    slice_tables t{};
    for (std::uint32_t b = 0; b < 256; ++b) {
        std::uint32_t r = b;
        for (int bit = 0; bit < 8; ++bit) {
            r = times_x(r);
        }
        t[0][b] = r;
    }
    for (std::size_t k = 1; k < slices; ++k) {
        for (std::size_t b = 0; b < 256; ++b) {
            t[k][b] = (t[k - 1][b] >> 8) ^ t[0][t[k - 1][b] & 0xFF];
        }
    }
    return t;
}

// What feeding lane_bytes zero bytes does to a register, one table per register byte: joining
// two lanes is then register(first) advanced past the second lane, XOR register(second).
constexpr std::array<byte_table, 4> make_lane_shift() {
    std::uint32_t factor = 0x80000000;  // x^0
    for (std::size_t i = 0; i < 8 * lane_bytes; ++i) {
        factor = times_x(factor);
    }
    std::array<byte_table, 4> t{};
    for (std::size_t k = 0; k < 4; ++k) {
        for (std::uint32_t b = 0; b < 256; ++b) {
            t[k][b] = multiply(factor, b << (8 * k));
        }
    }
    return t;
}

constexpr slice_tables slice = make_slices();
constexpr std::array<byte_table, 4> lane_shift = make_lane_shift();

// The reflected register consumes the lowest byte first, so words are assembled in that order
// from single bytes; compilers turn this into one load on either byte order.
inline std::uint32_t load_le32(const std::uint8_t* p) {
    return std::uint32_t{p[0]} | (std::uint32_t{p[1]} << 8) | (std::uint32_t{p[2]} << 16) |
           (std::uint32_t{p[3]} << 24);
}

inline std::uint32_t step8(std::uint32_t crc, const std::uint8_t* p) {
    const std::uint32_t lo = crc ^ load_le32(p);
    const std::uint32_t hi = load_le32(p + 4);
    return slice[7][lo & 0xFF] ^ slice[6][(lo >> 8) & 0xFF] ^ slice[5][(lo >> 16) & 0xFF] ^
           slice[4][lo >> 24] ^ slice[3][hi & 0xFF] ^ slice[2][(hi >> 8) & 0xFF] ^
           slice[1][(hi >> 16) & 0xFF] ^ slice[0][hi >> 24];
}

inline std::uint32_t skip_lane(std::uint32_t crc) {
    return lane_shift[0][crc & 0xFF] ^ lane_shift[1][(crc >> 8) & 0xFF] ^
           lane_shift[2][(crc >> 16) & 0xFF] ^ lane_shift[3][crc >> 24];
}

}  // namespace

std::uint32_t image_crc(std::span<const std::uint8_t> data, std::uint32_t initial) {
    std::uint32_t crc = initial;
    const std::uint8_t* p = data.data();
    std::size_t n = data.size();
    while (n >= lanes * lane_bytes) {
        std::uint32_t r0 = crc;
        std::uint32_t r1 = 0;
        std::uint32_t r2 = 0;
        std::uint32_t r3 = 0;
        for (const std::uint8_t* end = p + lane_bytes; p < end; p += slices) {
            r0 = step8(r0, p);
            r1 = step8(r1, p + lane_bytes);
            r2 = step8(r2, p + 2 * lane_bytes);
            r3 = step8(r3, p + 3 * lane_bytes);
        }
        crc = skip_lane(skip_lane(skip_lane(r0) ^ r1) ^ r2) ^ r3;
        p += (lanes - 1) * lane_bytes;
        n -= lanes * lane_bytes;
    }
    for (; n >= slices; n -= slices, p += slices) {
        crc = step8(crc, p);
    }
    for (; n > 0; --n, ++p) {
        crc = (crc >> 8) ^ slice[0][(crc ^ *p) & 0xFF];
    }
    return crc;
}

int image_crc_mismatch(std::span<const std::uint8_t> data, std::uint32_t expected) {
    return image_crc(data, crc_initial) != expected ? 1 : 0;
}

}  // namespace image
