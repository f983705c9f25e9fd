// Public key decoding: PEM armour, DER public keys (SubjectPublicKeyInfo and RSAPublicKey),
// the library's serialised key blob, and the key object they produce. An AsymmetricKey owns its
// RSAKey; DER and blobs handed out here are the caller's to free.
//
// Key blob, big-endian: 0 (4 bytes), blob version 1 (4), key type (4), RSA data version 1 (1),
// private-key flag (1), then each value as a 4-byte length and its unsigned bytes: e and n
// (a private key continues with p, q, dP, dQ, qInv).
#pragma once

#include <cstdint>

#include "crypto/rsa.hpp"
#include "crypto/status.hpp"

constexpr std::uint32_t KEY_TYPE_NONE = 0;
constexpr std::uint32_t KEY_TYPE_RSA = 1;
constexpr std::uint32_t KEY_TYPE_ECC = 2;
constexpr std::uint32_t KEY_TYPE_DSA = 3;

struct AsymmetricKey {
    std::uint32_t type;
    RSAKey* key;  // the only key record this build makes
};

// Makes an empty key (KEY_TYPE_NONE, no record). Every other call here needs a key made so.
// ERR_NULL_POINTER.
CryptoStatus CRYPTO_initAsymmetricKey(AsymmetricKey* key);
// Frees the key record (RSA_freeKey, values wiped) for any of the three key types and leaves the
// key empty. ERR_NULL_POINTER, ERR_BAD_KEY_TYPE for an unknown type with the key untouched.
CryptoStatus CRYPTO_uninitAsymmetricKey(AsymmetricKey* key);
// Empties dest, then gives it its own copy of src's RSA key (new record and values, no pool).
// dest must not be src: that empties both. An empty src leaves dest empty with OK.
// ERR_NULL_POINTER, ERR_BAD_KEY_TYPE, ERR_RSA_INCOMPLETE_PRIVATE_KEY for a private key missing
// a value, ERR_MEM_ALLOC_FAIL. dest is empty after a failure, unless the failure was a null
// pointer or dest's own unknown type (then it is untouched).
CryptoStatus CRYPTO_copyAsymmetricKey(AsymmetricKey* dest, const AsymmetricKey* src);
// Releases what the key held and makes it an empty RSA key (RSA_createKey). ERR_NULL_POINTER,
// ERR_BAD_KEY_TYPE (key untouched), or RSA_createKey's status with the key left empty.
CryptoStatus CRYPTO_createRSAKey(AsymmetricKey* key);

// Drops armour (from a '-' that starts a word to the end of its line, whatever the label),
// spaces and line ends (a tab only after one of those), then Base64-decodes the rest into *der,
// which the caller releases with BASE64_freeMessage. ERR_NULL_POINTER, ERR_MEM_ALLOC_FAIL (also
// for length 0), BASE64_decodeMessage's statuses. On failure *der is null or untouched;
// *derLength may be set.
CryptoStatus CA_MGMT_decodePem(const std::uint8_t* text, std::uint32_t length, std::uint8_t** der,
                               std::uint32_t* derLength);
// A PEM public key to a new key blob: CA_MGMT_decodePem, then CA_MGMT_publicKeyDerToKeyBlob;
// the DER in between is freed. Statuses of both; *blob is set only on success.
CryptoStatus CA_MGMT_pemPublicKeyToKeyBlob(const std::uint8_t* pem, std::uint32_t length,
                                           std::uint8_t** blob, std::uint32_t* blobLength);
// A DER public key to a new key blob in *blob (release with CA_MGMT_freeKeyBlob).
// ERR_NULL_POINTER, ERR_EC_BAD_DER for any DER the RSA parser refuses, CA_MGMT_makeKeyBlob's
// statuses; *blob is set only on success.
CryptoStatus CA_MGMT_publicKeyDerToKeyBlob(const std::uint8_t* der, std::uint32_t length,
                                           std::uint8_t** blob, std::uint32_t* blobLength);
// Reads a SubjectPublicKeyInfo (rsaEncryption, modulus at most RSA_MAX_MODULUS_BYTES after its
// leading zeros) or else an RSAPublicKey into key, which it replaces with a new RSA key. Only the
// first item of der is read; the buffer is not kept. Key untouched: ERR_NULL_POINTER, DER parse
// errors, ERR_RSA_NOT_RSA_DER for a top item that is not a SEQUENCE of two or more,
// ERR_BAD_KEY_TYPE for an unknown key type. Key left empty: ERR_MEM_ALLOC_FAIL, ERR_BAD_LENGTH,
// ERR_RSA_NOT_RSA_DER, ERR_BAD_EXPONENT, ERR_RSA_BAD_VERSION for what looks like a private key
// (never read). A failing SubjectPublicKeyInfo is retried as RSAPublicKey, so it fails with
// ERR_RSA_NOT_RSA_DER (ERR_DER_MODULUS_TOO_LONG and ERR_DER_EXPONENT_TOO_LONG never come out);
// the RSAPublicKey form has no modulus length limit. INTEGER signs are ignored.
CryptoStatus CA_MGMT_parseRsaKeyDer(const std::uint8_t* der, std::uint32_t length,
                                    AsymmetricKey* key);
// Serialises an RSA key (private values too for a private key) into a new blob in *blob, from
// PLATFORM_malloc; values are stored unsigned and without leading zeros. ERR_NULL_POINTER,
// ERR_BAD_KEY_TYPE for ECC/DSA, ERR_KEY_BLOB_UNKNOWN_KEY_TYPE for others (an empty key too),
// ERR_RSA_NULL_KEY without e or n, ERR_RSA_INCOMPLETE_PRIVATE_KEY, ERR_MEM_ALLOC_FAIL; *blob is
// set only on success.
CryptoStatus CA_MGMT_makeKeyBlob(const AsymmetricKey* key, std::uint8_t** blob,
                                 std::uint32_t* blobLength);
// Replaces key with the RSA key in the blob (public or private); bytes after the last value are
// ignored. The key is emptied first, so after any failure past ERR_NULL_POINTER and
// ERR_BAD_KEY_TYPE it is empty: ERR_BAD_KEY_BLOB (short, cut off, not RSA),
// ERR_BAD_KEY_BLOB_VERSION, ERR_BAD_LENGTH, ERR_MEM_ALLOC_FAIL.
CryptoStatus CA_MGMT_extractKeyBlob(const std::uint8_t* blob, std::uint32_t length,
                                    AsymmetricKey* key);
// Frees *blob and sets it to null; the bytes are not wiped, though a private key's blob holds its
// values. ERR_NULL_POINTER when blob or *blob is null.
CryptoStatus CA_MGMT_freeKeyBlob(std::uint8_t** blob);
