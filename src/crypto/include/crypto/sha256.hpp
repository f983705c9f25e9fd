// SHA-256 and SHA-224 (FIPS 180-4). SHA-224 shares the context and the update.
#pragma once

#include <cstdint>

#include "crypto/status.hpp"

constexpr std::uint32_t SHA256_RESULT_SIZE = 32;
constexpr std::uint32_t SHA224_RESULT_SIZE = 28;

struct SHA256_CTX {
    std::uint32_t H[8];
    std::uint32_t lengthHigh;  // bytes hashed so far, 64-bit
    std::uint32_t lengthLow;
    std::int32_t bufferedCount;  // 0..63
    std::uint8_t buffer[64];
};

CryptoStatus SHA256_initDigest(SHA256_CTX* ctx);
CryptoStatus SHA256_updateDigest(SHA256_CTX* ctx, const std::uint8_t* data, std::uint32_t length);
CryptoStatus SHA256_finalDigest(SHA256_CTX* ctx, std::uint8_t* output);
CryptoStatus SHA256_completeDigest(const std::uint8_t* data, std::uint32_t length,
                                   std::uint8_t* output);

CryptoStatus SHA224_initDigest(SHA256_CTX* ctx);
CryptoStatus SHA224_finalDigest(SHA256_CTX* ctx, std::uint8_t* output);
CryptoStatus SHA224_completeDigest(const std::uint8_t* data, std::uint32_t length,
                                   std::uint8_t* output);
