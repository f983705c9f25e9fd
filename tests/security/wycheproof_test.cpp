// Every RSASSA-PKCS1-v1_5 SHA-256 vector of the three Wycheproof files through the acceptance
// check: valid and acceptable signatures pass, invalid ones fail.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "hex.hpp"
#include "security/imgsign.hpp"
#include "wycheproof.hpp"

namespace {

class Wycheproof : public testing::TestWithParam<const char*> {};

TEST_P(Wycheproof, EveryVectorIsClassifiedAsTheFileSays) {
    const auto cases =
        wycheproof::read(std::string(BM_CRYPTO_TESTDATA) + "/wycheproof/" + GetParam());
    ASSERT_GT(cases.size(), 250U);
    int passed = 0;
    for (const auto& c : cases) {
        const auto key = fromHex(c.at("publicKeyDer"));
        const auto msg = fromHex(c.at("msg"));
        const auto sig = fromHex(c.at("sig"));
        std::array<std::uint8_t, 32> hash{};
        std::uint32_t length = 0;
        const std::uint8_t empty = 0;
        ASSERT_EQ(
            IMGSIGN_computeSHA256(msg.empty() ? &empty : msg.data(),
                                  static_cast<std::uint32_t>(msg.size()), hash.data(), &length),
            OK);
        const CryptoStatus status = IMGSIGN_verifySignature(
            hash.data(), 32, sig.data(), static_cast<std::int32_t>(sig.size()), key.data(),
            static_cast<std::uint32_t>(key.size()));
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
