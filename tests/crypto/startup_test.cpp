// Library start-up seen from a fresh process: one test, in order, because start-up happens once.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>

#include "crypto/base64.hpp"
#include "crypto/crypto.hpp"
#include "crypto/random.hpp"

TEST(Startup, FromAFreshProcessOnwards) {
    const std::uint8_t text[] = {'Q', 'Q', '=', '='};
    std::uint8_t* out = nullptr;
    std::uint32_t n = 0;
    EXPECT_EQ(BASE64_decodeMessage(text, 4, &out, &n), ERR_BASE64_NOT_INITIALISED)
        << "Base64 needs start-up";

    // A fresh depot: 100 bytes take the priming mix and two refills, ending 4 bytes in.
    std::uint8_t bytes[100];
    ASSERT_EQ(DEPOT_readBytes(bytes, sizeof bytes), OK);
    EXPECT_EQ(DEPOT_state()->outputIndex, 4u);
    EXPECT_EQ(DEPOT_state()->primed, 1);
    EXPECT_EQ(DEPOT_state()->bitPosition, 0u);

    testing::internal::CaptureStdout();
    EXPECT_EQ(CRYPTO_initLibrary(), 1);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "start-up prints nothing";
    RandomContext* ctx = CRYPTO_globalRandomContext();
    ASSERT_NE(ctx, nullptr);
    EXPECT_EQ(ctx->kind, RANDOM_KIND_CTR_DRBG);
    EXPECT_EQ(ctx->bitsSinceReseed, 256u);
    EXPECT_EQ(ctx->reseedCounter, 1u);
    EXPECT_EQ(DEPOT_state()->bitPosition, 256u);
    EXPECT_EQ(DEPOT_state()->outputIndex, 4u) << "the 48-byte seed took 44 bytes and 4 of a refill";

    EXPECT_EQ(CRYPTO_initLibrary(), 0);
    EXPECT_EQ(CRYPTO_globalRandomContext(), ctx);
    EXPECT_EQ(DEPOT_state()->bitPosition, 256u) << "a second start-up changes nothing";

    ASSERT_EQ(BASE64_decodeMessage(text, 4, &out, &n), OK);
    EXPECT_EQ(n, 1u);
    EXPECT_EQ(out[0], 0x41);
    BASE64_freeMessage(&out);

    // 128 more bits reach 384: exactly one reseed.
    std::uint8_t keyBefore[32];
    std::copy(std::begin(ctx->key), std::end(ctx->key), keyBefore);
    for (int i = 0; i < 127; ++i) {
        ASSERT_EQ(RANDOM_addEntropyBit(ctx, static_cast<std::uint8_t>(i & 1)), OK);
    }
    EXPECT_EQ(ctx->bitsSinceReseed, 383u);
    EXPECT_TRUE(std::equal(std::begin(keyBefore), std::end(keyBefore), ctx->key));
    ASSERT_EQ(RANDOM_addEntropyBit(ctx, 1), OK);
    EXPECT_EQ(ctx->bitsSinceReseed, 0u);
    EXPECT_FALSE(std::equal(std::begin(keyBefore), std::end(keyBefore), ctx->key));
    EXPECT_EQ(DEPOT_state()->bitPosition, 0u) << "384 bits wrap the depot position";
}
