// Behaviour that only shows through the allocator: wiping on release, and clean failure when
// memory runs out part-way through an operation. The allocator here replaces the library's at link
// time: it can fail the n-th allocation and keeps a copy of every block as it was when released.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <map>
#include <vector>

#include "crypto/platform.hpp"
#include "crypto/vlong.hpp"
#include "hex.hpp"

namespace {

unsigned g_allocations = 0;
unsigned g_failAt = 0;  // the 1-based allocation since the last reset to fail; 0 = none
std::map<void*, std::size_t>& sizes() {
    static std::map<void*, std::size_t> m;
    return m;
}
std::vector<std::vector<std::uint8_t>>& released() {  // oldest first
    static std::vector<std::vector<std::uint8_t>> v;
    return v;
}
void reset(unsigned failAt = 0) {
    g_allocations = 0;
    g_failAt = failAt;
    released().clear();
}

}  // namespace

void* PLATFORM_malloc(std::size_t size) {
    if (++g_allocations == g_failAt) {
        return nullptr;
    }
    void* p = std::malloc(size == 0 ? 1 : size);
    sizes()[p] = size;
    return p;
}

void PLATFORM_free(void* p) {
    if (auto it = sizes().find(p); it != sizes().end()) {
        const auto* bytes = static_cast<const std::uint8_t*>(p);
        released().emplace_back(bytes, bytes + it->second);
        sizes().erase(it);
    }
    std::free(p);
}

TEST(VlongWipe, UnitsReleasedWithoutAPoolAreOverwrittenWith0x00000067) {
    vlong* v = nullptr;
    const std::vector<std::uint8_t> secret = fromHex("0123456789abcdef0011223344556677");
    ASSERT_EQ(VLONG_vlongFromByteString(secret.data(), 16, &v, nullptr), OK);
    const std::uint32_t capacity = v->numUnitsAllocated;
    reset();
    ASSERT_EQ(VLONG_freeVlong(&v, nullptr), OK);
    ASSERT_EQ(released().size(), 2u) << "the unit array, then the record";
    const auto& units = released()[0];
    ASSERT_EQ(units.size(), capacity * 4);
    for (std::size_t i = 0; i < units.size(); i += 4) {
        // 0x00000067 in any byte order is three zero bytes and one 0x67.
        unsigned sum = units[i] + units[i + 1] + units[i + 2] + units[i + 3];
        EXPECT_EQ(sum, 0x67u) << "unit " << i / 4;
        EXPECT_TRUE(units[i] == 0x67 || units[i + 3] == 0x67);
    }
}

TEST(AllocationFailure, EveryStepOfModexpFailsCleanly) {
    const auto mb = fromHex(
        "c5a1f0e3b9d2a8764f1e0d3c2b1a09f8e7d6c5b4a3928170f6e5d4c3b2a1908f"
        "7e6d5c4b3a29180706f5e4d3c2b1a0918f7e6d5c4b3a29180706f5e4d3c2b1a1");
    vlong *m = nullptr, *b = nullptr, *e = nullptr;
    ASSERT_EQ(VLONG_vlongFromByteString(mb.data(), 64, &m, nullptr), OK);
    ASSERT_EQ(VLONG_vlongFromByteString(mb.data() + 1, 60, &b, nullptr), OK);
    ASSERT_EQ(VLONG_makeVlongFromUnsignedValue(65537, &e, nullptr), OK);

    reset();
    vlong* result = nullptr;
    vlong* pool = nullptr;
    ASSERT_EQ(VLONG_modexp(b, e, m, &result, &pool), OK);
    const unsigned needed = g_allocations;
    VLONG_freeVlong(&result, nullptr);
    VLONG_freeVlongQueue(&pool);
    ASSERT_GT(needed, 3u);

    for (unsigned n = 1; n <= needed; ++n) {
        reset(n);
        EXPECT_EQ(VLONG_modexp(b, e, m, &result, &pool), ERR_MEM_ALLOC_FAIL) << "allocation " << n;
        EXPECT_EQ(result, nullptr);
        VLONG_freeVlongQueue(&pool);
    }
    reset();
    VLONG_freeVlong(&m, nullptr);
    VLONG_freeVlong(&b, nullptr);
    VLONG_freeVlong(&e, nullptr);
}
