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

// The caller owns the context. init starts a digest; update adds length bytes (data must not be
// null, even for length 0); final writes the MD5_RESULT_SIZE bytes and leaves the context spent
// (init it again before reuse; it is not wiped). Each gives ERR_NULL_POINTER for a null
// argument and OK otherwise.
CryptoStatus MD5_initDigest(MD5_CTX* ctx);
CryptoStatus MD5_updateDigest(MD5_CTX* ctx, const std::uint8_t* data, std::uint32_t length);
CryptoStatus MD5_finalDigest(MD5_CTX* ctx, std::uint8_t* output);
// All three over one buffer, with a context on the stack that is wiped afterwards.
CryptoStatus MD5_completeDigest(const std::uint8_t* data, std::uint32_t length,
                                std::uint8_t* output);
