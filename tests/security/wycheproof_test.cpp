// Every RSASSA-PKCS1-v1_5 SHA-256 vector of the three Wycheproof files through the acceptance
// check: valid and acceptable signatures pass, invalid ones fail.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "hex.hpp"
#include "test_files.hpp"
#include "wycheproof.hpp"

namespace {

class Wycheproof : public testing::TestWithParam<const char*> {};

TEST_P(Wycheproof, EveryVectorIsClassifiedAsTheFileSays) {
    const auto cases =
        wycheproof::read(std::string(BM_CRYPTO_TESTDATA) + "/wycheproof/" + GetParam());
    ASSERT_GT(cases.size(), 250U);
    EXPECT_EQ(cases.size(), std::stoul(cases.front().at("numberOfTests")));
    int passed = 0;
    for (const auto& c : cases) {
        const auto key = fromHex(c.at("publicKeyDer"));
        const CryptoStatus status =
            sectest::verify(fromHex(c.at("msg")), fromHex(c.at("sig")), key.data(), key.size());
        if (c.at("result") == "invalid") {
            EXPECT_NE(status, OK) << "tcId " << c.at("tcId") << " accepted";
        } else {
            EXPECT_EQ(status, OK) << "tcId " << c.at("tcId") << " refused";
            ++passed;
        }
    }
    EXPECT_GT(passed, 0);
}

INSTANTIATE_TEST_SUITE_P(Sha256, Wycheproof,
                         testing::Values("rsa_signature_2048_sha256_test.json",
                                         "rsa_signature_3072_sha256_test.json",
                                         "rsa_signature_4096_sha256_test.json"),
                         [](const auto& info) { return std::string(info.param).substr(14, 4); });

}  // namespace
