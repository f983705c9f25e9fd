// Signature verdicts against OpenSSL's PKCS #1 v1.5 SHA-256 verification under the sample
// production key. Random signatures almost never verify, so most inputs describe a valid block
// and defects in it, and the target signs the defective block with the private key (raw RSA):
// both verifiers then see a signature that opens to exactly that block.
//
// Input: mode byte, 32 hash bytes, then edits as (index, value) pairs on the 256-byte block
// 00 01 FF.. 00 DigestInfo(SHA-256, hash). Mode & 3: 0 sign the block; 1 sign it and add the
// modulus (a signature not below the modulus); 2 the rest of the input is the signature itself;
// 3 sign the block and drop or add a byte. Mode & 4 leaves out the NULL parameters.
#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "crypto/base64.hpp"
#include "security/imgsign.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr std::size_t kHash = 32;
constexpr std::size_t kBlock = 256;

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::string readFile(const char* path) {
    std::ifstream in(path);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    require(!text.empty());
    return text;
}

struct Keys {
    std::string publicPem = readFile(FUZZ_KEY_FILE);
    EVP_PKEY* pkey = nullptr;
    RSA* rsa = nullptr;

    Keys() {
        const std::string pem = readFile(FUZZ_PRIVATE_KEY_FILE);
        BIO* bio = BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size()));
        pkey = PEM_read_bio_PrivateKey(bio, nullptr, nullptr, nullptr);
        BIO_free(bio);
        require(pkey != nullptr);
        rsa = EVP_PKEY_get1_RSA(pkey);
        require(rsa != nullptr && RSA_size(rsa) == kBlock);
    }
};

const Keys& keys() {
    static const Keys k;
    return k;
}

Bytes block(const std::uint8_t* hash, bool withNull) {
    Bytes info = {0x30, 0x31, 0x30, 0x0d, 0x06, 0x09, 0x60, 0x86, 0x48, 0x01,
                  0x65, 0x03, 0x04, 0x02, 0x01, 0x05, 0x00, 0x04, 0x20};
    if (!withNull) {
        info = {0x30, 0x2f, 0x30, 0x0b, 0x06, 0x09, 0x60, 0x86, 0x48,
                0x01, 0x65, 0x03, 0x04, 0x02, 0x01, 0x04, 0x20};
    }
    info.insert(info.end(), hash, hash + kHash);
    Bytes b(kBlock - info.size(), 0xFF);
    b[0] = 0x00;
    b[1] = 0x01;
    b.back() = 0x00;
    b.insert(b.end(), info.begin(), info.end());
    return b;
}

// The private-key operation on the block; a block not below the modulus is sent as it is.
Bytes sign(const Bytes& b) {
    Bytes signature(kBlock);
    if (RSA_private_encrypt(static_cast<int>(kBlock), b.data(), signature.data(), keys().rsa,
                            RSA_NO_PADDING) != static_cast<int>(kBlock)) {
        return b;
    }
    return signature;
}

Bytes plusModulus(const Bytes& signature) {
    BIGNUM* s = BN_bin2bn(signature.data(), static_cast<int>(signature.size()), nullptr);
    BN_add(s, s, RSA_get0_n(keys().rsa));
    Bytes out = signature;
    if (BN_num_bytes(s) <= static_cast<int>(kBlock)) {
        BN_bn2binpad(s, out.data(), static_cast<int>(kBlock));
    }
    BN_free(s);
    return out;
}

bool opensslVerifies(const std::uint8_t* hash, const Bytes& signature) {
    EVP_PKEY_CTX* ctx = EVP_PKEY_CTX_new(keys().pkey, nullptr);
    bool ok = ctx != nullptr && EVP_PKEY_verify_init(ctx) == 1 &&
              EVP_PKEY_CTX_set_rsa_padding(ctx, RSA_PKCS1_PADDING) == 1 &&
              EVP_PKEY_CTX_set_signature_md(ctx, EVP_sha256()) == 1 &&
              EVP_PKEY_verify(ctx, signature.data(), signature.size(), hash, kHash) == 1;
    EVP_PKEY_CTX_free(ctx);
    return ok;
}

// Our verifier also takes the DigestInfo without the NULL parameters, which RFC 8017 lets a
// verifier accept; OpenSSL takes only the encoding with them. Recognised by opening the
// signature with the public key.
bool digestInfoWithoutNull(const std::uint8_t* hash, const Bytes& signature) {
    if (signature.size() != kBlock) {
        return false;
    }
    Bytes opened(kBlock);
    if (RSA_public_decrypt(static_cast<int>(kBlock), signature.data(), opened.data(), keys().rsa,
                           RSA_NO_PADDING) != static_cast<int>(kBlock)) {
        return false;
    }
    BIGNUM* s = BN_bin2bn(signature.data(), static_cast<int>(kBlock), nullptr);
    const bool belowModulus = BN_cmp(s, RSA_get0_n(keys().rsa)) < 0;
    BN_free(s);
    return belowModulus && opened == block(hash, false);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    require(BASE64_initializeContext() == OK);
    keys();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1 + kHash) {
        return 0;
    }
    const std::uint8_t mode = data[0];
    const std::uint8_t* hash = data + 1;
    const std::uint8_t* rest = data + 1 + kHash;
    const std::size_t restSize = size - 1 - kHash;
    Bytes signature;
    if ((mode & 3) == 2) {
        signature.assign(rest, rest + restSize);
    } else {
        Bytes b = block(hash, (mode & 4) == 0);
        for (std::size_t i = 0; i + 1 < restSize; i += 2) {
            b[rest[i]] = rest[i + 1];
        }
        signature = sign(b);
        if ((mode & 3) == 1) {
            signature = plusModulus(signature);
        } else if ((mode & 3) == 3) {
            if ((mode & 8) != 0) {
                signature.pop_back();
            } else {
                signature.push_back(mode);
            }
        }
    }
    const auto& pem = keys().publicPem;
    const bool ours =
        IMGSIGN_verifySignature(hash, kHash, signature.empty() ? hash : signature.data(),
                                static_cast<std::int32_t>(signature.size()),
                                reinterpret_cast<const std::uint8_t*>(pem.data()),
                                static_cast<std::uint32_t>(pem.size())) == OK;
    const bool theirs = opensslVerifies(hash, signature);
    ERR_clear_error();
    static const bool show = std::getenv("FUZZ_SHOW_VERDICTS") != nullptr;
    if (show) {
        std::fprintf(stderr, "verdicts: ours %d, OpenSSL %d\n", ours, theirs);
    }
    if (ours != theirs && !(ours && digestInfoWithoutNull(hash, signature))) {
        std::fprintf(stderr, "verdicts differ: ours %d, OpenSSL %d; signature:", ours, theirs);
        for (std::uint8_t c : signature) {
            std::fprintf(stderr, " %02x", c);
        }
        std::fprintf(stderr, "\n");
        std::abort();
    }
    return 0;
}
