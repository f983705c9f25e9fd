// RSA public keys from DER: SubjectPublicKeyInfo first, then RSAPublicKey.
#include "crypto/asn1.hpp"
#include "crypto/ca_mgmt.hpp"

namespace {

bool isUniversal(const ASN1_ITEM* item, std::uint32_t tag) {
    return item != nullptr && (item->id & CLASS_MASK) == UNIVERSAL && item->tag == tag;
}

// rsaEncryption is 1.2.840.113549.1.1.1: this prefix and the arc 1.
constexpr std::uint8_t kPkcs1Prefix[] = {0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x01, 0x01};

CryptoStatus readSubjectPublicKeyInfo(const ASN1_ITEM* algorithm, const ASN1_ITEM* bits,
                                      const MemStream* stream, RSAKey* key) {
    std::uint8_t arc = 0;
    CryptoStatus status =
        ASN1_checkAlgorithmOid(algorithm, stream, kPkcs1Prefix, sizeof kPkcs1Prefix, &arc, nullptr);
    if (status < 0) {
        return status;
    }
    if (arc != 1) {
        return ERR_DER_OID_MISMATCH;
    }
    if (!isUniversal(bits, BITSTRING) || bits->encapsulates == 0) {
        return ERR_DER_UNEXPECTED_ITEM;
    }
    const ASN1_ITEM* inner = bits->firstChild;
    if (!isUniversal(inner, SEQUENCE)) {
        return ERR_DER_UNEXPECTED_ITEM;
    }
    const ASN1_ITEM* modulus = inner->firstChild;
    if (!isUniversal(modulus, INTEGER)) {
        return ERR_DER_UNEXPECTED_ITEM;
    }
    const std::uint8_t* n = nullptr;
    status = MEMSTREAM_access(stream, modulus->dataOffset, modulus->length, &n);
    if (status < 0) {
        return status;
    }
    std::uint32_t nLength = modulus->length;
    while (nLength > 0 && *n == 0) {
        ++n;
        --nLength;
    }
    if (nLength > RSA_MAX_MODULUS_BYTES) {
        return ERR_DER_MODULUS_TOO_LONG;
    }
    const ASN1_ITEM* exponent = modulus->next;
    if (!isUniversal(exponent, INTEGER)) {
        return ERR_DER_UNEXPECTED_ITEM;
    }
    if (exponent->length > 4) {
        return ERR_DER_EXPONENT_TOO_LONG;
    }
    return RSA_setPublicKeyParameters(key, exponent->value, n, nLength);
}

CryptoStatus readRsaPublicKey(const ASN1_ITEM* modulus, const ASN1_ITEM* exponent,
                              const MemStream* stream, RSAKey* key) {
    if (!isUniversal(modulus, INTEGER) || !isUniversal(exponent, INTEGER) || exponent->length > 4) {
        return ERR_RSA_NOT_RSA_DER;
    }
    const std::uint8_t* n = nullptr;
    CryptoStatus status = MEMSTREAM_access(stream, modulus->dataOffset, modulus->length, &n);
    if (status < 0) {
        return status;
    }
    return RSA_setPublicKeyParameters(key, exponent->value, n, modulus->length);
}

CryptoStatus parseTree(const ASN1_ITEM* top, const MemStream* stream, AsymmetricKey* key) {
    ASN1_ITEM* first = nullptr;
    ASN1_ITEM* second = nullptr;
    if (!isUniversal(top, SEQUENCE) || ASN1_getChild(top, 1, &first) < 0 ||
        ASN1_getChild(top, 2, &second) < 0) {
        return ERR_RSA_NOT_RSA_DER;
    }
    CryptoStatus status = CRYPTO_createRSAKey(key);
    if (status < 0) {
        return status;
    }
    if (ASN1_childCount(top) >= 3) {
        // An RSAPrivateKey: this build reads public keys only.
        status = isUniversal(first, INTEGER) && first->length <= 4 && first->value > 1
                     ? ERR_RSA_BAD_VERSION
                     : ERR_RSA_NOT_RSA_DER;
    } else if (readSubjectPublicKeyInfo(first, second, stream, key->key) < 0) {
        status = readRsaPublicKey(first, second, stream, key->key);
    }
    if (status < 0) {
        CRYPTO_uninitAsymmetricKey(key);
    }
    return status;
}

}  // namespace

CryptoStatus CA_MGMT_parseRsaKeyDer(const std::uint8_t* der, std::uint32_t length,
                                    AsymmetricKey* key) {
    if (der == nullptr || key == nullptr) {
        return ERR_NULL_POINTER;
    }
    MemStream stream;
    MEMSTREAM_init(&stream, der, length);
    ASN1_ITEM* root = nullptr;
    CryptoStatus status = ASN1_parse(&stream, &root);
    if (status < 0) {
        return status;
    }
    status = parseTree(root->firstChild, &stream, key);
    ASN1_releaseItem(&root);
    return status;
}

CryptoStatus CA_MGMT_publicKeyDerToKeyBlob(const std::uint8_t* der, std::uint32_t length,
                                           std::uint8_t** blob, std::uint32_t* blobLength) {
    AsymmetricKey key;
    CRYPTO_initAsymmetricKey(&key);
    if (der == nullptr || blob == nullptr || blobLength == nullptr) {
        return ERR_NULL_POINTER;
    }
    CryptoStatus status = CA_MGMT_parseRsaKeyDer(der, length, &key);
    if (status < 0) {
        // Elliptic-curve keys are the other form a key text may hold; this build has none.
        return ERR_EC_BAD_DER;
    }
    status = CA_MGMT_makeKeyBlob(&key, blob, blobLength);
    CRYPTO_uninitAsymmetricKey(&key);
    return status;
}
