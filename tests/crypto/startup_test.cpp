// Library start-up seen from a fresh process: one test, in order, because start-up happens once.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>

#include "crypto/base64.hpp"
#include "crypto/crypto.hpp"
#include "crypto/random.hpp"

// The random context start-up made, or null before that step (crypto/crypto.cpp). The library
// owns it and never releases it.
RandomContext* CRYPTO_globalRandomContext();

TEST(Startup, FromAFreshProcessOnwards) {
    const std::uint8_t text[] = {'Q', 'Q', '=', '='};
    std::uint8_t* out = nullptr;
    std::uint32_t n = 0;
    EXPECT_EQ(BASE64_decodeMessage(text, 4, &out, &n), ERR_BASE64_NOT_INITIALISED)
        << "Base64 needs start-up";

    // Depot output is there before start-up, and no two reads repeat each other.
    std::uint8_t bytes[100];
    std::uint8_t more[100];
    ASSERT_EQ(DEPOT_readBytes(bytes, sizeof bytes), OK);
    ASSERT_EQ(DEPOT_readBytes(more, sizeof more), OK);
    EXPECT_FALSE(std::equal(std::begin(bytes), std::end(bytes), more));

    testing::internal::CaptureStdout();
    EXPECT_EQ(CRYPTO_initLibrary(), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "start-up prints nothing";
    RandomContext* ctx = CRYPTO_globalRandomContext();
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(ctx->kind, RANDOM_KIND_CTR_DRBG);
    std::uint8_t keyBefore[32];
    std::copy(std::begin(ctx->key), std::end(ctx->key), keyBefore);

    EXPECT_EQ(CRYPTO_initLibrary(), 0);
    EXPECT_EQ(CRYPTO_globalRandomContext(), ctx);

    ASSERT_EQ(BASE64_decodeMessage(text, 4, &out, &n), OK);
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(out[0], 0x41);
    BASE64_freeMessage(&out);

    // Start-up fed 256 bits (a second start-up none): 128 more reach 384, one reseed.
    for (int i = 0; i < 127; ++i) {
        ASSERT_EQ(RANDOM_addEntropyBit(ctx, static_cast<std::uint8_t>(i & 1)), OK);
    }
    EXPECT_TRUE(std::equal(std::begin(keyBefore), std::end(keyBefore), ctx->key));
    ASSERT_EQ(RANDOM_addEntropyBit(ctx, 1), OK);
    EXPECT_FALSE(std::equal(std::begin(keyBefore), std::end(keyBefore), ctx->key));
}
