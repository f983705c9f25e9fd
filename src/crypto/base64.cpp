#include "crypto/base64.hpp"

#include "crypto/platform.hpp"

namespace {

// Entry c: 0 outside the alphabet, else the character's value plus 1.
std::uint8_t* g_decodeTable = nullptr;

}  // namespace

CryptoStatus BASE64_initializeContext() {
    auto* table = static_cast<std::uint8_t*>(PLATFORM_malloc(256));
    if (table == nullptr) {
        return ERR_MEM_ALLOC_FAIL;
    }
    const char* alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    for (int i = 0; i < 256; ++i) {
        table[i] = 0;
    }
    for (int i = 0; i < 64; ++i) {
        table[static_cast<std::uint8_t>(alphabet[i])] = static_cast<std::uint8_t>(i + 1);
    }
    PLATFORM_free(g_decodeTable);
    g_decodeTable = table;
    return OK;
}

CryptoStatus BASE64_decodeMessage(const std::uint8_t* text, std::uint32_t length,
                                  std::uint8_t** output, std::uint32_t* outputLength) {
    if (text == nullptr || output == nullptr || outputLength == nullptr) {
        return ERR_NULL_POINTER;
    }
    if (g_decodeTable == nullptr) {
        return ERR_BASE64_NOT_INITIALISED;
    }
    if (length < 4 || length % 4 != 0) {
        return ERR_BASE64_BAD_INPUT;
    }
    std::uint32_t size = length / 4 * 3;
    auto* out = static_cast<std::uint8_t*>(PLATFORM_malloc(size));
    if (out == nullptr) {
        return ERR_MEM_ALLOC_FAIL;
    }
    *output = out;
    *outputLength = size;
    const std::uint8_t* table = g_decodeTable;
    for (std::uint32_t g = 0; g < length; g += 4) {
        const bool last = g + 4 == length;
        std::uint32_t v0 = table[text[g]];
        std::uint32_t v1 = table[text[g + 1]];
        std::uint32_t v2 = table[text[g + 2]];
        std::uint32_t v3 = table[text[g + 3]];
        if (v0 == 0 || v1 == 0) {
            return ERR_BASE64_BAD_INPUT;
        }
        std::uint32_t bits = ((v0 - 1) << 18) | ((v1 - 1) << 12);
        if (v2 == 0) {
            if (text[g + 2] != '=' || !last) {
                return ERR_BASE64_BAD_INPUT;
            }
            *out = static_cast<std::uint8_t>(bits >> 16);
            *outputLength -= 2;
            break;
        }
        bits |= (v2 - 1) << 6;
        if (v3 == 0) {
            if (text[g + 3] != '=' || !last) {
                return ERR_BASE64_BAD_INPUT;
            }
            out[0] = static_cast<std::uint8_t>(bits >> 16);
            out[1] = static_cast<std::uint8_t>(bits >> 8);
            *outputLength -= 1;
            break;
        }
        bits |= v3 - 1;
        out[0] = static_cast<std::uint8_t>(bits >> 16);
        out[1] = static_cast<std::uint8_t>(bits >> 8);
        out[2] = static_cast<std::uint8_t>(bits);
        out += 3;
    }
    return OK;
}

CryptoStatus BASE64_freeMessage(std::uint8_t** output) {
    if (output == nullptr || *output == nullptr) {
        return ERR_NULL_POINTER;
    }
    PLATFORM_free(*output);
    *output = nullptr;
    return OK;
}
