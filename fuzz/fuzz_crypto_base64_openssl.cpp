// Base64 decoding against OpenSSL's EVP_DecodeBlock. The input is the text. Our decoder accepts
// exactly: groups of four, each starting with two alphabet characters; the first group whose
// third character is outside the alphabet must be the last and have "=" there (one byte, the
// fourth character unread); the first group whose fourth character is outside it must be the
// last and have "=" there (two bytes). Such texts must decode to OpenSSL's bytes, every other
// text must be refused. EVP_DecodeBlock reads "=" as zero bits and writes whole groups, so its
// output is compared up to our length.
#include <openssl/evp.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "crypto/base64.hpp"

namespace {

bool inAlphabet(std::uint8_t c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/';
}

// The decoded length the rules above give, or nothing for a text they refuse.
std::optional<std::size_t> acceptedLength(const std::uint8_t* text, std::size_t length) {
    if (length < 4 || length % 4 != 0) {
        return std::nullopt;
    }
    for (std::size_t g = 0; g < length; g += 4) {
        const bool last = g + 4 == length;
        if (!inAlphabet(text[g]) || !inAlphabet(text[g + 1])) {
            return std::nullopt;
        }
        if (!inAlphabet(text[g + 2])) {
            return text[g + 2] == '=' && last ? std::optional(length / 4 * 3 - 2) : std::nullopt;
        }
        if (!inAlphabet(text[g + 3])) {
            return text[g + 3] == '=' && last ? std::optional(length / 4 * 3 - 1) : std::nullopt;
        }
    }
    return length / 4 * 3;
}

void fail(const char* why, const std::uint8_t* data, std::size_t size) {
    std::fprintf(stderr, "%s; input:", why);
    for (std::size_t i = 0; i < size; ++i) {
        std::fprintf(stderr, " %02x", data[i]);
    }
    std::fprintf(stderr, "\n");
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (BASE64_initializeContext() != OK) {
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size copy, so a read past the text is caught.
    const std::vector<std::uint8_t> text(data, data + size);
    std::uint8_t* out = nullptr;
    std::uint32_t outLength = 0;
    const CryptoStatus status = BASE64_decodeMessage(
        text.empty() ? data : text.data(), static_cast<std::uint32_t>(size), &out, &outLength);
    const std::optional<std::size_t> expected = acceptedLength(text.data(), size);
    if (!expected) {
        if (status == OK) {
            fail("decoded a text the rules refuse", data, size);
        }
    } else if (status != OK) {
        fail("refused a text the rules accept", data, size);
    } else if (outLength != *expected) {
        fail("decoded length differs", data, size);
    } else {
        // The fourth character of a group ending "=" is not read: OpenSSL sees "==" there.
        std::vector<std::uint8_t> canonical = text;
        if (canonical[size - 2] == '=') {
            canonical[size - 1] = '=';
        }
        std::vector<std::uint8_t> theirs(size / 4 * 3);
        const int n = EVP_DecodeBlock(theirs.data(), canonical.data(), static_cast<int>(size));
        if (n != static_cast<int>(theirs.size())) {
            fail("OpenSSL refused a text the rules accept", data, size);
        }
        if (std::memcmp(out, theirs.data(), outLength) != 0) {
            fail("decoded bytes differ", data, size);
        }
    }
    if (out != nullptr) {
        BASE64_freeMessage(&out);
    }
    return 0;
}
