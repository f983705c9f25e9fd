// Installed application headers come from the slot files on /user, which only a board has. The
// version listing is the rescue menu's v key.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "board_session.hpp"
#include "image/installed.hpp"
#include "sealed_subimage.hpp"
#include "test_images.hpp"

namespace image {
namespace {

using boardtest::Board;

void write_slot(const Board& board, int slot, std::span<const std::uint8_t> bytes) {
    boardtest::write_bytes(board.root() / ("user/images/image" + std::to_string(slot)), bytes);
}

// The answer for each slot, as bits of the exit status: slot 1 in bit 0, slot 2 in bit 1. Slot 1
// always holds the offered image; slot 2 holds what the row says. Headers that differ, bodies that
// do not match their crc and bytes after the copy are the partitions' tests; these rows are the
// slot file's own.
TEST(InstalledOnBoard, SameVersionLooksAtTheChosenSlotOnlyAndWantsItWhole) {
    const auto same = testsupport::sealed_subimage(TYPE_APPLICATION, 0x3001);
    const auto cut = [&](std::size_t size) {
        return std::vector<std::uint8_t>(same.begin(),
                                         same.begin() + static_cast<std::ptrdiff_t>(size));
    };
    struct row {
        const char* what;
        std::vector<std::uint8_t> slot2;  // empty: no file
        int answers;
    };
    const row rows[] = {
        {"slot 2 missing", {}, 1},
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
