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
#include "image/writer.hpp"
#include "in_process.hpp"
#include "sealed_subimage.hpp"
#include "sim/board.hpp"
#include "temp_board.hpp"

namespace image {
namespace {

using testsupport::console_of;

// Where each flash type's installed copy starts.
struct FlashType {
    std::uint32_t type;
    const char* partition;
    std::uint32_t offset;
};
constexpr FlashType flash_types[] = {{TYPE_BOOTLOADER, "uboot", 0xF0},
                                     {TYPE_KERNEL, "kernel", 0},
                                     {TYPE_RFS, "rfs", 0},
                                     {TYPE_DEVICETREE, "devicetree", 0},
                                     {TYPE_DIAGNOSTICS, "rescue", 0}};

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

TEST_F(Installed, EachFlashTypeReadsItsOwnCopy) {
    std::uint32_t version = 0x01000000;
    for (const auto& r : flash_types) {
        install(r.partition, r.offset, header_of(0xABCD, 0x100, r.type, ++version));
    }
    version = 0x01000000;
    for (const auto& r : flash_types) {
        installed_header got{};
        EXPECT_EQ(read_installed_header(r.type, &got, 0), 1) << r.partition;
        EXPECT_EQ(got, header_of(0xABCD, 0x100, r.type, ++version)) << r.partition;
    }
}

TEST_F(Installed, FailedFlashReadStillSucceedsWithZeros) {
    sim::FaultPlan plan;
    plan.missing = {"kernel"};
    ASSERT_TRUE(sim::set_fault_plan(board.root(), plan));
    mtd_open_all();
    installed_header got;
    got.fill(0x5A);
    EXPECT_EQ(read_installed_header(TYPE_KERNEL, &got, 0), 1);
    EXPECT_EQ(got, installed_header{});
}

TEST_F(Installed, RefusesWhatHasNoInstalledCopy) {
    installed_header got;
    got.fill(0x5A);
    EXPECT_EQ(console_of([&] { return read_installed_header(0x81706774, &got, 1); }),
              std::pair(std::string("Unknown image type 0x81706774 \n"), 0));
    EXPECT_EQ(got, installed_header{});
    EXPECT_EQ(read_installed_header(TYPE_KERNEL, nullptr, 0), 0);
    // No slot file on this machine.
    EXPECT_EQ(read_installed_header(TYPE_APPLICATION, &got, 3), 0);
}

installed_header first_16(std::span<const std::uint8_t> subimage) {
    installed_header h{};
    std::copy_n(subimage.begin(), h.size(), h.begin());
    return h;
}

TEST_F(Installed, SameVersionComparesWholeHeaderButTheBootLoadersCrc) {
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
        EXPECT_EQ(same_version_installed(r.candidate, 0), r.same) << r.what;
    }
}

// A matching header over a body that a power cut or a fault left behind is not installed.
TEST_F(Installed, AMatchingHeaderCountsOnlyWhenTheWholeCopyIsIntact) {
    // Several check pieces and a short last one, so the CRC is carried from piece to piece.
    const auto image = testsupport::sealed_subimage(TYPE_KERNEL, 0x5123);
    struct row {
        const char* what;
        std::function<void(std::vector<std::uint8_t>&)> damage;
        int same;
    };
    const row rows[] = {
        {"intact", [](auto&) {}, 1},
        {"last byte changed", [](auto& b) { b.back() ^= 0x01; }, 0},
        {"a byte in a middle piece changed", [](auto& b) { b[0x2345] ^= 0x80; }, 0},
        {"only the first 1 KiB programmed",
         [](auto& b) { std::fill(b.begin() + 0x400, b.end(), 0xFF); }, 0},
        {"lengths run past the partition",
         [](auto& b) {
             store_be32(b.data() + 4, 0x40000);
             store_be32(b.data(), 0);
         },
         0},
        {"header length beyond the total", [](auto& b) { store_be32(b.data() + 20, 0xFFFF); }, 0},
    };
    for (const auto& [type, partition, offset] : flash_types) {
        if (type == TYPE_BOOTLOADER) {
            continue;  // only its header is compared
        }
        auto typed = image;
        store_be32(typed.data() + 8, type);
        seal_subimage(typed);
        for (const auto& r : rows) {
            auto copy = typed;
            r.damage(copy);
            install(partition, 0, std::vector<std::uint8_t>(0x40000, 0xFF));
            install(partition, 0, copy);
            EXPECT_EQ(console_of([&] { return same_version_installed(first_16(copy), 0); }),
                      std::pair(std::string(), r.same))
                << partition << ": " << r.what;
        }
    }
}

TEST_F(Installed, FlaggedTypeWordNeverCountsAsInstalled) {
    install("kernel", 0, header_of(0x1111, 0x200, TYPE_KERNEL | 0x80000000, 0x01020304));
    const auto flagged = header_of(0x1111, 0x200, TYPE_KERNEL | 0x80000000, 0x01020304);
    EXPECT_EQ(console_of([&] { return same_version_installed(flagged, 0); }),
              std::pair(std::string("Unknown image type 0x83706774 \n"), 0));
}

}  // namespace
}  // namespace image
