#include <gtest/gtest.h>

#include <array>
#include <string>

#include "hex.hpp"
#include "security/imgsign.hpp"
#include "security/imgsign_aes.hpp"
#include "test_files.hpp"

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

TEST(ConvertPublicKey, AcceptsPemOrDerAndRefusesDamagedText) {
    const auto pem = sectest::sample_key("sample_production_key.pub.pem");
    const auto der =
        fromHex(testsupport::read_file(std::string(BM_SECURITY_DATA) + "/development_key.der.hex"));
    auto damaged = pem;
    damaged[100] = '*';
    const std::tuple<const char*, std::string, bool> forms[] = {
        {"PEM", pem, true},
        {"DER", std::string(der.begin(), der.end()), true},
        {"damaged PEM", damaged, false},
        {"empty", "", false}};
    for (const auto& [what, text, accepted] : forms) {
        AsymmetricKey key{};
        const CryptoStatus status =
            CA_MGMT_convertPublicKey(bytes(text), static_cast<std::uint32_t>(text.size()), &key);
        EXPECT_EQ(status == OK, accepted) << what << ": " << status;
        EXPECT_LE(status, OK) << what;
        EXPECT_EQ(key.type, accepted ? KEY_TYPE_RSA : KEY_TYPE_NONE) << what;
        CRYPTO_uninitAsymmetricKey(&key);
    }
    EXPECT_EQ(CA_MGMT_convertPublicKey(bytes(pem), static_cast<std::uint32_t>(pem.size()), nullptr),
              OK);
}

class VerifySignature : public testing::TestWithParam<std::pair<const char*, CryptoStatus>> {};

// Only the two encodings a signer may produce pass. The lenient encodings below all carry the
// right 32 bytes where a DigestInfo parser looks for them; accepting any of them is the
// weakness that lets signatures be forged without the private key.
TEST_P(VerifySignature, AcceptsOnlyTheExactEncoding) {
    const Signed s;
    EXPECT_EQ(s.verify(s.vectors.at(GetParam().first)), GetParam().second);
}

INSTANTIATE_TEST_SUITE_P(
    Vectors, VerifySignature,
    testing::Values(std::pair("good", OK), std::pair("without_null", OK),
                    std::pair("garbage_parameters", ERR_RSA_SIGNATURE_MISMATCH),
                    std::pair("digest_not_octet_string", ERR_RSA_SIGNATURE_MISMATCH),
                    std::pair("long_form_length", ERR_RSA_SIGNATURE_MISMATCH),
                    std::pair("block_starts_with_01", ERR_RSA_SIGNATURE_MISMATCH),
                    std::pair("plus_modulus", ERR_RSA_SIGNATURE_MISMATCH),
                    std::pair("sha1_algorithm", ERR_SIGNATURE_FORMAT),
                    std::pair("one_byte_short", ERR_SIGNATURE_FORMAT)),
    [](const auto& info) { return std::string(info.param.first); });

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

TEST(ImgsignArguments, AbsentPointersAreRefusedAndWriteNothing) {
    const Signed s;
    const auto& sig = s.vectors.at("good");
    std::array<std::uint8_t, 32> digest{};
    std::uint32_t length = 7;
    EXPECT_EQ(IMGSIGN_computeSHA256(sig.data(), 1, digest.data(), nullptr), ERR_NULL_POINTER);
    EXPECT_EQ(IMGSIGN_computeSHA256(nullptr, 1, digest.data(), &length), ERR_NULL_POINTER);
    EXPECT_EQ(IMGSIGN_computeSHA256(sig.data(), 1, nullptr, &length), ERR_NULL_POINTER);
    EXPECT_EQ(length, 7U);
    EXPECT_EQ(digest, (std::array<std::uint8_t, 32>{}));
    EXPECT_EQ(IMGSIGN_verifySignature(nullptr, 32, sig.data(), 256, bytes(s.key), 451),
              ERR_NULL_POINTER);
    EXPECT_EQ(IMGSIGN_verifySignature(s.hash.data(), 32, nullptr, 256, bytes(s.key), 451),
              ERR_NULL_POINTER);
    EXPECT_EQ(IMGSIGN_verifySignature(s.hash.data(), 32, sig.data(), 256, nullptr, 451),
              ERR_NULL_POINTER);
    EXPECT_EQ(CA_MGMT_convertPublicKey(nullptr, 451, nullptr), ERR_NULL_POINTER);
    // An empty key record, as a failed key file decryption leaves it.
    EXPECT_LT(IMGSIGN_verifySignature(s.hash.data(), 32, sig.data(), 256, bytes(s.key), 0), 0);
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
