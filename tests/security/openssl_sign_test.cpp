// Signatures made by OpenSSL with the sample production key, checked by our verification over our
// SHA-256.
#include <gtest/gtest.h>

#include <array>
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

// A changed payload is refused on the switch (policy_test) and by imgtool verify; here what the
// check refuses before it compares the digest.
TEST(OpensslSignatures, AnotherHashLengthOrKeyFails) {
    const std::vector<std::uint8_t> payload(1000, 0x5A);
    const auto signature = sectest::sign("production", payload);
    ASSERT_EQ(verify(payload, signature), OK);
    EXPECT_EQ(verify(payload, signature, kProduction, 31), ERR_RSA_SIGNATURE_MISMATCH);
    EXPECT_EQ(verify(payload, signature, kProduction, 33), ERR_RSA_SIGNATURE_MISMATCH);
    EXPECT_EQ(verify(payload, signature, sectest::sample_key("sample_development_key.pub.pem")),
              ERR_RSA_BAD_PADDING);
}

}  // namespace
