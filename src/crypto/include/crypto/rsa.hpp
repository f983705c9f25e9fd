// RSA public key and signature decryption (PKCS #1 v1.5, block type 1).
#pragma once

#include <cstdint>

#include "crypto/platform.hpp"
#include "crypto/status.hpp"
#include "crypto/vlong.hpp"

struct RSAKey {
    std::int32_t privateKey;  // 0 for a public key
    vlong* e;
    vlong* n;
    // Private-key values; null in a public key.
    vlong* p;
    vlong* q;
    vlong* dP;
    vlong* dQ;
    vlong* qInv;
    PlatformMutex mutex;
};

constexpr std::uint32_t RSA_MAX_MODULUS_BYTES = 512;
// Room the caller gives RSA_getDigestFromSignature for the digest.
constexpr std::uint32_t RSA_DIGEST_OUTPUT_SIZE = 64;

CryptoStatus RSA_createKey(RSAKey** key);
CryptoStatus RSA_freeKey(RSAKey** key);
// Releases every value the key holds, leaving an empty key.
void RSA_clearKeyValues(RSAKey* key);
CryptoStatus RSA_setPublicKeyParameters(RSAKey* key, std::uint32_t exponent,
                                        const std::uint8_t* modulus, std::uint32_t modulusLength);

CryptoStatus RSA_getCipherTextLength(const RSAKey* key, std::int32_t* length);
// Applies the public key to the k signature bytes (k = modulus length) into output (k bytes),
// checks the type 1 padding and moves the payload to the start of output.
CryptoStatus RSA_verifySignature(const RSAKey* key, const std::uint8_t* signature,
                                 std::uint8_t* output, std::uint32_t* payloadLength, vlong** pool);
// The digest carried in the signature's DigestInfo (digest: 64 bytes, zero-filled after the
// digest) and its algorithm identifier (-1 for an unknown hash of a known family).
CryptoStatus RSA_getDigestFromSignature(const RSAKey* key, const std::uint8_t* signature,
                                        std::int32_t signatureLength, std::uint8_t* digest,
                                        std::uint32_t* digestLength, std::int32_t* algorithm);
