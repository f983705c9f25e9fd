// The signing layer: the only way the boot manager's security logic reaches the crypto library
// for digests, public keys and signature checks (AES: imgsign_aes.hpp). Crypto status codes, 0 for
// success.
//
// Each operation traces through the library's debug output, in category 4 (category 32 for a
// cipher failure); under the system's fixed debug mask all of it is suppressed.
#pragma once

#include <cstdint>

#include "crypto/ca_mgmt.hpp"
#include "crypto/status.hpp"

// Categories of the layer's trace lines.
constexpr std::uint32_t IMGSIGN_TRACE = 0x4;
constexpr std::uint32_t IMGSIGN_TRACE_CIPHER = 0x20;

// SHA-256 of length bytes (data must not be null, even for length 0) into digest (32 bytes) and
// *digestLength (32). ERR_NULL_POINTER, nothing written, when an argument is null; the digest
// library's status otherwise (*digestLength 0 on a failure).
CryptoStatus IMGSIGN_computeSHA256(const std::uint8_t* data, std::uint32_t length,
                                   std::uint8_t* digest, std::uint32_t* digestLength);

// PEM text, or DER bytes when the text is not PEM. With key absent only tests the decoding;
// otherwise the caller releases key with CRYPTO_uninitAsymmetricKey.
CryptoStatus CA_MGMT_convertPublicKey(const std::uint8_t* keyText, std::uint32_t keyTextLength,
                                      AsymmetricKey* key);

// 0 only for an RSASSA-PKCS1-v1_5 signature over the SHA-256 hash, encoded exactly as the
// standard builds it (DigestInfo with or without the NULL parameters) and numerically below the
// modulus. A well-formed signature over anything else gives ERR_RSA_SIGNATURE_MISMATCH; the
// RSA layer's own statuses (wrong length, bad padding, malformed DigestInfo) come first.
CryptoStatus IMGSIGN_verifySignature(const std::uint8_t* hash, std::int32_t hashLength,
                                     const std::uint8_t* signature, std::int32_t signatureLength,
                                     const std::uint8_t* keyText, std::uint32_t keyTextLength);

// Trace only, nothing under the system's mask: "length = N", then the bytes in hexadecimal, 16
// a line.
void IMGSIGN_dumpHex(const std::uint8_t* bytes, std::int32_t length);
// Trace only: an RSA key's type, private flag, modulus and exponent; nothing for a null key, a
// key of another type or one without values.
void IMGSIGN_dumpKey(const AsymmetricKey* key);
