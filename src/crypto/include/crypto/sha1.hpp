// SHA-1 (FIPS 180-4).
#pragma once

#include <cstdint>

#include "crypto/status.hpp"

constexpr std::uint32_t SHA1_RESULT_SIZE = 20;

struct SHA1_CTX {
    std::uint32_t H[5];
    std::uint32_t lengthHigh;
    std::uint32_t lengthLow;
    std::int32_t bufferedCount;
    std::uint8_t buffer[64];
};

CryptoStatus SHA1_initDigest(SHA1_CTX* ctx);
CryptoStatus SHA1_updateDigest(SHA1_CTX* ctx, const std::uint8_t* data, std::uint32_t length);
CryptoStatus SHA1_finalDigest(SHA1_CTX* ctx, std::uint8_t* output);
CryptoStatus SHA1_completeDigest(const std::uint8_t* data, std::uint32_t length,
                                 std::uint8_t* output);

// The bare compression function over one 64-byte block, for the random depot's G function.
void SHA1_compressBlock(std::uint32_t state[5], const std::uint8_t* block);
