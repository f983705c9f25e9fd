#include <gtest/gtest.h>

#include "boot/slot_boot.hpp"
#include "boot/startup.hpp"
#include "boot_support.hpp"
#include "flags.hpp"
#include "image/byte_order.hpp"

namespace {

using namespace boardtest;
using image::TYPE_APPLICATION;
using image::TYPE_DIAGNOSTICS;
using image::TYPE_KERNEL;
using image::TYPE_KXOS;

using Content = Bytes (*)();

Bytes bad_crc() {
    return damaged(good_app());
}

Bytes kernel_only() {
    return subimage(TYPE_KERNEL, Bytes(100, 0x5A));
}

Bytes with_alternative(std::uint32_t type, std::uint32_t alternative, const Bytes& payload) {
    return subimage(type, payload, 3, {image::alternative_type_record(alternative)});
}

// A record of length 0 ahead of an alternative type record that would make the sub-image an
// application.
Bytes zero_length_record_first() {
    Bytes sub = subimage(TYPE_KXOS, application_tarball(), 3,
                         {{7, {0, 0, 0, 0}}, image::alternative_type_record(TYPE_APPLICATION)});
    image::store_be16(sub.data() + 26, 0);
    image::seal_subimage(sub);
    return sub;
}

// A header whose total wraps to zero in 32 bits, ahead of a good sub-image: the scan ends on it
// instead of standing still. The other length faults are the header checks' own.
Bytes wrapping_total() {
    Bytes bytes(64, 0);
    image::store_be32(bytes.data() + 4, 0xFFFFFFF0);
    image::store_be32(bytes.data() + 8, TYPE_APPLICATION);
    image::store_be32(bytes.data() + 16, image::hdr3_magic);
    image::store_be16(bytes.data() + 22, 24);
    image::seal_subimage(std::span(bytes).first(24));
    return bytes + good_app();
}

struct BootCase {
    const char* name;
    Content slot1 = nullptr;  // no file when null
    Content slot2 = nullptr;
    int choice = 1;
    std::string console;
    std::string journal{};
    int exit_code = returned;
    std::uint8_t booted = 0xFF;  // the booted-image byte afterwards
    bool second = false;
    bool shell = false;
    Content usb = nullptr;  // the drive's image, booted by choice 3
};

class SlotBoot : public testing::TestWithParam<BootCase> {};

TEST_P(SlotBoot, BootsReportsAndReturnsOrGivesUp) {
    const BootCase& c = GetParam();
    Board board;
    for (const auto& [path, content] :
         {std::pair{"user/images/image1", c.slot1}, std::pair{"user/images/image2", c.slot2},
          std::pair{"mnt/usb/ZKM7730_OS.img", c.usb}}) {
        if (content != nullptr) {
            write_bytes(board.root() / path, content());
        }
    }
    // Wherever the rescue menu appears the operator leaves it with Exit: typed at the console,
    // or, when a shell follows, as the first byte of the shell's input.
    const auto result = board.run(
        [&c] {
            prepare_platform();
            const testflags::ScopedFlags flags(
                {.second_attempt = c.second ? 1 : 0, .shell_mode = c.shell ? 1 : 0});
            if (c.shell) {
                shell_runs(std::string("e") + shell_records);
            }
            return returned + boot_image_slot(c.choice);
        },
        keys("e"), Terminal{.echo = false});
    EXPECT_EQ(result.console, c.console);
    EXPECT_EQ(board.journal(), c.journal);
    EXPECT_EQ(result.exit_code, c.exit_code);
    EXPECT_EQ(eeprom_byte(board, booted_image_offset), c.booted);
}

const std::string invalid_one =
    "Image has invalid header 0x1706774. (0x6706774)\r\n"
    "Image1 has invalid header... trying Image2.\r\n";
const std::string invalid_kxos_one =
    "Image has invalid header 0x8706774. (0x6706774)\r\n"
    "Image1 has invalid header... trying Image2.\r\n";
const std::string no_valid =
    "No valid application image found. Trying rescue image\r\n" + rescue_exit;

INSTANTIATE_TEST_SUITE_P(
    Failures, SlotBoot,
    testing::Values(
        BootCase{
            "SlotOneMissingBootsTwo", nullptr, good_app, 1,
            "Failed to open Application image 1. Trying image 2.\r\n" + std::string(app_banner),
            "backtrace\n", 0, 2},
        BootCase{"ShortFileHasNothingBootable", good_app, [] { return Bytes(23, 0); }, 2,
                 "Image has invalid header 0x0. (0x6706774)\r\n"
                 "Image2 has invalid header... trying Image1.\r\n"},
        BootCase{"BadCrcEndsTheScanAtOnce", good_app, [] { return bad_crc() + good_app(); }, 2,
                 "Image2 CRC failed, trying Image1 now.\r\n"},
        BootCase{"BadCrcSecondAttemptReboots", bad_crc, good_app, 1,
                 "Both image1 and image2 failed.\r\n", "reboot\n", 0, 0xFF, true},
        BootCase{"ChoiceZeroRefusedAtOnce", good_app, nullptr, 0, ""},
        BootCase{"ChoiceFourRefusedAtOnce", good_app, nullptr, 4, ""},
        BootCase{"UsbMissing", nullptr, nullptr, 3,
                 "Failed to open application image from USB.\r\n"},
        BootCase{
            .name = "UsbDamaged", .choice = 3, .console = "USB image CRC failed.", .usb = bad_crc},
        BootCase{.name = "UsbNothingBootable",
                 .choice = 3,
                 .console = "Error: USB image corrupted or belongs to another switch type.\r\n",
                 .usb = kernel_only},
        // The second attempt finds nothing bootable: the rescue menu comes first, and its Exit
        // leads to the shell (in shell mode) and the reboot. Start-up shows the same when neither
        // slot file opens.
        BootCase{"NothingBootableSecondAttemptRescueShellThenReboot", kernel_only, good_app, 1,
                 no_valid, "shell\nreboot\n", 0, 0xFF, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

// Which sub-image of a slot file boots, and as what.
INSTANTIATE_TEST_SUITE_P(
    Scan, SlotBoot,
    testing::Values(
        BootCase{"KxosThenApplication",
                 [] {
                     return subimage(TYPE_KXOS, Bytes(300, 0x11), 1) +
                            subimage(TYPE_APPLICATION, application_tarball(), 2);
                 },
                 nullptr, 1, app_banner, "backtrace\n", 0, 1},
        BootCase{
            "KxosRecordApplication",
            [] { return with_alternative(TYPE_KXOS, TYPE_APPLICATION, application_tarball()); },
            nullptr, 1, app_banner, "backtrace\n", 0, 1},
        BootCase{
            "KxosRecordDiagnostics", nullptr,
            [] { return with_alternative(TYPE_KXOS, TYPE_DIAGNOSTICS, diagnostics_tarball()); }, 2,
            diags_banner, "backtrace\n", 0, 2},
        BootCase{"RecordOfAnotherFamilyIgnored",
                 [] { return with_alternative(TYPE_KXOS, 0x01123456, application_tarball()); },
                 nullptr, 1, invalid_kxos_one},
        BootCase{"ZeroLengthRecordEndsTheWalkAndIsReported", zero_length_record_first, nullptr, 1,
                 "Image header error\r\n" + invalid_kxos_one},
        BootCase{"TotalWrapsToZero", wrapping_total, nullptr, 1, invalid_one}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SlotBoot, TarballThatCannotBeCreatedEndsInAReboot) {
    Board board;
    put_slot(board, 1, good_app());
    std::filesystem::create_directories(board.root() / "tmp/varosimage.tar.gz");
    const auto result = board.run([] {
        prepare_platform();
        return returned + boot_image_slot(1);
    });
    EXPECT_EQ(result.console, "Failed to open application image output file.\r\n");
    EXPECT_EQ(board.journal(), "reboot\n");
}

// The first boot lists the drive's image and boots it; the next asks before booting it again.
TEST(UsbBoot, FirstBootListsTheImageAndTheNextAsks) {
    Board board;
    write_bytes(board.root() / "mnt/usb/ZKM7730_OS.img", good_app());
    const auto boot_usb = [] {
        prepare_platform();
        return returned + boot_image_slot(3);
    };
    const auto first = board.run(boot_usb);
    EXPECT_EQ(first.console, app_banner);
    EXPECT_EQ(eeprom_byte(board, booted_image_offset), 3);
    const auto unanswered = board.run(boot_usb);
    EXPECT_EQ(unanswered.exit_code, returned);
    EXPECT_EQ(unanswered.console,
              "USB image is in rejected list.\r\nWould you still like to load it? (y/n) \r\n"
              "Timeout. Assuming \"no\".\r\n");
}

}  // namespace
