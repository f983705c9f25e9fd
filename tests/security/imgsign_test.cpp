#include <gtest/gtest.h>

#include <array>
#include <string>

#include "security/imgsign.hpp"
#include "security/imgsign_aes.hpp"
#include "test_files.hpp"

namespace {

using sectest::bytes;

TEST(ImgsignArguments, AbsentPointersAreRefusedAndWriteNothing) {
    const std::string key = sectest::sample_key("sample_production_key.pub.pem");
    const std::vector<std::uint8_t> sig(256, 1);
    std::array<std::uint8_t, 32> digest{};
    std::uint32_t length = 7;
    EXPECT_EQ(IMGSIGN_computeSHA256(sig.data(), 1, digest.data(), nullptr), ERR_NULL_POINTER);
    EXPECT_EQ(IMGSIGN_computeSHA256(nullptr, 1, digest.data(), &length), ERR_NULL_POINTER);
    EXPECT_EQ(IMGSIGN_computeSHA256(sig.data(), 1, nullptr, &length), ERR_NULL_POINTER);
    EXPECT_EQ(length, 7U);
    EXPECT_EQ(digest, (std::array<std::uint8_t, 32>{}));
    EXPECT_EQ(IMGSIGN_verifySignature(nullptr, 32, sig.data(), 256, bytes(key), 451),
              ERR_NULL_POINTER);
    EXPECT_EQ(IMGSIGN_verifySignature(digest.data(), 32, nullptr, 256, bytes(key), 451),
              ERR_NULL_POINTER);
    EXPECT_EQ(IMGSIGN_verifySignature(digest.data(), 32, sig.data(), 256, nullptr, 451),
              ERR_NULL_POINTER);
    EXPECT_EQ(CA_MGMT_convertPublicKey(nullptr, 451, nullptr), ERR_NULL_POINTER);
    // An empty key record, as a failed key file decryption leaves it.
    EXPECT_LT(IMGSIGN_verifySignature(digest.data(), 32, sig.data(), 256, bytes(key), 0), 0);
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
