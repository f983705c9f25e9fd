#include <gtest/gtest.h>

#include "boot/app_start.hpp"
#include "boot_support.hpp"
#include "image/byte_order.hpp"

namespace {

using namespace boardtest;

constexpr int returned = 10;

void put_rescue(const Board& board, const Bytes& content) {
    ASSERT_TRUE(sim::write_partition(board.root(), "rescue", content));
}

Result boot_rescue(Board& board, const std::vector<std::string>& strokes = {}) {
    return board.run(
        [] {
            prepare_platform();
            return returned + boot_rescue_partition();
        },
        strokes);
}

const char* const question =
    "Install recovery image as image 1 or 2 (hit return to just boot image): ";

struct AnswerCase {
    const char* name;
    const char* typed;
    const char* console;  // after the question
    int slot;             // the slot that receives the image, or 0
    std::uint8_t booted;  // the booted-image byte afterwards
};

class RecoveryQuestion : public testing::TestWithParam<AnswerCase> {};

TEST_P(RecoveryQuestion, InstallsIntoTheSlotNamedOrJustBoots) {
    const AnswerCase& c = GetParam();
    Board board;
    const Bytes recovery = subimage(image::TYPE_APPLICATION, application_tarball());
    put_rescue(board, recovery);
    const auto result = boot_rescue(board, {c.typed});
    EXPECT_EQ(result.console, std::string(question) + c.console + app_banner);
    EXPECT_EQ(eeprom_byte(board, booted_image_offset), c.booted);
    for (const int slot : {1, 2}) {
        const auto file = board.root() / ("user/images/image" + std::to_string(slot));
        if (slot == c.slot) {
            EXPECT_EQ(read_bytes(file), recovery);
        } else {
            EXPECT_FALSE(std::filesystem::exists(file));
        }
    }
    EXPECT_EQ(eeprom_byte(board, boot_slot_offset), c.slot == 0 ? 0xFF : c.slot);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RecoveryQuestion,
    testing::Values(
        AnswerCase{"One", "1\n",
                   "1\r\n\r\nInstalling recovery image as image1...\r\nSetting boot image to 1\r\n",
                   1, 1},
        AnswerCase{"Two", "2\n",
                   "2\r\n\r\nInstalling recovery image as image2...\r\nSetting boot image to 2\r\n",
                   2, 2},
        AnswerCase{"Enter", "\n",
                   "\r\n\r\nBooting recovery image. You will need to download and install an "
                   "image before rebooting\r\n",
                   0, 4},
        AnswerCase{"EndOfInput", "\x04", "", 0, 0xFF}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RescueBoot, LaunchesTheDiagnosticsImage) {
    Board board;
    put_rescue(board, subimage(image::TYPE_DIAGNOSTICS, diagnostics_tarball()));
    const auto result = boot_rescue(board);
    EXPECT_EQ(result.console, std::string("Launching diagnostics image\r\n") + diags_banner);
    EXPECT_EQ(eeprom_byte(board, booted_image_offset), 4);
}

Bytes huge_claim() {
    Bytes sub = subimage(image::TYPE_APPLICATION, application_tarball(), 1);
    image::store_be32(sub.data() + 4, 0xFFFFFFE0);
    return sub;
}

struct RefusalCase {
    const char* name;
    std::function<Bytes()> partition;
    const char* console;
};

class RescueRefusal : public testing::TestWithParam<RefusalCase> {};

TEST_P(RescueRefusal, ReturnsWithoutBooting) {
    Board board;
    put_rescue(board, GetParam().partition());
    const auto result = boot_rescue(board);
    EXPECT_EQ(result.exit_code, returned);
    EXPECT_EQ(result.console, GetParam().console);
    EXPECT_EQ(board.journal(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Table, RescueRefusal,
    testing::Values(RefusalCase{"Kernel", [] { return subimage(image::TYPE_KERNEL, Bytes(64, 1)); },
                                "Image not found... \r\n"},
                    RefusalCase{"Erased", [] { return Bytes(); }, "Image not found... \r\n"},
                    RefusalCase{"Damaged",
                                [] {
                                    Bytes sub =
                                        subimage(image::TYPE_DIAGNOSTICS, diagnostics_tarball());
                                    sub[sub.size() / 2] ^= 0x80;
                                    return sub;
                                },
                                "Image CRC failed. Quitting\r\n"},
                    RefusalCase{"LengthsPastThePartition", huge_claim,
                                "Image CRC failed. Quitting\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
