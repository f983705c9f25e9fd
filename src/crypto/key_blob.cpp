#include "bytes.hpp"
#include "crypto/ca_mgmt.hpp"
#include "crypto/platform.hpp"

using namespace crypto_detail;

namespace {

constexpr std::uint32_t kHeaderSize = 14;  // up to and including the private-key flag

// Values stored in a blob, in order; the first two for a public key.
const vlong* blobValue(const RSAKey* k, int i) {
    const vlong* values[] = {k->e, k->n, k->p, k->q, k->dP, k->dQ, k->qInv};
    return values[i];
}
vlong** blobSlot(RSAKey* k, int i) {
    vlong** slots[] = {&k->e, &k->n, &k->p, &k->q, &k->dP, &k->dQ, &k->qInv};
    return slots[i];
}

}  // namespace

CryptoStatus CA_MGMT_makeKeyBlob(const AsymmetricKey* key, std::uint8_t** blob,
                                 std::uint32_t* blobLength) {
    if (key == nullptr || blob == nullptr || blobLength == nullptr) {
        return ERR_NULL_POINTER;
    }
    if (key->type != KEY_TYPE_RSA) {
        // Elliptic-curve and DSA keys are never made by this build.
        return key->type == KEY_TYPE_ECC || key->type == KEY_TYPE_DSA
                   ? ERR_BAD_KEY_TYPE
                   : ERR_KEY_BLOB_UNKNOWN_KEY_TYPE;
    }
    const RSAKey* rsa = key->key;
    if (rsa == nullptr || rsa->e == nullptr || rsa->n == nullptr) {
        return ERR_RSA_NULL_KEY;
    }
    const int count = rsa->privateKey != 0 ? 7 : 2;
    std::int32_t lengths[7] = {};
    std::uint32_t total = kHeaderSize;
    for (int i = 0; i < count; ++i) {
        if (blobValue(rsa, i) == nullptr) {
            return ERR_RSA_INCOMPLETE_PRIVATE_KEY;
        }
        VLONG_byteStringFromVlong(blobValue(rsa, i), nullptr, &lengths[i]);
        total += 4 + static_cast<std::uint32_t>(lengths[i]);
    }
    auto* out = static_cast<std::uint8_t*>(PLATFORM_malloc(total));
    if (out == nullptr) {
        return ERR_MEM_ALLOC_FAIL;
    }
    storeBe32(out, 0);
    storeBe32(out + 4, 1);
    storeBe32(out + 8, KEY_TYPE_RSA);
    out[12] = 1;
    out[13] = rsa->privateKey != 0 ? 1 : 0;
    std::uint8_t* p = out + kHeaderSize;
    for (int i = 0; i < count; ++i) {
        storeBe32(p, static_cast<std::uint32_t>(lengths[i]));
        VLONG_byteStringFromVlong(blobValue(rsa, i), p + 4, &lengths[i]);
        p += 4 + lengths[i];
    }
    *blob = out;
    *blobLength = total;
    return OK;
}

CryptoStatus CA_MGMT_extractKeyBlob(const std::uint8_t* blob, std::uint32_t length,
                                    AsymmetricKey* key) {
    if (blob == nullptr || key == nullptr) {
        return ERR_NULL_POINTER;
    }
    CryptoStatus status = CRYPTO_uninitAsymmetricKey(key);
    if (status < 0) {
        return status;
    }
    if (length < 12) {
        return ERR_BAD_KEY_BLOB;
    }
    if (loadBe32(blob) != 0) {
        return ERR_BAD_KEY_BLOB_VERSION;  // the older private-key form is not read here
    }
    if (loadBe32(blob + 4) != 1) {
        return ERR_BAD_KEY_BLOB_VERSION;
    }
    if (blob[8] != 0 || blob[9] != 0 || blob[10] != 0 || blob[11] != KEY_TYPE_RSA) {
        return ERR_BAD_KEY_BLOB;  // elliptic-curve and DSA blobs included: not built
    }
    const std::uint8_t* data = blob + 12;
    std::uint32_t remaining = length - 12;
    if (remaining < 2) {
        return ERR_BAD_KEY_BLOB;
    }
    if (data[0] != 1) {
        return ERR_BAD_KEY_BLOB_VERSION;
    }
    const bool isPrivate = data[1] != 0;
    data += 2;
    remaining -= 2;
    status = CRYPTO_createRSAKey(key);
    if (status < 0) {
        return status;
    }
    key->key->privateKey = isPrivate ? 1 : 0;
    const int count = isPrivate ? 7 : 2;
    for (int i = 0; i < count && status == OK; ++i) {
        if (remaining < 4) {
            status = ERR_BAD_KEY_BLOB;
            break;
        }
        std::uint32_t n = loadBe32(data);
        data += 4;
        remaining -= 4;
        if (n > remaining) {
            status = ERR_BAD_KEY_BLOB;
            break;
        }
        status = VLONG_vlongFromByteString(data, static_cast<std::int32_t>(n),
                                           blobSlot(key->key, i), nullptr);
        data += n;
        remaining -= n;
    }
    if (status < 0) {
        CRYPTO_uninitAsymmetricKey(key);
    }
    return status;
}

CryptoStatus CA_MGMT_freeKeyBlob(std::uint8_t** blob) {
    if (blob == nullptr || *blob == nullptr) {
        return ERR_NULL_POINTER;
    }
    PLATFORM_free(*blob);
    *blob = nullptr;
    return OK;
}
