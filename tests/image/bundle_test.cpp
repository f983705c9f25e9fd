#include "image/bundle.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "image/byte_order.hpp"
#include "image/writer.hpp"
#include "in_process.hpp"
#include "sealed_subimage.hpp"

namespace image {
namespace {

using testsupport::file_holding;

using testsupport::sealed_subimage;

void append(std::vector<std::uint8_t>& to, const std::vector<std::uint8_t>& what) {
    to.insert(to.end(), what.begin(), what.end());
}

// A v1 sub-image header whose length field is `length`, padded to `size` bytes.
std::vector<std::uint8_t> v1_claiming(std::uint32_t length, std::size_t size) {
    std::vector<std::uint8_t> v(size);
    store_be32(v.data() + 4, length);
    store_be32(v.data() + 8, TYPE_KXOS);
    return v;
}

TEST(BundleWalk, VisitsEachSubImageAndEndsBeforeAShortTail) {
    std::vector<std::uint8_t> bundle;
    append(bundle, sealed_subimage(TYPE_KXOS, 10, 1));
    append(bundle, sealed_subimage(TYPE_KERNEL, 0, 2));
    append(bundle, sealed_subimage(TYPE_APPLICATION, 33, 3));
    bundle.resize(bundle.size() + 12, 0xEE);  // a tail too short to be a header
    const auto f = file_holding(bundle);
    bundle_walk walk(fileno(f.get()));
    subimage_ref s{};
    std::vector<std::uint64_t> offsets;
    std::vector<std::uint32_t> types;
    while (walk.next(s) == walk_step::subimage) {
        ASSERT_EQ(s.fault, header_fault::none);
        offsets.push_back(s.offset);
        types.push_back(s.header.type());
    }
    EXPECT_EQ(offsets, (std::vector<std::uint64_t>{0, 26, 46}));
    EXPECT_EQ(types, (std::vector<std::uint32_t>{TYPE_KXOS, TYPE_KERNEL, TYPE_APPLICATION}));
    EXPECT_EQ(walk.trailing_bytes(), 12U);
}

TEST(BundleWalk, FileShorterThanAHeaderHoldsNothing) {
    const std::vector<std::uint8_t> bytes(23, 0);
    const auto f = file_holding(bytes);
    bundle_walk walk(fileno(f.get()));
    subimage_ref s{};
    EXPECT_EQ(walk.next(s), walk_step::end);
}

TEST(BundleWalk, ClosedDescriptorIsAReadError) {
    bundle_walk walk(-1);
    subimage_ref s{};
    EXPECT_EQ(walk.next(s), walk_step::read_error);
}

// Headers that would make a scan stand still, jump past the file or allocate gigabytes: the
// walk reports the fault once, refuses to read, and ends.
TEST(BundleWalk, FaultyHeaderEndsTheWalkWithoutReading) {
    struct faulty {
        std::vector<std::uint8_t> bytes;
        header_fault fault;
    };
    std::vector<faulty> cases = {
        {v1_claiming(0xFFFFFFF0, 64), header_fault::wraps},     // total 0 in 32 bits
        {v1_claiming(0xFFFFFFE0, 64), header_fault::past_end},  // total 0xFFFFFFF0
        {v1_claiming(100, 64), header_fault::past_end},         // cut short
    };
    auto v3 = sealed_subimage(TYPE_APPLICATION, 8, 3);
    store_be16(v3.data() + 22, 0x100);  // header length beyond the total
    cases.push_back({v3, header_fault::header_beyond_total});

    for (const auto& c : cases) {
        std::vector<std::uint8_t> bundle = sealed_subimage(TYPE_KXOS, 8, 1);
        append(bundle, c.bytes);
        const auto f = file_holding(bundle);
        const int fd = fileno(f.get());
        bundle_walk walk(fd);
        subimage_ref s{};
        ASSERT_EQ(walk.next(s), walk_step::subimage);
        ASSERT_EQ(walk.next(s), walk_step::subimage);
        EXPECT_EQ(s.offset, 24U);
        EXPECT_EQ(s.fault, c.fault);
        std::vector<std::uint8_t> buffer;
        EXPECT_FALSE(read_subimage(fd, s, buffer));
        EXPECT_FALSE(read_header_bytes(fd, s, buffer));
        EXPECT_TRUE(buffer.empty());
        EXPECT_EQ(walk.next(s), walk_step::end);
        EXPECT_EQ(walk.next(s), walk_step::end);
    }
}

TEST(BundleWalk, ReadsWholeSubImageAndHeader) {
    const auto first = sealed_subimage(TYPE_DIAGNOSTICS, 40, 3, 0x01000000, 7);
    const auto second = sealed_subimage(TYPE_APPLICATION, 5, 2, 0x01000000, 9);
    std::vector<std::uint8_t> bundle = first;
    append(bundle, second);
    const auto f = file_holding(bundle);
    const int fd = fileno(f.get());
    bundle_walk walk(fd);
    subimage_ref s{};
    std::vector<std::uint8_t> buffer;
    ASSERT_EQ(walk.next(s), walk_step::subimage);
    ASSERT_TRUE(read_header_bytes(fd, s, buffer));
    EXPECT_EQ(buffer, std::vector<std::uint8_t>(first.begin(), first.begin() + 24));
    ASSERT_EQ(walk.next(s), walk_step::subimage);
    ASSERT_TRUE(read_subimage(fd, s, buffer));
    EXPECT_EQ(buffer, second);
}

}  // namespace
}  // namespace image
