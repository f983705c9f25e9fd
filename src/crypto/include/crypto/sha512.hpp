// SHA-512 and SHA-384 (FIPS 180-4). SHA-384 shares the context and the update.
#pragma once

#include <cstdint>

#include "crypto/status.hpp"

constexpr std::uint32_t SHA512_RESULT_SIZE = 64;
constexpr std::uint32_t SHA384_RESULT_SIZE = 48;

struct SHA512_CTX {
    std::uint64_t H[8];
    std::uint32_t lengthHigh;  // bytes hashed so far, 64-bit
    std::uint32_t lengthLow;
    std::int32_t bufferedCount;  // 0..127
    std::uint8_t buffer[128];
};

CryptoStatus SHA512_initDigest(SHA512_CTX* ctx);
CryptoStatus SHA512_updateDigest(SHA512_CTX* ctx, const std::uint8_t* data, std::uint32_t length);
CryptoStatus SHA512_finalDigest(SHA512_CTX* ctx, std::uint8_t* output);
CryptoStatus SHA512_completeDigest(const std::uint8_t* data, std::uint32_t length,
                                   std::uint8_t* output);

CryptoStatus SHA384_initDigest(SHA512_CTX* ctx);
CryptoStatus SHA384_finalDigest(SHA512_CTX* ctx, std::uint8_t* output);
CryptoStatus SHA384_completeDigest(const std::uint8_t* data, std::uint32_t length,
                                   std::uint8_t* output);
