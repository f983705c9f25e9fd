// MD5 (RFC 1321).
#pragma once

#include <cstdint>

#include "crypto/status.hpp"

constexpr std::uint32_t MD5_RESULT_SIZE = 16;

struct MD5_CTX {
    std::uint32_t H[4];
    std::uint32_t lengthHigh;
    std::uint32_t lengthLow;
    std::int32_t bufferedCount;
    std::uint8_t buffer[64];
};

// The digest of one buffer, with a context on the stack that is wiped afterwards.
CryptoStatus MD5_completeDigest(const std::uint8_t* data, std::uint32_t length,
                                std::uint8_t* output);
