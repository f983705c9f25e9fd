#include "image/bundle.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "image/byte_order.hpp"
#include "image/crc.hpp"
#include "image/writer.hpp"
#include "in_process.hpp"
#include "install/file_writer.hpp"
#include "sealed_subimage.hpp"

namespace image {
namespace {

using testsupport::file_holding;
using testsupport::sealed_subimage;
using bytes = std::vector<std::uint8_t>;

bytes operator+(bytes a, const bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

TEST(BundleWalk, VisitsAndReadsEachSubImageAndEndsBeforeAShortTail) {
    const bytes subs[] = {sealed_subimage(TYPE_KXOS, 10, 1),
                          sealed_subimage(TYPE_KERNEL, 0, 2, 0x01000000, 7),
                          sealed_subimage(TYPE_APPLICATION, 33, 3, 0x01000000, 9)};
    const std::uint64_t offsets[] = {0, 26, 46};
    const std::uint32_t types[] = {TYPE_KXOS, TYPE_KERNEL, TYPE_APPLICATION};
    const std::size_t header_lengths[] = {16, 20, 24};
    auto bundle = subs[0] + subs[1] + subs[2];
    bundle.resize(bundle.size() + 12, 0xEE);  // a tail too short to be a header
    const auto f = file_holding(bundle);
    const int fd = fileno(f.get());
    bundle_walk walk(fd);
    subimage_ref s{};
    for (std::size_t i = 0; i < 3; ++i) {
        ASSERT_EQ(walk.next(s), walk_step::subimage) << i;
        ASSERT_EQ(s.fault, header_fault::none) << i;
        EXPECT_EQ(s.offset, offsets[i]) << i;
        EXPECT_EQ(s.header.type(), types[i]) << i;
        bytes buffer;
        ASSERT_TRUE(read_subimage(fd, s, buffer)) << i;
        EXPECT_EQ(buffer, subs[i]) << i;
        ASSERT_TRUE(read_header_bytes(fd, s, buffer)) << i;
        EXPECT_EQ(buffer, bytes(subs[i].begin(), subs[i].begin() + header_lengths[i])) << i;
    }
    EXPECT_EQ(walk.next(s), walk_step::end);
    EXPECT_EQ(walk.trailing_bytes(), 12U);

    const auto short_file = file_holding(bytes(23, 0));
    EXPECT_EQ(bundle_walk(fileno(short_file.get())).next(s), walk_step::end);
    EXPECT_EQ(bundle_walk(-1).next(s), walk_step::read_error);
}

// A header whose total is 0 in 32 bits would make a scan stand still: the walk reports the fault
// once, refuses to read, and ends. The walk treats every fault alike; which lengths are faults is
// CheckImageLengths' table.
TEST(BundleWalk, FaultyHeaderEndsTheWalkWithoutReading) {
    bytes faulty(64);
    store_be32(faulty.data() + 4, 0xFFFFFFF0);
    store_be32(faulty.data() + 8, TYPE_KXOS);
    const auto f = file_holding(sealed_subimage(TYPE_KXOS, 8, 1) + faulty);
    const int fd = fileno(f.get());
    bundle_walk walk(fd);
    subimage_ref s{};
    ASSERT_EQ(walk.next(s), walk_step::subimage);
    ASSERT_EQ(walk.next(s), walk_step::subimage);
    EXPECT_EQ(s.offset, 24U);
    EXPECT_EQ(s.fault, header_fault::wraps);
    bytes buffer;
    EXPECT_FALSE(read_subimage(fd, s, buffer));
    EXPECT_FALSE(read_header_bytes(fd, s, buffer));
    EXPECT_TRUE(buffer.empty());
    EXPECT_EQ(walk.next(s), walk_step::end);
    EXPECT_EQ(walk.next(s), walk_step::end);
}

// Over two copy pieces, read from an odd offset, so that no piece starts on a boundary.
TEST(FileRange, CrcAndCopyTakeExactlyTheRangeAndFailPastTheEnd) {
    constexpr std::uint64_t offset = 5;
    bytes data(2 * copy_piece_size + 1000);
    std::uint32_t x = 1;
    for (auto& b : data) {
        x = x * 1664525 + 1013904223;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    const auto count = static_cast<std::uint32_t>(data.size() - offset - 3);
    const auto range = std::span(data).subspan(offset, count);
    const auto from = file_holding(data);
    const auto to = file_holding({});

    std::uint32_t crc = crc_initial;
    ASSERT_TRUE(crc_file_range(fileno(from.get()), offset, count, crc));
    EXPECT_EQ(crc, image_crc(range, crc_initial));
    // A last piece of one byte.
    crc = crc_initial;
    ASSERT_TRUE(crc_file_range(fileno(from.get()), offset, 0x10001, crc));
    EXPECT_EQ(crc, image_crc(range.first(0x10001), crc_initial));

    ASSERT_TRUE(copy_file_bytes(fileno(from.get()), offset, count, fileno(to.get())));
    bytes copied(count + 1);
    ASSERT_EQ(::pread(fileno(to.get()), copied.data(), copied.size(), 0),
              static_cast<ssize_t>(count));
    copied.pop_back();
    EXPECT_TRUE(std::equal(copied.begin(), copied.end(), range.begin(), range.end()));

    EXPECT_FALSE(crc_file_range(fileno(from.get()), offset, count + 4, crc));
    EXPECT_FALSE(copy_file_bytes(fileno(from.get()), offset, count + 4, fileno(to.get())));
}

}  // namespace
}  // namespace image
