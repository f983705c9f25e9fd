#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "crypto/mem.hpp"
#include "crypto/platform.hpp"

TEST(MemCompare, OrdersByFirstDifferingUnsignedByte) {
    struct Case {
        std::uint8_t a[3];
        std::uint8_t b[3];
        std::int32_t count;
        std::int32_t expected;
    };
    const Case cases[] = {
        {{1, 2, 3}, {1, 2, 3}, 3, 0},
        {{0x80, 0, 0}, {0x7F, 0, 0}, 1, 1},  // unsigned, not char-signed
        {{0x7F, 0, 0}, {0x80, 0, 0}, 1, -1},
        {{1, 2, 3}, {1, 2, 4}, 3, -1},
        {{1, 2, 3}, {1, 2, 4}, 2, 0},
        {{9, 9, 9}, {1, 1, 1}, 0, 0},
    };
    for (const Case& c : cases) {
        std::int32_t result = 99;
        EXPECT_EQ(MEM_compare(c.a, c.b, c.count, &result), OK);
        EXPECT_EQ(result, c.expected) << int(c.a[0]) << " count " << c.count;
    }
}

TEST(MemHelpers, RefuseNullAndIgnoreNonPositiveCounts) {
    std::uint8_t a[4] = {1, 2, 3, 4};
    std::uint8_t b[4] = {5, 6, 7, 8};
    EXPECT_EQ(MEM_copy(nullptr, b, 1), ERR_NULL_POINTER);
    EXPECT_EQ(MEM_copy(a, nullptr, 1), ERR_NULL_POINTER);
    EXPECT_EQ(MEM_set(nullptr, 0, 1), ERR_NULL_POINTER);
    EXPECT_EQ(MEM_xor(a, nullptr, 1), ERR_NULL_POINTER);
    EXPECT_EQ(MEM_compare(a, b, 1, nullptr), ERR_NULL_POINTER);

    EXPECT_EQ(MEM_copy(a, b, -5), OK);
    EXPECT_EQ(MEM_set(a, 0, 0), OK);
    EXPECT_EQ(MEM_xor(a, b, 0), OK);
    EXPECT_EQ(a[0], 1);

    EXPECT_EQ(MEM_xor(a, b, 2), OK);
    EXPECT_EQ(a[0], 1 ^ 5);
    EXPECT_EQ(a[1], 2 ^ 6);
    EXPECT_EQ(a[2], 3);
    EXPECT_EQ(MEM_copy(a, b, 3), OK);
    EXPECT_EQ(a[2], 7);
    EXPECT_EQ(a[3], 4);
}

TEST(PlatformMutex, HeldFlagCatchesDoubleWaitAndStrayRelease) {
    PlatformMutex mutex;
    ASSERT_EQ(PLATFORM_mutexCreate(&mutex), OK);
    bool held = false;
    EXPECT_EQ(MUTEX_release(mutex, &held), ERR_RTOS_MUTEX_NOT_HELD);
    EXPECT_EQ(MUTEX_wait(mutex, &held), OK);
    EXPECT_TRUE(held);
    EXPECT_EQ(MUTEX_wait(mutex, &held), ERR_RTOS_MUTEX_ALREADY_HELD);
    EXPECT_EQ(MUTEX_release(mutex, &held), OK);
    EXPECT_FALSE(held);
    EXPECT_EQ(PLATFORM_mutexFree(&mutex), OK);
}
