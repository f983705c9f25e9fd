// A replacement for the library's allocator, linked into the tests that watch allocation:
// it can fail the n-th allocation and keeps a copy of every block as it was when released.
#pragma once

#include <cstdint>
#include <vector>

namespace alloc_spy {

// Fails the allocation with this 1-based number (counting from the last reset); 0 = never.
void failAllocation(unsigned number);
void reset();
unsigned allocations();
// Contents of the released blocks, oldest first, since the last reset.
const std::vector<std::vector<std::uint8_t>>& released();

}  // namespace alloc_spy
