#include "crypto/base64.hpp"
#include "crypto/ca_mgmt.hpp"
#include "crypto/platform.hpp"

namespace {

bool isLineEnd(std::uint8_t c) {
    return c == '\r' || c == '\n';
}

}  // namespace

CryptoStatus CA_MGMT_decodePem(const std::uint8_t* text, std::uint32_t length, std::uint8_t** der,
                               std::uint32_t* derLength) {
    if (text == nullptr || der == nullptr || derLength == nullptr) {
        return ERR_NULL_POINTER;
    }
    if (length == 0) {
        return ERR_MEM_ALLOC_FAIL;
    }
    auto* body = static_cast<std::uint8_t*>(PLATFORM_malloc(length));
    if (body == nullptr) {
        return ERR_MEM_ALLOC_FAIL;
    }
    std::uint32_t kept = 0;
    std::uint32_t i = 0;
    while (i < length) {
        if (text[i] == '-') {
            // Armour: the rest of the line and the line ends after it, whatever the label.
            while (i < length && !isLineEnd(text[i])) {
                ++i;
            }
            while (i < length && isLineEnd(text[i])) {
                ++i;
            }
            continue;
        }
        while (i < length && text[i] != ' ' && !isLineEnd(text[i])) {
            body[kept++] = text[i++];
        }
        while (i < length && (text[i] == ' ' || text[i] == '\t' || isLineEnd(text[i]))) {
            ++i;
        }
    }
    *der = nullptr;
    CryptoStatus status = BASE64_decodeMessage(body, kept, der, derLength);
    if (status < 0 && *der != nullptr) {
        BASE64_freeMessage(der);
    }
    PLATFORM_free(body);
    return status;
}

CryptoStatus CA_MGMT_pemPublicKeyToKeyBlob(const std::uint8_t* pem, std::uint32_t length,
                                           std::uint8_t** blob, std::uint32_t* blobLength) {
    if (pem == nullptr || blob == nullptr || blobLength == nullptr) {
        return ERR_NULL_POINTER;
    }
    std::uint8_t* der = nullptr;
    std::uint32_t derLength = 0;
    CryptoStatus status = CA_MGMT_decodePem(pem, length, &der, &derLength);
    if (status == OK) {
        status = CA_MGMT_publicKeyDerToKeyBlob(der, derLength, blob, blobLength);
    }
    if (der != nullptr) {
        BASE64_freeMessage(&der);
    }
    return status;
}
