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

// The output must hold 64 bytes whatever the algorithm: they are zeroed first.
CryptoStatus CRYPTO_computeDigest(const std::uint8_t* data, std::uint32_t length,
                                  std::uint8_t* output, std::uint32_t* outputLength,
                                  std::uint32_t algorithm);
