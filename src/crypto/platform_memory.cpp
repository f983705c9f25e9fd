// The allocator on its own object, so that a program can supply its own at link time.
#include <cstdlib>

#include "crypto/platform.hpp"

void* PLATFORM_malloc(std::size_t size) {
    return std::malloc(size);
}
void PLATFORM_free(void* p) {
    std::free(p);
}
