// The first byte chooses the decoder: a serialised key blob, or a DER public key turned into a
// blob; a blob that decoding produced must extract again into the same key.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "crypto/ca_mgmt.hpp"

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

void extractAndCheck(const std::uint8_t* blob, std::uint32_t length, bool mustSucceed) {
    AsymmetricKey key;
    CRYPTO_initAsymmetricKey(&key);
    CryptoStatus status = CA_MGMT_extractKeyBlob(blob, length, &key);
    require(!mustSucceed || status == OK);
    if (status == OK && key.key != nullptr) {
        std::int32_t k = 0;
        RSA_getCipherTextLength(key.key, &k);
        std::uint8_t* again = nullptr;
        std::uint32_t againLength = 0;
        if (CA_MGMT_makeKeyBlob(&key, &again, &againLength) == OK && mustSucceed) {
            require(againLength == length && std::memcmp(again, blob, length) == 0);
        }
        CA_MGMT_freeKeyBlob(&again);
    }
    CRYPTO_uninitAsymmetricKey(&key);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::uint8_t* rest = data + 1;
    const auto length = static_cast<std::uint32_t>(size - 1);
    if (data[0] & 1) {
        std::uint8_t* blob = nullptr;
        std::uint32_t blobLength = 0;
        if (CA_MGMT_publicKeyDerToKeyBlob(rest, length, &blob, &blobLength) == OK) {
            extractAndCheck(blob, blobLength, true);
        }
        CA_MGMT_freeKeyBlob(&blob);
    } else {
        extractAndCheck(rest, length, false);
    }
    return 0;
}
