// Checking and copying a range of a file piece by piece, as a slot boot does with its image.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "image/bundle.hpp"
#include "image/crc.hpp"
#include "in_process.hpp"
#include "install/file_writer.hpp"

namespace image {
namespace {

using testsupport::file_holding;

// Over two copy pieces, read from an odd offset, so that no piece starts on a boundary.
TEST(FileRange, CrcAndCopyTakeExactlyTheRangeAndFailPastTheEnd) {
    constexpr std::uint64_t offset = 5;
    std::vector<std::uint8_t> bytes(2 * copy_piece_size + 1000);
    std::uint32_t x = 1;
    for (auto& b : bytes) {
        x = x * 1664525 + 1013904223;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    const auto count = static_cast<std::uint32_t>(bytes.size() - offset - 3);
    const auto range = std::span(bytes).subspan(offset, count);
    const auto from = file_holding(bytes);
    const auto to = file_holding({});

    std::uint32_t crc = crc_initial;
    ASSERT_TRUE(crc_file_range(fileno(from.get()), offset, count, crc));
    EXPECT_EQ(crc, image_crc(range, crc_initial));
    // A last piece of one byte.
    crc = crc_initial;
    ASSERT_TRUE(crc_file_range(fileno(from.get()), offset, 0x10001, crc));
    EXPECT_EQ(crc, image_crc(range.first(0x10001), crc_initial));

    ASSERT_TRUE(copy_file_bytes(fileno(from.get()), offset, count, fileno(to.get())));
    std::vector<std::uint8_t> copied(count + 1);
    ASSERT_EQ(::pread(fileno(to.get()), copied.data(), copied.size(), 0),
              static_cast<ssize_t>(count));
    copied.pop_back();
    EXPECT_TRUE(std::equal(copied.begin(), copied.end(), range.begin(), range.end()));

    EXPECT_FALSE(crc_file_range(fileno(from.get()), offset, count + 4, crc));
    EXPECT_FALSE(copy_file_bytes(fileno(from.get()), offset, count + 4, fileno(to.get())));
}

}  // namespace
}  // namespace image
