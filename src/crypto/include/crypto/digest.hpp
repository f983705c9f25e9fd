// Digest selection by numeric algorithm identifier; the same numbers name the digest found in
// a signature's DigestInfo.
#pragma once

#include <cstdint>

#include "crypto/status.hpp"

constexpr std::uint32_t DIGEST_MD2 = 2;
constexpr std::uint32_t DIGEST_MD4 = 3;
constexpr std::uint32_t DIGEST_MD5 = 4;
constexpr std::uint32_t DIGEST_SHA1 = 5;
constexpr std::uint32_t DIGEST_SHA256 = 11;
constexpr std::uint32_t DIGEST_SHA384 = 12;
constexpr std::uint32_t DIGEST_SHA512 = 13;
constexpr std::uint32_t DIGEST_SHA224 = 14;

// Hashes length bytes of data with a DIGEST_* algorithm (MD5, SHA-1, SHA-224/256/384/512) and
// stores the digest size in *outputLength. The output must hold 64 bytes whatever the algorithm:
// they are zeroed first, also when the call then fails. ERR_NULL_POINTER (data too, even for
// length 0; output then untouched), ERR_UNSUPPORTED_DIGEST (MD2, MD4 and unknown identifiers;
// *outputLength untouched).
CryptoStatus CRYPTO_computeDigest(const std::uint8_t* data, std::uint32_t length,
                                  std::uint8_t* output, std::uint32_t* outputLength,
                                  std::uint32_t algorithm);
