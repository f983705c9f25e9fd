#include <gtest/gtest.h>

#include <array>
#include <string>

#include "hex.hpp"
#include "security/imgsign.hpp"
#include "security/imgsign_aes.hpp"
#include "test_files.hpp"

// Sets the mask that gates the signing layer's trace lines and returns the one it replaces
// (security/trace.cpp; the boot manager never changes it).
std::uint32_t IMGSIGN_setTraceMask(std::uint32_t mask);

namespace {

using sectest::bytes;

struct Signed {
    std::string key = sectest::sample_key("sample_production_key.pub.pem");
    std::map<std::string, std::vector<std::uint8_t>> vectors = sectest::signature_vectors();
    std::array<std::uint8_t, 32> hash{};

    Signed() {
        const auto& payload = vectors.at("payload");
        std::uint32_t length = 0;
        IMGSIGN_computeSHA256(payload.data(), static_cast<std::uint32_t>(payload.size()),
                              hash.data(), &length);
    }
    CryptoStatus verify(const std::vector<std::uint8_t>& signature,
                        std::int32_t hashLength = 32) const {
        return IMGSIGN_verifySignature(hash.data(), hashLength, signature.data(),
                                       static_cast<std::int32_t>(signature.size()), bytes(key),
                                       static_cast<std::uint32_t>(key.size()));
    }
};

TEST(ComputeSha256, EmptyInputGivesTheDigestOfTheEmptyMessage) {
    const std::uint8_t none = 0;
    std::array<std::uint8_t, 32> digest{};
    std::uint32_t length = 99;
    ASSERT_EQ(IMGSIGN_computeSHA256(&none, 0, digest.data(), &length), OK);
    EXPECT_EQ(length, 32U);
    EXPECT_EQ(fromHex("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"),
              std::vector<std::uint8_t>(digest.begin(), digest.end()));
}

TEST(ComputeSha256, AbsentArgumentsWriteNothing) {
    const std::uint8_t data = 1;
    std::array<std::uint8_t, 32> digest{};
    std::uint32_t length = 7;
    EXPECT_EQ(IMGSIGN_computeSHA256(&data, 1, digest.data(), nullptr), ERR_NULL_POINTER);
    EXPECT_EQ(IMGSIGN_computeSHA256(nullptr, 1, digest.data(), &length), ERR_NULL_POINTER);
    EXPECT_EQ(IMGSIGN_computeSHA256(&data, 1, nullptr, &length), ERR_NULL_POINTER);
    EXPECT_EQ(length, 7U);
    EXPECT_EQ(digest, (std::array<std::uint8_t, 32>{}));
}

TEST(ConvertPublicKey, AcceptsPemOrDerAndRefusesDamagedText) {
    const auto pem = sectest::sample_key("sample_production_key.pub.pem");
    const auto der =
        fromHex(sectest::read_text(std::string(BM_SECURITY_DATA) + "/development_key.der.hex"));
    auto damaged = pem;
    damaged[100] = '*';
    struct Form {
        const char* what;
        std::string text;
        bool accepted;
    };
    const Form forms[] = {{"PEM", pem, true},
                          {"DER", std::string(der.begin(), der.end()), true},
                          {"damaged PEM", damaged, false},
                          {"empty", "", false}};
    for (const Form& f : forms) {
        AsymmetricKey key{};
        const CryptoStatus status = CA_MGMT_convertPublicKey(
            bytes(f.text), static_cast<std::uint32_t>(f.text.size()), &key);
        EXPECT_EQ(status == OK, f.accepted) << f.what << ": " << status;
        EXPECT_LE(status, OK) << f.what;
        EXPECT_EQ(key.type, f.accepted ? KEY_TYPE_RSA : KEY_TYPE_NONE) << f.what;
        CRYPTO_uninitAsymmetricKey(&key);
    }
    EXPECT_EQ(CA_MGMT_convertPublicKey(nullptr, 451, nullptr), ERR_NULL_POINTER);
    EXPECT_EQ(CA_MGMT_convertPublicKey(bytes(pem), static_cast<std::uint32_t>(pem.size()), nullptr),
              OK);
}

struct VerifyCase {
    const char* vector;
    CryptoStatus expected;
};

class VerifySignature : public testing::TestWithParam<VerifyCase> {};

// Only the two encodings a signer may produce pass. The lenient encodings below all carry the
// right 32 bytes where a DigestInfo parser looks for them; accepting any of them is the
// weakness that lets signatures be forged without the private key.
TEST_P(VerifySignature, AcceptsOnlyTheExactEncoding) {
    const Signed s;
    EXPECT_EQ(s.verify(s.vectors.at(GetParam().vector)), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, VerifySignature,
    testing::Values(VerifyCase{"good", OK}, VerifyCase{"without_null", OK},
                    VerifyCase{"garbage_parameters", ERR_RSA_SIGNATURE_MISMATCH},
                    VerifyCase{"digest_not_octet_string", ERR_RSA_SIGNATURE_MISMATCH},
                    VerifyCase{"long_form_length", ERR_RSA_SIGNATURE_MISMATCH},
                    VerifyCase{"block_starts_with_01", ERR_RSA_SIGNATURE_MISMATCH},
                    VerifyCase{"plus_modulus", ERR_RSA_SIGNATURE_MISMATCH},
                    VerifyCase{"sha1_algorithm", ERR_SIGNATURE_FORMAT},
                    VerifyCase{"one_byte_short", ERR_SIGNATURE_FORMAT}),
    [](const auto& info) { return std::string(info.param.vector); });

TEST(VerifySignatureArguments, AnotherHashLengthOrHashByteOrKeyFails) {
    Signed s;
    EXPECT_EQ(s.verify(s.vectors.at("good"), 31), ERR_RSA_SIGNATURE_MISMATCH);
    EXPECT_EQ(s.verify(s.vectors.at("good"), 33), ERR_RSA_SIGNATURE_MISMATCH);
    s.hash[31] ^= 1;
    EXPECT_EQ(s.verify(s.vectors.at("good")), ERR_RSA_SIGNATURE_MISMATCH);
    s.hash[31] ^= 1;
    s.key = sectest::sample_key("sample_development_key.pub.pem");
    EXPECT_EQ(s.verify(s.vectors.at("good")), ERR_RSA_BAD_PADDING);
}

TEST(VerifySignatureArguments, AbsentPointersAndUndecodableKeys) {
    const Signed s;
    const auto& sig = s.vectors.at("good");
    EXPECT_EQ(IMGSIGN_verifySignature(nullptr, 32, sig.data(), 256, bytes(s.key), 451),
              ERR_NULL_POINTER);
    EXPECT_EQ(IMGSIGN_verifySignature(s.hash.data(), 32, nullptr, 256, bytes(s.key), 451),
              ERR_NULL_POINTER);
    EXPECT_EQ(IMGSIGN_verifySignature(s.hash.data(), 32, sig.data(), 256, nullptr, 451),
              ERR_NULL_POINTER);
    // An empty key record, as a failed key file decryption leaves it.
    EXPECT_LT(IMGSIGN_verifySignature(s.hash.data(), 32, sig.data(), 256, bytes(s.key), 0), 0);
}

// The layer's trace output needs a debug mask that enables its category; the system's does not.
TEST(Trace, SilentUnderTheSystemMask) {
    const Signed s;
    testing::internal::CaptureStdout();
    s.verify(s.vectors.at("good"));
    s.verify(s.vectors.at("garbage_parameters"));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
}

}  // namespace

TEST(DoAes, LengthsThatAreNotWholeBlocksChangeNothing) {
    const std::array<std::uint8_t, 16> key{1, 2, 3};
    AesContext* ctx = CreateAESCtx(key.data(), 16, 1);
    ASSERT_NE(ctx, nullptr);
    std::array<std::uint8_t, 16> iv{};
    std::array<std::uint8_t, 32> data{};
    EXPECT_EQ(DoAES(ctx, nullptr, 0, 1, iv.data()), OK) << "an empty buffer may have no address";
    EXPECT_EQ(DoAES(ctx, data.data(), 17, 1, iv.data()), ERR_AES_BAD_LENGTH);
    EXPECT_EQ(data, decltype(data){});
    EXPECT_EQ(iv, decltype(iv){});
    EXPECT_EQ(DoAES(ctx, data.data(), 32, 0, iv.data()), ERR_AES_BAD_DIRECTION);
    EXPECT_EQ(DoAES(ctx, data.data(), 32, 1, iv.data()), OK);
    EXPECT_NE(iv, decltype(iv){}) << "the vector carries the chain on";
    EXPECT_EQ(DeleteAESCtx(&ctx), OK);
    EXPECT_EQ(ctx, nullptr);
}
