// Signatures made by OpenSSL with the sample production key, checked by our verification over our
// SHA-256.
#include <gtest/gtest.h>

#include <array>
#include <random>
#include <vector>

#include "security/imgsign.hpp"
#include "signer.hpp"
#include "test_files.hpp"

namespace {

const std::string kProduction = sectest::sample_key("sample_production_key.pub.pem");

CryptoStatus verify(const std::vector<std::uint8_t>& payload,
                    const std::vector<std::uint8_t>& signature,
                    const std::string& key = kProduction, std::int32_t hash_length = 0) {
    std::array<std::uint8_t, 32> hash{};
    std::uint32_t length = 0;
    EXPECT_EQ(IMGSIGN_computeSHA256(payload.data(), static_cast<std::uint32_t>(payload.size()),
                                    hash.data(), &length),
              OK);
    return IMGSIGN_verifySignature(
        hash.data(), hash_length != 0 ? hash_length : static_cast<std::int32_t>(length),
        signature.data(), static_cast<std::int32_t>(signature.size()), sectest::bytes(key),
        static_cast<std::uint32_t>(key.size()));
}

// The digest over every length is the crypto library's, checked against OpenSSL there; here
// one payload of several blocks, with its first, last and an inner byte changed in turn.
TEST(OpensslSignatures, PassAndFailForAnyChangedByte) {
    std::mt19937 rng(6);
    std::vector<std::uint8_t> payload(70001);
    for (auto& byte : payload) {
        byte = static_cast<std::uint8_t>(rng());
    }
    const auto signature = sectest::sign("production", payload);
    ASSERT_EQ(verify(payload, signature), OK);
    for (const std::size_t at : {std::size_t{0}, payload.size() - 1, std::size_t{40000}}) {
        payload[at] ^= 0x10;
        EXPECT_EQ(verify(payload, signature), ERR_RSA_SIGNATURE_MISMATCH) << "byte " << at;
        payload[at] ^= 0x10;
    }
}

TEST(OpensslSignatures, AnotherHashLengthOrKeyFails) {
    const std::vector<std::uint8_t> payload(1000, 0x5A);
    const auto signature = sectest::sign("production", payload);
    EXPECT_EQ(verify(payload, signature, kProduction, 31), ERR_RSA_SIGNATURE_MISMATCH);
    EXPECT_EQ(verify(payload, signature, kProduction, 33), ERR_RSA_SIGNATURE_MISMATCH);
    EXPECT_EQ(verify(payload, signature, sectest::sample_key("sample_development_key.pub.pem")),
              ERR_RSA_BAD_PADDING);
}

}  // namespace
