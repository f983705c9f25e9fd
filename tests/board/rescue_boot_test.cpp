#include <gtest/gtest.h>

#include "boot/app_start.hpp"
#include "boot_support.hpp"
#include "image/byte_order.hpp"

namespace {

using namespace boardtest;

const std::string question =
    "Install recovery image as image 1 or 2 (hit return to just boot image): ";
const std::string bad_crc = "Image CRC failed. Quitting\r\n";

Bytes damaged_diagnostics() {
    Bytes sub = subimage(image::TYPE_DIAGNOSTICS, diagnostics_tarball());
    sub[sub.size() / 2] ^= 0x80;
    return sub;
}

Bytes lengths_past_the_partition() {
    Bytes sub = subimage(image::TYPE_APPLICATION, application_tarball(), 1);
    image::store_be32(sub.data() + 4, 0xFFFFFFE0);
    return sub;
}

std::string installed_as(const std::string& slot) {
    return question + slot + "\r\n\r\nInstalling recovery image as image" + slot +
           "...\r\nSetting boot image to " + slot + "\r\n" + app_banner;
}

struct RescueCase {
    const char* name;
    Bytes (*partition)();
    std::string typed{};
    std::string console;
    int slot = 0;                // the slot that receives the image, or 0
    std::uint8_t booted = 0xFF;  // the booted-image byte afterwards
};

class RescuePartition : public testing::TestWithParam<RescueCase> {};

TEST_P(RescuePartition, BootsInstallsOrReturns) {
    const RescueCase& c = GetParam();
    Board board;
    const Bytes content = c.partition();
    ASSERT_TRUE(sim::write_partition(board.root(), "rescue", content));
    const auto result = board.run(
        [] {
            prepare_platform();
            return returned + boot_rescue_partition();
        },
        std::vector<std::string>(c.typed.empty() ? 0 : 1, c.typed));
    EXPECT_EQ(result.console, c.console);
    EXPECT_EQ(result.exit_code == returned, c.console == bad_crc);
    EXPECT_EQ(eeprom_byte(board, booted_image_offset), c.booted);
    EXPECT_EQ(eeprom_byte(board, boot_slot_offset), c.slot == 0 ? 0xFF : c.slot);
    for (const int slot : {1, 2}) {
        const auto file = board.root() / ("user/images/image" + std::to_string(slot));
        EXPECT_EQ(read_bytes(file), slot == c.slot ? content : Bytes()) << slot;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, RescuePartition,
    testing::Values(
        RescueCase{"recovery_into_slot_one", good_app, "1\n", installed_as("1"), 1, 1},
        RescueCase{"recovery_into_slot_two", good_app, "2\n", installed_as("2"), 2, 2},
        RescueCase{.name = "recovery_just_booted",
                   .partition = good_app,
                   .typed = "\n",
                   .console = question +
                              "\r\n\r\nBooting recovery image. You will need to download and "
                              "install an image before rebooting\r\n" +
                              app_banner,
                   .booted = 4},
        RescueCase{"recovery_without_an_answer", good_app, "\x04", question + app_banner},
        RescueCase{
            .name = "diagnostics",
            .partition = [] { return subimage(image::TYPE_DIAGNOSTICS, diagnostics_tarball()); },
            .console = std::string("Launching diagnostics image\r\n") + diags_banner,
            .booted = 4},
        // A partition with neither an application nor diagnostics is the diagnostics launch's.
        RescueCase{"damaged", damaged_diagnostics, "", bad_crc},
        RescueCase{"lengths_past_the_partition", lengths_past_the_partition, "", bad_crc}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
