// RSA public key and signature decryption (PKCS #1 v1.5, block type 1). A key owns its values
// and releases them (wiped) itself; the mutex is created and freed with the key, never taken.
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

// A new empty key (public, no values) with its mutex, from PLATFORM_malloc. ERR_NULL_POINTER,
// ERR_MEM_ALLOC_FAIL or the mutex's status; *key is untouched on failure.
CryptoStatus RSA_createKey(RSAKey** key);
// Releases the values (wiped), the mutex and the record; sets *key to null. ERR_NULL_POINTER
// when key or *key is null.
CryptoStatus RSA_freeKey(RSAKey** key);
// Wipes and frees every value the key holds and marks it public, leaving an empty key. key must
// not be null.
void RSA_clearKeyValues(RSAKey* key);
// Replaces the key's values by e = exponent and n = the big-endian modulus (leading zeros
// allowed); the key owns the new values. ERR_RSA_NULL_KEY, ERR_BAD_EXPONENT for an exponent
// below 2 (key untouched); after that any failure (ERR_NULL_POINTER for a null modulus with a
// length, ERR_BAD_LENGTH, ERR_MEM_ALLOC_FAIL) leaves the key empty. A modulus of length 0 is
// accepted as n = 0, and n is not checked otherwise.
CryptoStatus RSA_setPublicKeyParameters(RSAKey* key, std::uint32_t exponent,
                                        const std::uint8_t* modulus, std::uint32_t modulusLength);

// The modulus length k in bytes, without leading zeros. ERR_NULL_POINTER for a null key, modulus
// or length; *length is untouched then.
CryptoStatus RSA_getCipherTextLength(const RSAKey* key, std::int32_t* length);
// Applies the public key to the k signature bytes (k = modulus length) into output (k bytes),
// checks the type 1 padding and moves the payload to the start of output; *payloadLength is its
// length. ERR_RSA_NULL_KEY, ERR_NULL_POINTER (also for a key without n),
// ERR_RSA_MODULUS_TOO_LONG over RSA_MAX_MODULUS_BYTES, ERR_RSA_EXPONENT_TOO_LONG for a missing
// e or one over 32 bits, ERR_DIVIDE_BY_ZERO for n = 0, ERR_MEM_ALLOC_FAIL, ERR_RSA_BAD_PADDING.
// Output is untouched when the arithmetic fails and holds the whole block on a padding failure.
// Lenient: a signature not below n is reduced; the block may start 00 01 or 01 (then any byte);
// at least eight 0xFF must follow, and a block that is 0xFF to its end has an empty payload.
// The values taken from *pool go back to it (signature data only); a null pool allocates and
// frees them each time, an empty one fills up. The caller empties it with VLONG_freeVlongQueue.
CryptoStatus RSA_verifySignature(const RSAKey* key, const std::uint8_t* signature,
                                 std::uint8_t* output, std::uint32_t* payloadLength, vlong** pool);
// Verifies a signature of signatureLength bytes (must equal k) and returns the digest in its
// DigestInfo: digest (64 bytes) is zero-filled and the digest copied to the front, *digestLength
// and *algorithm (a DIGEST_* value) are set. The MD2/MD4/MD5 and SHA-2 OID families and SHA-1
// (two OIDs) are known; another arc of a known family gives algorithm -1 and is accepted only
// with an empty digest. ERR_NULL_POINTER, ERR_SIGNATURE_FORMAT (length differs from k, digest
// length wrong or not last), ERR_MEM_ALLOC_FAIL (also for k = 0), the statuses of
// RSA_verifySignature, DER parse errors, ERR_DER_UNEXPECTED_ITEM, ERR_DER_OID_MISMATCH. On
// failure digest and *digestLength are untouched; *algorithm may already be set. The tags of
// the DigestInfo and its digest item are not checked. Uses and empties a pool of its own.
CryptoStatus RSA_getDigestFromSignature(const RSAKey* key, const std::uint8_t* signature,
                                        std::int32_t signatureLength, std::uint8_t* digest,
                                        std::uint32_t* digestLength, std::int32_t* algorithm);
