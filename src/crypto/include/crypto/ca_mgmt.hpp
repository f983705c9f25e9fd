// Public key decoding: PEM armour, DER public keys (SubjectPublicKeyInfo and RSAPublicKey),
// the library's serialised key blob, and the key object they produce.
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

CryptoStatus CRYPTO_initAsymmetricKey(AsymmetricKey* key);
CryptoStatus CRYPTO_uninitAsymmetricKey(AsymmetricKey* key);
CryptoStatus CRYPTO_copyAsymmetricKey(AsymmetricKey* dest, const AsymmetricKey* src);
// Releases what the key held and makes it an empty RSA key.
CryptoStatus CRYPTO_createRSAKey(AsymmetricKey* key);

// Strips the armour lines and white space and Base64-decodes the rest; release *der with
// BASE64_freeMessage.
CryptoStatus CA_MGMT_decodePem(const std::uint8_t* text, std::uint32_t length, std::uint8_t** der,
                               std::uint32_t* derLength);
CryptoStatus CA_MGMT_pemPublicKeyToKeyBlob(const std::uint8_t* pem, std::uint32_t length,
                                           std::uint8_t** blob, std::uint32_t* blobLength);
CryptoStatus CA_MGMT_publicKeyDerToKeyBlob(const std::uint8_t* der, std::uint32_t length,
                                           std::uint8_t** blob, std::uint32_t* blobLength);
CryptoStatus CA_MGMT_parseRsaKeyDer(const std::uint8_t* der, std::uint32_t length,
                                    AsymmetricKey* key);
CryptoStatus CA_MGMT_makeKeyBlob(const AsymmetricKey* key, std::uint8_t** blob,
                                 std::uint32_t* blobLength);
CryptoStatus CA_MGMT_extractKeyBlob(const std::uint8_t* blob, std::uint32_t length,
                                    AsymmetricKey* key);
CryptoStatus CA_MGMT_freeKeyBlob(std::uint8_t** blob);
