#include "security/imgsign.hpp"

#include <array>
#include <cstdio>

#include "crypto/digest.hpp"
#include "crypto/mem.hpp"
#include "crypto/rsa.hpp"
#include "crypto/vlong.hpp"
#include "pkcs1_exact.hpp"
#include "trace.hpp"

namespace {

// The key object of a conversion, released on every path out.
class TempKey {
public:
    TempKey() { CRYPTO_initAsymmetricKey(&key_); }
    TempKey(const TempKey&) = delete;
    TempKey& operator=(const TempKey&) = delete;
    ~TempKey() { CRYPTO_uninitAsymmetricKey(&key_); }
    AsymmetricKey* get() { return &key_; }

private:
    AsymmetricKey key_{};
};

}  // namespace

void IMGSIGN_dumpHex(const std::uint8_t* bytes, std::int32_t length) {
    if (!imgsign_trace::enabled(IMGSIGN_TRACE)) {
        return;
    }
    char text[24];
    std::snprintf(text, sizeof text, "length = %d", static_cast<int>(length));
    imgsign_trace::text(IMGSIGN_TRACE, text);
    imgsign_trace::end_line(IMGSIGN_TRACE);
    for (std::int32_t i = 0; i < length; ++i) {
        std::snprintf(text, sizeof text, "%02x ", static_cast<unsigned>(bytes[i]));
        imgsign_trace::text(IMGSIGN_TRACE, text);
        if (i % 16 == 15 || i == length - 1) {
            imgsign_trace::end_line(IMGSIGN_TRACE);
        }
    }
}

void IMGSIGN_dumpKey(const AsymmetricKey* key) {
    if (!imgsign_trace::enabled(IMGSIGN_TRACE) || key == nullptr || key->type != KEY_TYPE_RSA ||
        key->key == nullptr) {
        return;
    }
    std::array<std::uint8_t, 1024> modulus{};
    std::array<std::uint8_t, 1024> exponent{};
    std::int32_t modulusLength = 0;
    std::int32_t exponentLength = 0;
    CryptoStatus status = VLONG_byteStringFromVlong(key->key->e, nullptr, &exponentLength);
    if (status == OK) {
        status = VLONG_byteStringFromVlong(key->key->e, exponent.data(), &exponentLength);
    }
    if (status == OK) {
        status = VLONG_byteStringFromVlong(key->key->n, nullptr, &modulusLength);
    }
    if (status == OK) {
        status = VLONG_byteStringFromVlong(key->key->n, modulus.data(), &modulusLength);
    }
    if (status != OK) {
        imgsign_trace::text(IMGSIGN_TRACE, "Call VLONG_byteStringFromVlong failed\n");
        return;
    }
    char text[64];
    std::snprintf(text, sizeof text, "key type = %u, private key = %d",
                  static_cast<unsigned>(key->type), static_cast<int>(key->key->privateKey));
    imgsign_trace::text(IMGSIGN_TRACE, text);
    imgsign_trace::end_line(IMGSIGN_TRACE);
    imgsign_trace::text(IMGSIGN_TRACE, "Modulus: ");
    IMGSIGN_dumpHex(modulus.data(), modulusLength);
    imgsign_trace::text(IMGSIGN_TRACE, "Exponent: ");
    IMGSIGN_dumpHex(exponent.data(), exponentLength);
}

CryptoStatus IMGSIGN_computeSHA256(const std::uint8_t* data, std::uint32_t length,
                                   std::uint8_t* digest, std::uint32_t* digestLength) {
    if (data == nullptr || digest == nullptr || digestLength == nullptr) {
        return ERR_NULL_POINTER;
    }
    *digestLength = 0;
    std::array<std::uint8_t, 64> scratch{};
    std::uint32_t produced = 0;
    const CryptoStatus status =
        CRYPTO_computeDigest(data, length, scratch.data(), &produced, DIGEST_SHA256);
    if (status >= 0) {
        *digestLength = produced;
        if (produced > 0) {
            MEM_copy(digest, scratch.data(), static_cast<std::int32_t>(produced));
        }
    }
    imgsign_trace::text(IMGSIGN_TRACE, "IMGSIGN_computeSHA256: ");
    if (status == OK) {
        IMGSIGN_dumpHex(digest, static_cast<std::int32_t>(*digestLength));
    } else {
        imgsign_trace::status(IMGSIGN_TRACE, status);
    }
    return status;
}

CryptoStatus CA_MGMT_convertPublicKey(const std::uint8_t* keyText, std::uint32_t keyTextLength,
                                      AsymmetricKey* key) {
    imgsign_trace::text(IMGSIGN_TRACE, "CA_MGMT_convertPublicKey: ");
    std::uint8_t* blob = nullptr;
    std::uint32_t blobLength = 0;
    CryptoStatus result = ERR_NULL_POINTER;
    if (keyText != nullptr) {
        result = CA_MGMT_pemPublicKeyToKeyBlob(keyText, keyTextLength, &blob, &blobLength);
        if (result < 0) {
            result = CA_MGMT_publicKeyDerToKeyBlob(keyText, keyTextLength, &blob, &blobLength);
        }
    }
    if (result >= 0) {
        TempKey temporary;
        result = CA_MGMT_extractKeyBlob(blob, blobLength, temporary.get());
        if (result >= 0) {
            IMGSIGN_dumpKey(temporary.get());
            if (key != nullptr) {
                CRYPTO_initAsymmetricKey(key);
                result = CRYPTO_copyAsymmetricKey(key, temporary.get());
            }
        }
    }
    if (blob != nullptr) {
        CA_MGMT_freeKeyBlob(&blob);
    }
    if (result < 0) {
        imgsign_trace::status(IMGSIGN_TRACE, result);
    }
    return result;
}

CryptoStatus IMGSIGN_verifySignature(const std::uint8_t* hash, std::int32_t hashLength,
                                     const std::uint8_t* signature, std::int32_t signatureLength,
                                     const std::uint8_t* keyText, std::uint32_t keyTextLength) {
    if (hash == nullptr || signature == nullptr || keyText == nullptr) {
        return ERR_NULL_POINTER;
    }
    TempKey key;
    CryptoStatus status = CA_MGMT_convertPublicKey(keyText, keyTextLength, key.get());
    if (status < 0) {
        imgsign_trace::text(IMGSIGN_TRACE, "IMGSIGN_verifySignature: ");
        imgsign_trace::status(IMGSIGN_TRACE, status);
        return status;
    }
    std::array<std::uint8_t, RSA_DIGEST_OUTPUT_SIZE> extracted{};
    std::uint32_t extractedLength = 0;
    std::int32_t algorithm = 0;
    status = RSA_getDigestFromSignature(key.get()->key, signature, signatureLength,
                                        extracted.data(), &extractedLength, &algorithm);
    // The RSA layer's lenient reading only establishes its own failures; acceptance needs the
    // exact encoding, so a signature that merely carries the right bytes somewhere fails.
    if (status == OK) {
        status = pkcs1_sha256_exact(key.get()->key, hash, hashLength, signature, signatureLength);
    }
    imgsign_trace::text(IMGSIGN_TRACE, "IMGSIGN_verifySignature: ");
    if (status == OK) {
        imgsign_trace::text(IMGSIGN_TRACE, "signature ");
        IMGSIGN_dumpHex(signature, signatureLength);
        imgsign_trace::text(IMGSIGN_TRACE, "decrypted signature ");
        IMGSIGN_dumpHex(extracted.data(), static_cast<std::int32_t>(extractedLength));
    } else {
        imgsign_trace::status(IMGSIGN_TRACE, status);
    }
    return status;
}
