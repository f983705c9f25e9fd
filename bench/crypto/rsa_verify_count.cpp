// Runs RSA-2048 signature verification a given number of times with this library or mbedTLS,
// for instruction counting under callgrind (rsa_callgrind.sh subtracts a run of 1 from a run of
// 1 + N to cancel the start-up).
#include <mbedtls/rsa.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "crypto/base64.hpp"
#include "crypto/ca_mgmt.hpp"
#include "crypto/rsa.hpp"

namespace {

std::vector<std::uint8_t> readFile(const std::string& name) {
    std::ifstream in(std::string(BM_CRYPTO_TESTDATA) + "/vectors/" + name, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::vector<std::uint8_t> readHex(const std::string& name) {
    auto text = readFile(name);
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        out.push_back(static_cast<std::uint8_t>(
            std::stoul(std::string(&text[i], &text[i] + 2), nullptr, 16)));
    }
    return out;
}

bool runOurs(int count, const std::vector<std::uint8_t>& sig,
             const std::vector<std::uint8_t>& hash) {
    const auto spki = readFile("rsa2048.spki.der");
    BASE64_initializeContext();
    std::uint8_t* blob = nullptr;
    std::uint32_t blobLength = 0;
    AsymmetricKey key;
    CRYPTO_initAsymmetricKey(&key);
    bool good = CA_MGMT_publicKeyDerToKeyBlob(spki.data(), static_cast<std::uint32_t>(spki.size()),
                                              &blob, &blobLength) == OK &&
                CA_MGMT_extractKeyBlob(blob, blobLength, &key) == OK;
    CA_MGMT_freeKeyBlob(&blob);
    for (int i = 0; good && i < count; ++i) {
        std::uint8_t digest[RSA_DIGEST_OUTPUT_SIZE];
        std::uint32_t length = 0;
        std::int32_t id = 0;
        good =
            RSA_getDigestFromSignature(key.key, sig.data(), static_cast<std::int32_t>(sig.size()),
                                       digest, &length, &id) == OK &&
            length == 32 && std::memcmp(digest, hash.data(), 32) == 0;
    }
    CRYPTO_uninitAsymmetricKey(&key);
    return good;
}

bool runMbedTls(int count, const std::vector<std::uint8_t>& sig,
                const std::vector<std::uint8_t>& hash) {
    const auto n = readHex("rsa2048.n.hex");
    mbedtls_rsa_context rsa;
    mbedtls_rsa_init(&rsa, MBEDTLS_RSA_PKCS_V15, 0);
    const unsigned char e[] = {0x01, 0x00, 0x01};
    bool good = mbedtls_rsa_import_raw(&rsa, n.data(), n.size(), nullptr, 0, nullptr, 0, nullptr, 0,
                                       e, 3) == 0 &&
                mbedtls_rsa_complete(&rsa) == 0;
    for (int i = 0; good && i < count; ++i) {
        good = mbedtls_rsa_pkcs1_verify(&rsa, nullptr, nullptr, MBEDTLS_RSA_PUBLIC,
                                        MBEDTLS_MD_SHA256, 32, hash.data(), sig.data()) == 0;
    }
    mbedtls_rsa_free(&rsa);
    return good;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3 || (std::strcmp(argv[1], "ours") != 0 && std::strcmp(argv[1], "mbedtls") != 0)) {
        std::fprintf(stderr, "usage: rsa_verify_count ours|mbedtls COUNT\n");
        return 2;
    }
    const int count = std::atoi(argv[2]);
    const auto sig = readFile("rsa2048.sha256.sig");
    const auto hash = readFile("rsa2048.sha256.digest");
    bool good = std::strcmp(argv[1], "ours") == 0 ? runOurs(count, sig, hash)
                                                  : runMbedTls(count, sig, hash);
    if (!good) {
        std::fprintf(stderr, "signature refused\n");
        return 1;
    }
    return 0;
}
