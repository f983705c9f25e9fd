// The exact check behind IMGSIGN_verifySignature: rebuild the encoding a signer makes and
// compare, rather than parse what the signature opens to.
#pragma once

#include <cstdint>

#include "crypto/rsa.hpp"
#include "crypto/status.hpp"

// 0 when the signature is numerically below the modulus and opens to exactly
// 00 01 FF..FF 00 DigestInfo(SHA-256, hash), the DigestInfo with or without NULL parameters;
// ERR_RSA_SIGNATURE_MISMATCH otherwise; a big-integer status when the arithmetic fails.
// Runs in time independent of where the bytes differ.
CryptoStatus pkcs1_sha256_exact(const RSAKey* key, const std::uint8_t* hash,
                                std::int32_t hashLength, const std::uint8_t* signature,
                                std::int32_t signatureLength);
