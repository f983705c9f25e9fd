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

// The caller owns the context. init starts a digest; update adds length bytes (data must not be
// null, even for length 0); final writes SHA256_RESULT_SIZE bytes and leaves the context spent
// (init it again before reuse; it is not wiped). Each gives ERR_NULL_POINTER for a null
// argument and OK otherwise.
CryptoStatus SHA256_initDigest(SHA256_CTX* ctx);
CryptoStatus SHA256_updateDigest(SHA256_CTX* ctx, const std::uint8_t* data, std::uint32_t length);
CryptoStatus SHA256_finalDigest(SHA256_CTX* ctx, std::uint8_t* output);
// All three over one buffer, with a context on the stack that is wiped afterwards.
CryptoStatus SHA256_completeDigest(const std::uint8_t* data, std::uint32_t length,
                                   std::uint8_t* output);

// SHA-224 of one buffer: its own initial values, SHA224_RESULT_SIZE bytes of result.
CryptoStatus SHA224_completeDigest(const std::uint8_t* data, std::uint32_t length,
                                   std::uint8_t* output);
