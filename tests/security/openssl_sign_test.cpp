// Signatures made by OpenSSL with the sample production key, checked by our verification over our
// SHA-256.
#include <gtest/gtest.h>

#include <vector>

#include "signer.hpp"
#include "test_files.hpp"

namespace {

const std::string kProduction = sectest::sample_key("sample_production_key.pub.pem");

// A changed payload is refused on the switch (policy_test) and by imgtool verify; here what the
// check refuses before it compares the digest.
TEST(OpensslSignatures, AnotherHashLengthOrKeyFails) {
    const std::vector<std::uint8_t> payload(1000, 0x5A);
    const auto signature = sectest::sign("production", payload);
    const auto verify = [&](const std::string& key, std::int32_t hash_length = 0) {
        return sectest::verify(payload, signature, sectest::bytes(key), key.size(), hash_length);
    };
    ASSERT_EQ(verify(kProduction), OK);
    EXPECT_EQ(verify(kProduction, 31), ERR_RSA_SIGNATURE_MISMATCH);
    EXPECT_EQ(verify(kProduction, 33), ERR_RSA_SIGNATURE_MISMATCH);
    EXPECT_EQ(verify(sectest::sample_key("sample_development_key.pub.pem")), ERR_RSA_BAD_PADDING);
}

}  // namespace
