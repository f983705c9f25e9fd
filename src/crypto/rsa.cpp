#include "crypto/rsa.hpp"

#include <initializer_list>
#include <iterator>

#include "crypto/asn1.hpp"
#include "crypto/mem.hpp"

namespace {

void freeValue(vlong** v) {
    if (*v != nullptr) {
        VLONG_freeVlong(v, nullptr);
    }
}

struct DigestRow {
    std::uint8_t oid[8];
    std::uint32_t oidLength;
    bool extraArc;
};

// Tried in this order; the first match decides.
constexpr DigestRow kRows[] = {
    {{0x2A, 0x86, 0x48, 0x86, 0xF7, 0x0D, 0x02}, 7, true},        // 1.2.840.113549.2.x
    {{0x60, 0x86, 0x48, 0x01, 0x65, 0x03, 0x04, 0x02}, 8, true},  // 2.16.840.1.101.3.4.2.x
    {{0x2B, 0x0E, 0x03, 0x02, 0x1A}, 5, false},                   // 1.3.14.3.2.26
    {{0x2B, 0x0E, 0x03, 0x02, 0x1D}, 5, false},                   // 1.3.14.3.2.29
};

void identify(std::size_t row, std::uint8_t arc, std::int32_t* id, std::uint32_t* length) {
    *id = -1;
    *length = 0;
    if (row == 0) {
        if (arc == 2 || arc == 4 || arc == 5) {
            *id = arc == 2 ? 2 : arc == 4 ? 3 : 4;
            *length = 16;
        }
    } else if (row == 1) {
        constexpr std::int32_t ids[] = {11, 12, 13, 14};
        constexpr std::uint32_t lengths[] = {32, 48, 64, 28};
        if (arc >= 1 && arc <= 4) {
            *id = ids[arc - 1];
            *length = lengths[arc - 1];
        }
    } else {
        *id = 5;
        *length = 20;
    }
}

// Index of the separator after the padding, or the status that refuses the block.
CryptoStatus checkPadding(const std::uint8_t* block, std::uint32_t k, std::uint32_t* separator) {
    bool typeOk = (k > 1 && block[0] == 0x00 && block[1] == 0x01) || (k > 0 && block[0] == 0x01);
    if (!typeOk || k <= 2 || block[2] != 0xFF) {
        return ERR_RSA_BAD_PADDING;
    }
    std::uint32_t i = 3;
    while (i < k && block[i] == 0xFF) {
        ++i;
    }
    if (i < k && block[i] != 0x00) {
        return ERR_RSA_BAD_PADDING;
    }
    if (i < 10) {
        return ERR_RSA_BAD_PADDING;
    }
    *separator = i;
    return OK;
}

}  // namespace

CryptoStatus RSA_createKey(RSAKey** key) {
    if (key == nullptr) {
        return ERR_NULL_POINTER;
    }
    auto* k = static_cast<RSAKey*>(PLATFORM_malloc(sizeof(RSAKey)));
    if (k == nullptr) {
        return ERR_MEM_ALLOC_FAIL;
    }
    *k = RSAKey{};
    CryptoStatus status = PLATFORM_mutexCreate(&k->mutex);
    if (status < 0) {
        PLATFORM_free(k);
        return status;
    }
    *key = k;
    return OK;
}

void RSA_clearKeyValues(RSAKey* key) {
    for (vlong** v : {&key->e, &key->n, &key->p, &key->q, &key->dP, &key->dQ, &key->qInv}) {
        freeValue(v);
    }
    key->privateKey = 0;
}

CryptoStatus RSA_freeKey(RSAKey** key) {
    if (key == nullptr || *key == nullptr) {
        return ERR_NULL_POINTER;
    }
    RSA_clearKeyValues(*key);
    PLATFORM_mutexFree(&(*key)->mutex);
    PLATFORM_free(*key);
    *key = nullptr;
    return OK;
}

CryptoStatus RSA_setPublicKeyParameters(RSAKey* key, std::uint32_t exponent,
                                        const std::uint8_t* modulus, std::uint32_t modulusLength) {
    if (key == nullptr) {
        return ERR_RSA_NULL_KEY;
    }
    if (exponent < 2) {
        return ERR_BAD_EXPONENT;
    }
    RSA_clearKeyValues(key);
    CryptoStatus status = VLONG_makeVlongFromUnsignedValue(exponent, &key->e, nullptr);
    if (status == OK) {
        status = VLONG_vlongFromByteString(modulus, static_cast<std::int32_t>(modulusLength),
                                           &key->n, nullptr);
    }
    if (status < 0) {
        RSA_clearKeyValues(key);
    }
    return status;
}

CryptoStatus RSA_getCipherTextLength(const RSAKey* key, std::int32_t* length) {
    if (key == nullptr || key->n == nullptr || length == nullptr) {
        return ERR_NULL_POINTER;
    }
    return VLONG_byteStringFromVlong(key->n, nullptr, length);
}

CryptoStatus RSA_verifySignature(const RSAKey* key, const std::uint8_t* signature,
                                 std::uint8_t* output, std::uint32_t* payloadLength, vlong** pool) {
    if (key == nullptr) {
        return ERR_RSA_NULL_KEY;
    }
    if (signature == nullptr || output == nullptr || payloadLength == nullptr) {
        return ERR_NULL_POINTER;
    }
    std::int32_t k = 0;
    CryptoStatus status = RSA_getCipherTextLength(key, &k);
    if (status < 0) {
        return status;
    }
    if (static_cast<std::uint32_t>(k) > RSA_MAX_MODULUS_BYTES) {
        return ERR_RSA_MODULUS_TOO_LONG;
    }
    if (key->e == nullptr || key->e->numUnitsUsed > 1) {
        return ERR_RSA_EXPONENT_TOO_LONG;
    }
    vlong* s = nullptr;
    vlong* m = nullptr;
    status = VLONG_vlongFromByteString(signature, k, &s, pool);
    if (status == OK) {
        status = VLONG_modexp(s, key->e, key->n, &m, pool);
    }
    if (status == OK) {
        std::int32_t width = k;
        status = VLONG_byteStringFromVlong(m, output, &width);
    }
    if (s != nullptr) {
        VLONG_freeVlong(&s, pool);
    }
    if (m != nullptr) {
        VLONG_freeVlong(&m, pool);
    }
    if (status < 0) {
        return status;
    }
    const auto size = static_cast<std::uint32_t>(k);
    std::uint32_t separator = 0;
    status = checkPadding(output, size, &separator);
    if (status < 0) {
        return status;
    }
    if (separator >= size) {  // the 0xFF run reaches the end: nothing carried
        *payloadLength = 0;
        return OK;
    }
    *payloadLength = size - separator - 1;
    for (std::uint32_t i = 0; i < *payloadLength; ++i) {
        output[i] = output[separator + 1 + i];
    }
    return OK;
}

namespace {

CryptoStatus digestFromPayload(const std::uint8_t* payload, std::uint32_t payloadLength,
                               std::uint8_t* digest, std::uint32_t* digestLength,
                               std::int32_t* algorithm) {
    MemStream stream;
    MEMSTREAM_init(&stream, payload, payloadLength);
    ASN1_ITEM* root = nullptr;
    CryptoStatus status = ASN1_parse(&stream, &root);
    if (status < 0) {
        return status;
    }
    const ASN1_ITEM* info = root->firstChild;
    ASN1_ITEM* algorithmId = nullptr;
    if (info == nullptr || info->headerSize + info->length != payloadLength ||
        ASN1_getChild(info, 1, &algorithmId) < 0) {
        status = ERR_DER_UNEXPECTED_ITEM;
    }
    std::uint32_t expected = 0;
    if (status == OK) {
        for (std::size_t row = 0; row < std::size(kRows); ++row) {
            std::uint8_t arc = 0;
            status =
                ASN1_checkAlgorithmOid(algorithmId, &stream, kRows[row].oid, kRows[row].oidLength,
                                       kRows[row].extraArc ? &arc : nullptr, nullptr);
            if (status == OK) {
                identify(row, arc, algorithm, &expected);
                break;
            }
        }
    }
    ASN1_ITEM* octets = nullptr;
    if (status == OK && ASN1_getChild(info, 2, &octets) < 0) {
        status = ERR_DER_UNEXPECTED_ITEM;
    }
    if (status == OK &&
        (octets->length != expected || octets->dataOffset + octets->length != payloadLength)) {
        status = ERR_SIGNATURE_FORMAT;
    }
    if (status == OK) {
        MEM_set(digest, 0, RSA_DIGEST_OUTPUT_SIZE);
        MEM_copy(digest, payload + octets->dataOffset, static_cast<std::int32_t>(expected));
        *digestLength = expected;
    }
    ASN1_releaseItem(&root);
    return status;
}

}  // namespace

CryptoStatus RSA_getDigestFromSignature(const RSAKey* key, const std::uint8_t* signature,
                                        std::int32_t signatureLength, std::uint8_t* digest,
                                        std::uint32_t* digestLength, std::int32_t* algorithm) {
    if (signature == nullptr || digest == nullptr || key == nullptr || algorithm == nullptr ||
        digestLength == nullptr) {
        return ERR_NULL_POINTER;
    }
    std::int32_t k = 0;
    CryptoStatus status = RSA_getCipherTextLength(key, &k);
    if (status < 0) {
        return status;
    }
    if (signatureLength != k) {
        return ERR_SIGNATURE_FORMAT;
    }
    if (k == 0) {
        return ERR_MEM_ALLOC_FAIL;
    }
    auto* buffer = static_cast<std::uint8_t*>(PLATFORM_malloc(static_cast<std::size_t>(k)));
    if (buffer == nullptr) {
        return ERR_MEM_ALLOC_FAIL;
    }
    vlong* pool = nullptr;
    std::uint32_t payloadLength = 0;
    status = RSA_verifySignature(key, signature, buffer, &payloadLength, &pool);
    if (status == OK) {
        status = digestFromPayload(buffer, payloadLength, digest, digestLength, algorithm);
    }
    VLONG_freeVlongQueue(&pool);
    PLATFORM_free(buffer);
    return status;
}
