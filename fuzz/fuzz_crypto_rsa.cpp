// Signature decryption with a fixed 2048-bit modulus. The first byte picks the exponent and the
// framing: with the exponent 1 the signature is the padded block itself, so the padding check and
// the DigestInfo parser see the fuzzer's bytes directly; with 65537 they see modexp output. When
// framed, the rest of the input is the payload behind a valid type 1 padding.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "crypto/rsa.hpp"

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

// An arbitrary odd 2048-bit value: only its length and top byte matter here.
constexpr char kModulusHex[] =
    "c5062f4ed2f3c7ba1fbd6c1dc9a4d65e1a3a58c2f0d1bb0e6f3f1ba45c1e6bca"
    "9f3ae1d76e0e2b6d1a8f5e0b33cd4f1e7c21bd8a5ac9e51f3b0f5c8b8c41d2a7"
    "3b12e86f2f0dc8e4fa6d19c9b5a0d2ef7b1a63a4e3d1b8cd0a91e5c5e6f08127"
    "d4a3e6b9f1c0725e8b46ad1f7e9c0b3d25a8e6f4c1b79d03e2a5f86c7b1d4e93"
    "0f2b6c8d4e1a7f35c9b2d6e0a84f1c7b3e5d9a2f6c0b4e8d1a7f3c5b9e2d6a0f"
    "84c1b7e3d5a9f2c6b0e4d8a1f7c3b5e9d2a6f0c4b8e1d7a3f5c9b2e6d0a4f8c1"
    "b7e3d5a9f2c6b0e4d8a1f7c3b5e9d2a6f0c4b8e1d7a3f5c9b2e6d0a4f8c1b7e3"
    "d5a9f2c6b0e4d8a1f7c3b5e9d2a6f0c4b8e1d7a3f5c9b2e6d0a4f8c1b7e3d5a9";

std::vector<std::uint8_t> modulusBytes() {
    std::vector<std::uint8_t> bytes;
    for (std::size_t i = 0; i + 1 < sizeof kModulusHex; i += 2) {
        auto nibble = [](char c) { return c <= '9' ? c - '0' : c - 'a' + 10; };
        bytes.push_back(
            static_cast<std::uint8_t>(nibble(kModulusHex[i]) << 4 | nibble(kModulusHex[i + 1])));
    }
    return bytes;
}

RSAKey* makeKey(bool identity) {
    static const std::vector<std::uint8_t> n = modulusBytes();
    RSAKey* key = nullptr;
    require(RSA_createKey(&key) == OK);
    require(RSA_setPublicKeyParameters(key, 65537, n.data(),
                                       static_cast<std::uint32_t>(n.size())) == OK);
    if (identity) {
        require(VLONG_setVlongUnit(key->e, 0, 1) == OK);
    }
    return key;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static RSAKey* const identityKey = makeKey(true);
    static RSAKey* const publicKey = makeKey(false);
    if (size == 0) {
        return 0;
    }
    RSAKey* key = data[0] & 1 ? identityKey : publicKey;
    std::vector<std::uint8_t> signature(data + 1, data + size);
    if (data[0] & 2) {
        constexpr std::size_t k = 256;
        const std::size_t payload = signature.size() < k - 11 ? signature.size() : k - 11;
        std::vector<std::uint8_t> block(k, 0xFF);
        block[0] = 0x00;
        block[1] = 0x01;
        block[k - payload - 1] = 0x00;
        std::copy(signature.begin(), signature.begin() + static_cast<std::ptrdiff_t>(payload),
                  block.end() - static_cast<std::ptrdiff_t>(payload));
        signature = std::move(block);
    }
    std::uint8_t digest[RSA_DIGEST_OUTPUT_SIZE];
    std::uint32_t digestLength = 0;
    std::int32_t algorithm = 0;
    CryptoStatus status = RSA_getDigestFromSignature(key, signature.data(),
                                                     static_cast<std::int32_t>(signature.size()),
                                                     digest, &digestLength, &algorithm);
    if (status == OK) {
        require(digestLength <= RSA_DIGEST_OUTPUT_SIZE);
        for (std::uint32_t i = digestLength; i < RSA_DIGEST_OUTPUT_SIZE; ++i) {
            require(digest[i] == 0);
        }
    }
    return 0;
}
