#include "image/installed.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "hw/mtd.hpp"
#include "image/byte_order.hpp"
#include "image/versions.hpp"
#include "in_process.hpp"
#include "sealed_subimage.hpp"
#include "sim/board.hpp"
#include "temp_board.hpp"

namespace image {
namespace {

using testsupport::console_of;

installed_header header_of(std::uint32_t crc, std::uint32_t length, std::uint32_t type,
                           std::uint32_t version) {
    installed_header h{};
    store_be32(h.data(), crc);
    store_be32(h.data() + 4, length);
    store_be32(h.data() + 8, type);
    store_be32(h.data() + 12, version);
    return h;
}

class Installed : public ::testing::Test {
protected:
    void SetUp() override { mtd_open_all(); }

    // Puts `bytes` at `offset` of an otherwise erased partition.
    void install(std::string_view partition, std::uint32_t offset,
                 std::span<const std::uint8_t> bytes) {
        auto all = *sim::read_partition(board.root(), partition);
        std::copy(bytes.begin(), bytes.end(), all.begin() + offset);
        ASSERT_TRUE(sim::write_partition(board.root(), partition, all));
    }

    TempBoard board;
};

// Zeros for what has no copy; a partition that cannot be read still answers, with zeros.
TEST_F(Installed, WithoutACopyTheHeaderIsZeros) {
    installed_header got;
    got.fill(0x5A);
    EXPECT_EQ(console_of([&] { return read_installed_header(0x81706774, &got, 1); }),
              std::pair(std::string("Unknown image type 0x81706774 \n"), 0));
    EXPECT_EQ(got, installed_header{});
    EXPECT_EQ(read_installed_header(TYPE_KERNEL, nullptr, 0), 0);

    sim::FaultPlan plan;
    plan.missing = {"kernel"};
    ASSERT_TRUE(sim::set_fault_plan(board.root(), plan));
    mtd_open_all();
    got.fill(0x5A);
    EXPECT_EQ(read_installed_header(TYPE_KERNEL, &got, 0), 1);
    EXPECT_EQ(got, installed_header{});
}

installed_header first_16(std::span<const std::uint8_t> subimage) {
    installed_header h{};
    std::copy_n(subimage.begin(), h.size(), h.begin());
    return h;
}

TEST_F(Installed, SameVersionComparesTheWholeHeaderButTheBootLoadersCrc) {
    const auto kernel = testsupport::sealed_subimage(TYPE_KERNEL, 0x200, 3, 0x01020304);
    install("kernel", 0, kernel);
    const auto k = first_16(kernel);
    const std::uint32_t crc = load_be32(k.data());
    const std::uint32_t length = load_be32(k.data() + 4);
    // Nothing but this header is in the boot loader's partition: its body is never checked.
    install("uboot", 0xF0, header_of(0x2222, 0x300, TYPE_BOOTLOADER, 0x05060708));
    struct row {
        const char* what;
        installed_header candidate;
        int same;
    };
    const row rows[] = {
        {"kernel identical", k, 1},
        {"kernel other crc", header_of(crc ^ 1, length, TYPE_KERNEL, 0x01020304), 0},
        {"kernel other version", header_of(crc, length, TYPE_KERNEL, 0x01020305), 0},
        {"boot loader other crc", header_of(0x9999, 0x300, TYPE_BOOTLOADER, 0x05060708), 1},
        {"boot loader other length", header_of(0x2222, 0x301, TYPE_BOOTLOADER, 0x05060708), 0},
        {"boot loader other version", header_of(0x2222, 0x300, TYPE_BOOTLOADER, 0x05060709), 0},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(console_of([&] { return same_version_installed(r.candidate, 0); }),
                  std::pair(std::string(), r.same))
            << r.what;
    }
}

// A matching header over a body that a power cut or a fault left behind is not installed.
TEST_F(Installed, AMatchingHeaderCountsOnlyWhenTheWholeCopyIsIntact) {
    // Several check pieces and a short last one, so the CRC is carried from piece to piece.
    const auto image = testsupport::sealed_subimage(TYPE_DEVICETREE, 0x5123);
    struct row {
        const char* what;
        std::function<void(std::vector<std::uint8_t>&)> damage;
        int same;
    };
    const row rows[] = {
        {"intact", [](auto&) {}, 1},
        {"last byte changed", [](auto& b) { b.back() ^= 0x01; }, 0},
        {"a byte in a middle piece changed", [](auto& b) { b[0x2345] ^= 0x80; }, 0},
        {"lengths run past the partition",
         [](auto& b) {
             store_be32(b.data() + 4, 0x40000);
             store_be32(b.data(), 0);
         },
         0},
        {"header length beyond the total", [](auto& b) { store_be32(b.data() + 20, 0xFFFF); }, 0},
    };
    // The other flash types' partitions are found by the installer's same-version skips.
    for (const auto& r : rows) {
        auto copy = image;
        r.damage(copy);
        install("devicetree", 0, std::vector<std::uint8_t>(0x40000, 0xFF));
        install("devicetree", 0, copy);
        EXPECT_EQ(console_of([&] { return same_version_installed(first_16(copy), 0); }),
                  std::pair(std::string(), r.same))
            << r.what;
    }
}

}  // namespace
}  // namespace image
