#include "aes_tables.hpp"

namespace crypto_detail {

namespace {

constexpr std::uint8_t xtime(std::uint8_t x) {
    return static_cast<std::uint8_t>((x << 1) ^ ((x & 0x80) != 0 ? 0x1B : 0x00));
}

constexpr std::uint8_t gmul(std::uint8_t a, std::uint8_t b) {
    std::uint8_t p = 0;
    while (b != 0) {
        if ((b & 1) != 0) {
            p ^= a;
        }
        a = xtime(a);
        b >>= 1;
    }
    return p;
}

constexpr std::uint8_t inverse(std::uint8_t x) {
    // x^254 is the multiplicative inverse; 0 maps to 0.
    std::uint8_t result = 1;
    std::uint8_t base = x;
    for (int e = 254; e > 0; e >>= 1) {
        if ((e & 1) != 0) {
            result = gmul(result, base);
        }
        base = gmul(base, base);
    }
    return x == 0 ? 0 : result;
}

constexpr std::uint8_t rotl8(std::uint8_t x, int n) {
    return static_cast<std::uint8_t>((x << n) | (x >> (8 - n)));
}

constexpr std::uint8_t sbox(std::uint8_t x) {
    std::uint8_t b = inverse(x);
    return static_cast<std::uint8_t>(b ^ rotl8(b, 1) ^ rotl8(b, 2) ^ rotl8(b, 3) ^ rotl8(b, 4) ^
                                     0x63);
}

constexpr std::uint32_t word(std::uint8_t a, std::uint8_t b, std::uint8_t c, std::uint8_t d) {
    return (std::uint32_t{a} << 24) | (std::uint32_t{b} << 16) | (std::uint32_t{c} << 8) | d;
}

constexpr std::uint32_t rotr(std::uint32_t x, int n) {
    return (x >> n) | (x << (32 - n));
}

constexpr AesTables makeTables() {
    AesTables t{};
    std::uint8_t s[256] = {};
    std::uint8_t si[256] = {};
    for (int x = 0; x < 256; ++x) {
        s[x] = sbox(static_cast<std::uint8_t>(x));
        si[s[x]] = static_cast<std::uint8_t>(x);
    }
    for (int x = 0; x < 256; ++x) {
        const std::uint32_t e = word(gmul(s[x], 2), s[x], s[x], gmul(s[x], 3));
        const std::uint32_t d =
            word(gmul(si[x], 14), gmul(si[x], 9), gmul(si[x], 13), gmul(si[x], 11));
        for (int r = 0; r < 4; ++r) {
            t.te[r][x] = r == 0 ? e : rotr(e, 8 * r);
            t.td[r][x] = r == 0 ? d : rotr(d, 8 * r);
        }
        t.sbox[x] = static_cast<std::uint32_t>(s[x]) * 0x01010101u;
        t.inverseSbox[x] = static_cast<std::uint32_t>(si[x]) * 0x01010101u;
    }
    return t;
}

}  // namespace

constexpr AesTables kAesTables = makeTables();
const AesTables kAes = kAesTables;

}  // namespace crypto_detail
