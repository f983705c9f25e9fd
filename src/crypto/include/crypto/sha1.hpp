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

// The caller owns the context. init starts a digest; update adds length bytes (data must not be
// null, even for length 0); final writes the SHA1_RESULT_SIZE bytes and leaves the context spent
// (init it again before reuse; it is not wiped). Each gives ERR_NULL_POINTER for a null
// argument and OK otherwise.
CryptoStatus SHA1_initDigest(SHA1_CTX* ctx);
CryptoStatus SHA1_updateDigest(SHA1_CTX* ctx, const std::uint8_t* data, std::uint32_t length);
CryptoStatus SHA1_finalDigest(SHA1_CTX* ctx, std::uint8_t* output);
// All three over one buffer, with a context on the stack that is wiped afterwards.
CryptoStatus SHA1_completeDigest(const std::uint8_t* data, std::uint32_t length,
                                 std::uint8_t* output);

// The bare compression function over one 64-byte block, updating state in place; no padding,
// no length, no null checks. For the random depot's G function.
void SHA1_compressBlock(std::uint32_t state[5], const std::uint8_t* block);
