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

// The digest of one buffer, with a context on the stack that is wiped afterwards.
CryptoStatus SHA1_completeDigest(const std::uint8_t* data, std::uint32_t length,
                                 std::uint8_t* output);

// The bare compression function over one 64-byte block, updating state in place; no padding,
// no length, no null checks. For the random depot's G function.
void SHA1_compressBlock(std::uint32_t state[5], const std::uint8_t* block);
