// Signature verification through the signing layer with a fixed public key. The input's first
// byte picks the key: the sample production key, or the same modulus with exponent 1, under
// which the signature opens to itself so that the padding and DigestInfo checks see the
// fuzzer's bytes directly. The next 32 bytes are the hash, the rest the signature.
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "crypto/base64.hpp"
#include "crypto/rsa.hpp"
#include "crypto/vlong.hpp"
#include "security/imgsign.hpp"

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

constexpr std::size_t kHash = 32;

std::string production_key() {
    std::ifstream in(FUZZ_KEY_FILE);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    require(!text.empty());
    return text;
}

// DER length octets for lengths below 65536.
void put_length(std::vector<std::uint8_t>& out, std::size_t length) {
    if (length < 0x80) {
        out.push_back(static_cast<std::uint8_t>(length));
    } else if (length < 0x100) {
        out.insert(out.end(), {0x81, static_cast<std::uint8_t>(length)});
    } else {
        out.insert(out.end(), {0x82, static_cast<std::uint8_t>(length >> 8),
                               static_cast<std::uint8_t>(length)});
    }
}

std::vector<std::uint8_t> tlv(std::uint8_t tag, const std::vector<std::uint8_t>& body) {
    std::vector<std::uint8_t> out{tag};
    put_length(out, body.size());
    out.insert(out.end(), body.begin(), body.end());
    return out;
}

// SubjectPublicKeyInfo of an RSA key with the production key's modulus and exponent 1.
std::vector<std::uint8_t> identity_key(const std::string& pem) {
    AsymmetricKey key{};
    require(CA_MGMT_convertPublicKey(reinterpret_cast<const std::uint8_t*>(pem.data()),
                                     static_cast<std::uint32_t>(pem.size()), &key) == OK);
    std::int32_t length = 0;
    require(VLONG_byteStringFromVlong(key.key->n, nullptr, &length) == OK);
    std::vector<std::uint8_t> modulus(static_cast<std::size_t>(length) + 1, 0);
    require(VLONG_byteStringFromVlong(key.key->n, modulus.data() + 1, &length) == OK);
    CRYPTO_uninitAsymmetricKey(&key);
    std::vector<std::uint8_t> numbers = tlv(0x02, modulus);
    const auto exponent = tlv(0x02, {0x01});
    numbers.insert(numbers.end(), exponent.begin(), exponent.end());
    std::vector<std::uint8_t> bits{0x00};
    const auto rsa = tlv(0x30, numbers);
    bits.insert(bits.end(), rsa.begin(), rsa.end());
    std::vector<std::uint8_t> info =
        tlv(0x30, {0x06, 0x09, 0x2a, 0x86, 0x48, 0x86, 0xf7, 0x0d, 0x01, 0x01, 0x01, 0x05, 0x00});
    const auto bitstring = tlv(0x03, bits);
    info.insert(info.end(), bitstring.begin(), bitstring.end());
    return tlv(0x30, info);
}

// The one block a signer makes for hash, with or without the NULL parameters.
std::vector<std::uint8_t> encoded(const std::vector<std::uint8_t>& hash, bool with_null) {
    std::vector<std::uint8_t> info{0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48,
                                   0x01, 0x65, 0x03, 0x04, 0x02, 0x01};
    if (with_null) {
        info.insert(info.end(), {0x05, 0x00});
    } else {
        info[1] = 0x0b;
    }
    const auto digest = tlv(0x04, hash);
    info.insert(info.end(), digest.begin(), digest.end());
    const auto digest_info = tlv(0x30, info);
    std::vector<std::uint8_t> block(256 - digest_info.size(), 0xFF);
    block[0] = 0x00;
    block[1] = 0x01;
    block.back() = 0x00;
    block.insert(block.end(), digest_info.begin(), digest_info.end());
    return block;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    require(BASE64_initializeContext() == OK);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::string pem = production_key();
    static const std::vector<std::uint8_t> identity = identity_key(pem);
    if (size < 1 + kHash) {
        return 0;
    }
    // Exact-size copies, so that a read past either buffer is caught.
    const std::vector<std::uint8_t> hash(data + 1, data + 1 + kHash);
    const std::vector<std::uint8_t> signature(data + 1 + kHash, data + size);
    const bool use_identity = (data[0] & 1) != 0;
    const std::uint8_t* key_text =
        use_identity ? identity.data() : reinterpret_cast<const std::uint8_t*>(pem.data());
    const auto key_length = static_cast<std::uint32_t>(use_identity ? identity.size() : pem.size());
    const CryptoStatus status =
        IMGSIGN_verifySignature(hash.data(), static_cast<std::int32_t>(hash.size()),
                                signature.empty() ? hash.data() : signature.data(),
                                static_cast<std::int32_t>(signature.size()), key_text, key_length);
    require(status <= OK);
    // Only a full-length signature can verify.
    require(status != OK || signature.size() == 256);
    // Under exponent 1 the signature is the block: only the exact encodings may pass.
    if (status == OK && use_identity) {
        require(signature == encoded(hash, true) || signature == encoded(hash, false));
    }
    return 0;
}
