// AES constant tables, computed at compile time from the field arithmetic.
#pragma once

#include <array>
#include <cstdint>

namespace crypto_detail {

using AesTable = std::array<std::uint32_t, 256>;

struct AesTables {
    AesTable te[4];  // (02.S, 01.S, 01.S, 03.S) and its byte rotations
    AesTable td[4];  // (0E.Si, 09.Si, 0D.Si, 0B.Si) and its byte rotations
    AesTable sbox;   // S(x) in all four bytes
    AesTable inverseSbox;
};

extern const AesTables kAes;

}  // namespace crypto_detail
