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
#include "sim/board.hpp"
#include "temp_board.hpp"

namespace image {
namespace {

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

    std::string captured(const std::function<void()>& op) {
        std::fflush(stdout);
        ::testing::internal::CaptureStdout();
        op();
        std::fflush(stdout);
        return ::testing::internal::GetCapturedStdout();
    }

    TempBoard board;
};

TEST_F(Installed, EachFlashTypeReadsItsOwnCopy) {
    struct row {
        std::uint32_t type;
        const char* partition;
        std::uint32_t offset;
    };
    const row rows[] = {{TYPE_BOOTLOADER, "uboot", 0xF0},
                        {TYPE_KERNEL, "kernel", 0},
                        {TYPE_RFS, "rfs", 0},
                        {TYPE_DEVICETREE, "devicetree", 0},
                        {TYPE_DIAGNOSTICS, "rescue", 0}};
    std::uint32_t version = 0x01000000;
    for (const auto& r : rows) {
        install(r.partition, r.offset, header_of(0xABCD, 0x100, r.type, ++version));
    }
    version = 0x01000000;
    for (const auto& r : rows) {
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
    int rc = -1;
    EXPECT_EQ(captured([&] { rc = read_installed_header(0x81706774, &got, 1); }),
              "Unknown image type 0x81706774 \n");
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(got, installed_header{});
    EXPECT_EQ(read_installed_header(TYPE_KERNEL, nullptr, 0), 0);
    // No slot file on this machine.
    EXPECT_EQ(read_installed_header(TYPE_APPLICATION, &got, 3), 0);
}

std::vector<std::uint8_t> sealed(std::uint32_t type, std::uint32_t version, std::size_t payload) {
    std::vector<std::uint8_t> bytes(payload);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    return *make_subimage({type, version, 3, {}, bytes});
}

installed_header first_16(std::span<const std::uint8_t> subimage) {
    installed_header h{};
    std::copy_n(subimage.begin(), h.size(), h.begin());
    return h;
}

TEST_F(Installed, SameVersionComparesWholeHeaderButTheBootLoadersCrc) {
    const auto kernel = sealed(TYPE_KERNEL, 0x01020304, 0x200);
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
    const std::pair<std::uint32_t, const char*> types[] = {{TYPE_KERNEL, "kernel"},
                                                           {TYPE_RFS, "rfs"},
                                                           {TYPE_DEVICETREE, "devicetree"},
                                                           {TYPE_DIAGNOSTICS, "rescue"}};
    // Several check pieces and a short last one, so the CRC is carried from piece to piece.
    const auto image = sealed(TYPE_KERNEL, 0x01000000, 0x5123);
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
    for (const auto& [type, partition] : types) {
        auto typed = image;
        store_be32(typed.data() + 8, type);
        seal_subimage(typed);
        for (const auto& r : rows) {
            auto copy = typed;
            r.damage(copy);
            install(partition, 0, std::vector<std::uint8_t>(0x40000, 0xFF));
            install(partition, 0, copy);
            int same = -1;
            const std::string out =
                captured([&] { same = same_version_installed(first_16(copy), 0); });
            EXPECT_EQ(same, r.same) << partition << ": " << r.what;
            EXPECT_EQ(out, "") << partition << ": " << r.what;
        }
    }
}

TEST_F(Installed, FlaggedTypeWordNeverCountsAsInstalled) {
    install("kernel", 0, header_of(0x1111, 0x200, TYPE_KERNEL | 0x80000000, 0x01020304));
    int same = -1;
    EXPECT_EQ(captured([&] {
                  same = same_version_installed(
                      header_of(0x1111, 0x200, TYPE_KERNEL | 0x80000000, 0x01020304), 0);
              }),
              "Unknown image type 0x83706774 \n");
    EXPECT_EQ(same, 0);
}

TEST_F(Installed, ListingShowsEveryRowEvenWhenNothingIsThere) {
    install("uboot", 0xF0, header_of(0, 0, TYPE_BOOTLOADER, 0x0102030A));
    install("rfs", 0, header_of(0, 0, TYPE_RFS, 0xFFFFFFFF));
    install("kernel", 0, header_of(0, 0, TYPE_KERNEL, 0x00000001));
    int rc = -1;
    EXPECT_EQ(captured([&] { rc = list_installed_versions(); }),
              "Installed images versions: \n"
              "\tBoot image  : 1.2.3.10\n"
              "\tRFS image   : 255.255.255.255\n"
              "\tKernel image: 0.0.0.1\n"
              "\tDFT image   : 255.255.255.255\n"  // erased flash
              "\tOS image 1  : 0.0.0.0\n"
              "\tOS image 2  : 0.0.0.0\n");
    EXPECT_EQ(rc, 0);
}

}  // namespace
}  // namespace image
