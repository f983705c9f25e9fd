// Installed application headers come from the slot files on /user, which only a board has.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <span>
#include <vector>

#include "board_session.hpp"
#include "hw/mtd.hpp"
#include "image/byte_order.hpp"
#include "image/header.hpp"
#include "image/installed.hpp"
#include "image/versions.hpp"
#include "image/writer.hpp"

namespace image {
namespace {

using boardtest::Board;

installed_header app_header(std::uint32_t version) {
    installed_header h{};
    store_be32(h.data(), 0x12345678);
    store_be32(h.data() + 4, 0x40);
    store_be32(h.data() + 8, TYPE_APPLICATION);
    store_be32(h.data() + 12, version);
    return h;
}

void write_slot(const Board& board, int slot, std::span<const std::uint8_t> bytes) {
    const auto dir = board.root() / "user/images";
    std::filesystem::create_directories(dir);
    std::ofstream(dir / ("image" + std::to_string(slot)), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

TEST(InstalledOnBoard, ListingReadsTheFirstHeaderOfEachSlotFile) {
    Board board;
    const auto header = app_header(0x0102030A);
    std::vector<std::uint8_t> slot1(header.begin(), header.end());
    slot1.resize(64, 0xEE);  // the rest of the sub-image is not looked at
    write_slot(board, 1, slot1);
    const auto result = board.run([] {
        mtd_open_all();
        return list_installed_versions();
    });
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.console,
              "Installed images versions: \r\n"
              "\tBoot image  : 255.255.255.255\r\n"
              "\tRFS image   : 255.255.255.255\r\n"
              "\tKernel image: 255.255.255.255\r\n"
              "\tDFT image   : 255.255.255.255\r\n"
              "\tOS image 1  : 1.2.3.10\r\n"
              "\tOS image 2  : 0.0.0.0\r\n");
}

std::vector<std::uint8_t> sealed_app(std::uint32_t version) {
    // Longer than one check piece, so the CRC runs over several.
    const std::vector<std::uint8_t> payload(0x3001, 0xA5);
    return *make_subimage({TYPE_APPLICATION, version, 3, {}, payload});
}

// The answer for each slot, as bits of the exit status: slot 1 in bit 0, slot 2 in bit 1. Slot 1
// always holds the offered image; slot 2 holds what the row says.
TEST(InstalledOnBoard, SameVersionLooksAtTheChosenSlotOnlyAndWantsItWhole) {
    const auto same = sealed_app(0x01000000);
    const auto other = sealed_app(0x01000001);
    const auto cut = [&](std::size_t size) {
        return std::vector<std::uint8_t>(same.begin(),
                                         same.begin() + static_cast<std::ptrdiff_t>(size));
    };
    auto damaged = same;
    damaged[0x2800] ^= 0x10;
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
        {"slot 2 other version", other, 1},
        {"slot 2 shorter than a header", cut(12), 1},
        {"slot 2 header only", cut(header_common_size), 1},
        {"slot 2 cut one byte short", cut(same.size() - 1), 1},
        {"slot 2 damaged in its body", damaged, 1},
    };
    const installed_header offered = [&] {
        installed_header h{};
        std::copy_n(same.begin(), h.size(), h.begin());
        return h;
    }();
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
