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

// The digest of one buffer, with a context on the stack that is wiped afterwards.
CryptoStatus SHA512_completeDigest(const std::uint8_t* data, std::uint32_t length,
                                   std::uint8_t* output);
// SHA-384 of one buffer: its own initial values, SHA384_RESULT_SIZE bytes of result.
CryptoStatus SHA384_completeDigest(const std::uint8_t* data, std::uint32_t length,
                                   std::uint8_t* output);
