#include "alloc_spy.hpp"

#include <cstdlib>
#include <cstring>
#include <map>

#include "crypto/platform.hpp"

namespace {

unsigned g_count = 0;
unsigned g_failAt = 0;
std::map<void*, std::size_t>& sizes() {
    static std::map<void*, std::size_t> m;
    return m;
}
std::vector<std::vector<std::uint8_t>>& releasedBlocks() {
    static std::vector<std::vector<std::uint8_t>> v;
    return v;
}

}  // namespace

namespace alloc_spy {

void failAllocation(unsigned number) {
    g_failAt = number;
}
void reset() {
    g_count = 0;
    g_failAt = 0;
    releasedBlocks().clear();
}
unsigned allocations() {
    return g_count;
}
const std::vector<std::vector<std::uint8_t>>& released() {
    return releasedBlocks();
}

}  // namespace alloc_spy

void* PLATFORM_malloc(std::size_t size) {
    if (++g_count == g_failAt) {
        return nullptr;
    }
    void* p = std::malloc(size == 0 ? 1 : size);
    sizes()[p] = size;
    return p;
}

void PLATFORM_free(void* p) {
    if (p == nullptr) {
        return;
    }
    auto it = sizes().find(p);
    if (it != sizes().end()) {
        const auto* bytes = static_cast<const std::uint8_t*>(p);
        releasedBlocks().emplace_back(bytes, bytes + it->second);
        sizes().erase(it);
    }
    std::free(p);
}
