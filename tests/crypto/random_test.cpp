#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>

#include "crypto/mem.hpp"
#include "crypto/platform.hpp"
#include "crypto/random.hpp"

namespace {

struct Context {
    RandomContext* ctx = nullptr;
    Context() { EXPECT_EQ(RANDOM_acquireContext(&ctx, RANDOM_SELECT_CTR_DRBG), OK); }
    ~Context() {
        if (ctx != nullptr) {
            MEM_set(ctx, 0, sizeof *ctx);
            PLATFORM_free(ctx);
        }
    }
};

std::string tempFileWith(std::size_t bytes) {
    std::string path = testing::TempDir() + "random_seed_" + std::to_string(bytes);
    std::ofstream(path, std::ios::binary) << std::string(bytes, '\x5a');
    return path;
}

}  // namespace

TEST(RandomSeed, TakesEightWordsFromTheDevice) {
    Context c;
    EXPECT_EQ(RANDOM_seedFromDevice(c.ctx, "/nonexistent/urandom"), ERR_RAND_OPEN_FAILED);
    EXPECT_EQ(RANDOM_seedFromDevice(c.ctx, tempFileWith(28).c_str()), ERR_RAND_READ_FAILED);
    EXPECT_EQ(RANDOM_seedFromDevice(c.ctx, tempFileWith(32).c_str()), OK);
}

TEST(RandomSeed, ContextsDifferAndRefuseOtherKinds) {
    Context a, b;
    EXPECT_FALSE(std::equal(std::begin(a.ctx->key), std::end(a.ctx->key), b.ctx->key))
        << "each context takes fresh depot output";
    RandomContext* other = nullptr;
    EXPECT_EQ(RANDOM_acquireContext(&other, 1), ERR_NULL_POINTER);
    EXPECT_EQ(other, nullptr);
    EXPECT_EQ(RANDOM_addEntropyBit(nullptr, 1), ERR_NULL_POINTER);
    RandomContext wrongKind{};
    wrongKind.kind = 1;
    EXPECT_EQ(RANDOM_addEntropyBit(&wrongKind, 1), ERR_NULL_POINTER);
}
