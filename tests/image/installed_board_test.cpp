// Installed application headers come from the slot files on /user, which only a board has.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "board_session.hpp"
#include "hw/mtd.hpp"
#include "image/byte_order.hpp"
#include "image/installed.hpp"
#include "image/versions.hpp"
#include "image/writer.hpp"
#include "sealed_subimage.hpp"
#include "sim/board.hpp"
#include "test_images.hpp"

namespace image {
namespace {

using boardtest::Board;
using boardtest::operator+;

std::vector<std::uint8_t> header_of(std::uint32_t type, std::uint32_t version) {
    std::vector<std::uint8_t> h(16);
    store_be32(h.data() + 8, type);
    store_be32(h.data() + 12, version);
    return h;
}

void write_slot(const Board& board, int slot, std::span<const std::uint8_t> bytes) {
    boardtest::write_bytes(board.root() / ("user/images/image" + std::to_string(slot)), bytes);
}

// Every row, also for erased flash and a missing slot file.
TEST(InstalledOnBoard, ListingReadsTheFirstHeaderOfEachPartitionAndSlotFile) {
    Board board;
    auto uboot = std::vector<std::uint8_t>(0xF0, 0xFF) + header_of(TYPE_BOOTLOADER, 0x0102030A);
    ASSERT_TRUE(sim::write_partition(board.root(), "uboot", uboot));
    ASSERT_TRUE(sim::write_partition(board.root(), "kernel", header_of(TYPE_KERNEL, 1)));
    auto slot1 = header_of(TYPE_APPLICATION, 0x0A030201);
    slot1.resize(64, 0xEE);  // the rest of the sub-image is not looked at
    write_slot(board, 1, slot1);
    const auto result = board.run([] {
        mtd_open_all();
        return list_installed_versions();
    });
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.console,
              "Installed images versions: \r\n"
              "\tBoot image  : 1.2.3.10\r\n"
              "\tRFS image   : 255.255.255.255\r\n"
              "\tKernel image: 0.0.0.1\r\n"
              "\tDFT image   : 255.255.255.255\r\n"
              "\tOS image 1  : 10.3.2.1\r\n"
              "\tOS image 2  : 0.0.0.0\r\n");
}

// The answer for each slot, as bits of the exit status: slot 1 in bit 0, slot 2 in bit 1. Slot 1
// always holds the offered image; slot 2 holds what the row says. Headers that differ and bodies
// that do not match their crc are the partitions' tests; these rows are the slot file's own.
TEST(InstalledOnBoard, SameVersionLooksAtTheChosenSlotOnlyAndWantsItWhole) {
    const auto same = testsupport::sealed_subimage(TYPE_APPLICATION, 0x3001);
    const auto cut = [&](std::size_t size) {
        return std::vector<std::uint8_t>(same.begin(),
                                         same.begin() + static_cast<std::ptrdiff_t>(size));
    };
    auto trailing = same;
    trailing.resize(same.size() + 100, 0xEE);
    struct row {
        const char* what;
        std::vector<std::uint8_t> slot2;  // empty: no file
        int answers;
    };
    const row rows[] = {
        {"slot 2 missing", {}, 1},
        {"slot 2 identical", same, 3},
        {"slot 2 identical with bytes after it", trailing, 3},
        {"slot 2 shorter than a header", cut(12), 1},
        {"slot 2 cut one byte short", cut(same.size() - 1), 1},
    };
    installed_header offered{};
    std::copy_n(same.begin(), offered.size(), offered.begin());
    for (const auto& r : rows) {
        Board board;
        write_slot(board, 1, same);
        if (!r.slot2.empty()) {
            write_slot(board, 2, r.slot2);
        }
        const auto result = board.run([&] {
            return same_version_installed(offered, 1) | (same_version_installed(offered, 2) << 1);
        });
        EXPECT_EQ(result.exit_code, r.answers) << r.what;
        EXPECT_EQ(result.console, "") << r.what;
    }
}

}  // namespace
}  // namespace image
