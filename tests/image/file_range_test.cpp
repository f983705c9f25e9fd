// Checking and copying a range of a file piece by piece, as a slot boot does with its image.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "image/bundle.hpp"
#include "image/crc.hpp"
#include "install/file_writer.hpp"
#include "temp_file.hpp"

namespace image {
namespace {

using image::testing::temp_file;

// Over two copy pieces, read from an odd offset, so that no piece starts on a boundary.
constexpr std::uint64_t offset = 5;

std::vector<std::uint8_t> content() {
    std::vector<std::uint8_t> v(2 * copy_piece_size + 1000);
    std::uint32_t x = 1;
    for (auto& b : v) {
        x = x * 1664525 + 1013904223;
        b = static_cast<std::uint8_t>(x >> 24);
    }
    return v;
}

TEST(FileRange, CrcAndCopyTakeExactlyTheRange) {
    const auto bytes = content();
    const auto count = static_cast<std::uint32_t>(bytes.size() - offset - 3);
    const auto range = std::span(bytes).subspan(offset, count);
    temp_file from(bytes);
    temp_file to({});
    ASSERT_TRUE(from.ok() && to.ok());

    std::uint32_t crc = crc_initial;
    ASSERT_TRUE(crc_file_range(from.fd(), offset, count, crc));
    EXPECT_EQ(crc, image_crc(range, crc_initial));

    ASSERT_TRUE(copy_file_bytes(from.fd(), offset, count, to.fd()));
    std::vector<std::uint8_t> copied(count + 1);
    ASSERT_EQ(::pread(to.fd(), copied.data(), copied.size(), 0), static_cast<ssize_t>(count));
    copied.pop_back();
    EXPECT_TRUE(std::equal(copied.begin(), copied.end(), range.begin(), range.end()));
}

TEST(FileRange, RangePastTheEndFails) {
    const auto bytes = content();
    const auto count = static_cast<std::uint32_t>(bytes.size() - offset + 1);
    temp_file from(bytes);
    temp_file to({});
    ASSERT_TRUE(from.ok() && to.ok());
    std::uint32_t crc = crc_initial;
    EXPECT_FALSE(crc_file_range(from.fd(), offset, count, crc));
    EXPECT_FALSE(copy_file_bytes(from.fd(), offset, count, to.fd()));
}

}  // namespace
}  // namespace image
