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

// The caller owns the context. init starts a digest; update adds length bytes (data must not be
// null, even for length 0); final writes SHA512_RESULT_SIZE bytes and leaves the context spent
// (init it again before reuse; it is not wiped). Each gives ERR_NULL_POINTER for a null
// argument and OK otherwise.
CryptoStatus SHA512_initDigest(SHA512_CTX* ctx);
CryptoStatus SHA512_updateDigest(SHA512_CTX* ctx, const std::uint8_t* data, std::uint32_t length);
CryptoStatus SHA512_finalDigest(SHA512_CTX* ctx, std::uint8_t* output);
// All three over one buffer, with a context on the stack that is wiped afterwards.
CryptoStatus SHA512_completeDigest(const std::uint8_t* data, std::uint32_t length,
                                   std::uint8_t* output);

// SHA-384: its own initial values, SHA512_updateDigest in between, and a final that writes only
// SHA384_RESULT_SIZE bytes; the same rules as above.
CryptoStatus SHA384_initDigest(SHA512_CTX* ctx);
CryptoStatus SHA384_finalDigest(SHA512_CTX* ctx, std::uint8_t* output);
CryptoStatus SHA384_completeDigest(const std::uint8_t* data, std::uint32_t length,
                                   std::uint8_t* output);
