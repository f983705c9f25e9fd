// The input is a sub-image from its CRC word on. Finds the signature record and the hashed range
// and checks that both lie inside the sub-image where the header says, then reads every byte of
// them so that any span past the input shows.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "image/byte_order.hpp"
#include "image/header.hpp"
#include "security/signed_range.hpp"

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

bool inside(std::span<const std::uint8_t> part, std::span<const std::uint8_t> whole) {
    return part.data() >= whole.data() && part.data() + part.size() <= whole.data() + whole.size();
}

unsigned touch(std::span<const std::uint8_t> bytes) {
    unsigned sum = 0;
    for (const std::uint8_t b : bytes) {
        sum += b;
    }
    return sum;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // An exact-size copy, so that a read one past the input is caught.
    const std::vector<std::uint8_t> copy(data, data + size);
    const std::span<const std::uint8_t> sub(copy);
    const signed_range range = find_signed_range(sub);
    if (range.what != signed_range::kind::signed_image) {
        require(range.signature.empty() && range.hashed.empty());
        return 0;
    }
    const std::uint32_t header_length = image::load_be16(sub.data() + 22);
    const std::uint64_t end = std::uint64_t{image::load_be32(sub.data() + 4)} + 16;
    require(header_length >= image::v3_records_offset && end <= sub.size());
    require(inside(range.signature, sub.first(header_length)));
    require(range.signature.data() >= sub.data() + image::v3_records_offset);
    require(range.hashed.data() == sub.data() + header_length);
    require(range.hashed.size() == end - header_length);
    volatile unsigned sink = touch(range.signature) + touch(range.hashed);
    (void)sink;
    return 0;
}
