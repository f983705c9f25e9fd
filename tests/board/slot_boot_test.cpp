#include <gtest/gtest.h>

#include <functional>

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

enum class Slot { missing, good, bad_crc, bad_then_good, kernel_only, short_file };

Bytes content(Slot slot) {
    switch (slot) {
        case Slot::good:
            return good_app();
        case Slot::bad_crc:
            return damaged(good_app());
        case Slot::bad_then_good:
            return damaged(good_app()) + good_app();
        case Slot::kernel_only:
            return subimage(TYPE_KERNEL, Bytes(100, 0x5A));
        case Slot::short_file:
            return Bytes(23, 0);
        case Slot::missing:
            break;
    }
    return {};
}

struct FailureCase {
    const char* name;
    Slot slot1;
    Slot slot2;
    int choice;
    bool second;
    bool shell;
    std::string console;
    const char* journal;
    int exit_code;
};

class SlotBootFailure : public testing::TestWithParam<FailureCase> {};

TEST_P(SlotBootFailure, ReportsAndReturnsOrGivesUp) {
    const FailureCase& c = GetParam();
    Board board;
    for (const auto& [slot, kind] : {std::pair{1, c.slot1}, std::pair{2, c.slot2}}) {
        if (kind != Slot::missing) {
            put_slot(board, slot, content(kind));
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
}

INSTANTIATE_TEST_SUITE_P(
    Table, SlotBootFailure,
    testing::Values(
        FailureCase{"SlotOneMissingBootsTwo", Slot::missing, Slot::good, 1, false, false,
                    "Failed to open Application image 1. Trying image 2.\r\n"
                    "backtrace: starting /tmp/home/bin/mp.elf.strip\r\napplication up\r\n",
                    "backtrace\n", 0},
        FailureCase{"SlotTwoMissingBootsOne", Slot::good, Slot::missing, 2, true, false,
                    "Failed to open Application image 2. Trying image 1.\r\n"
                    "backtrace: starting /tmp/home/bin/mp.elf.strip\r\napplication up\r\n",
                    "backtrace\n", 0},
        FailureCase{"NothingBootableFirstAttemptReturns", Slot::kernel_only, Slot::good, 1, false,
                    false,
                    "Image has invalid header 0x3706774. (0x6706774)\r\n"
                    "Image1 has invalid header... trying Image2.\r\n",
                    "", returned},
        FailureCase{"ShortFileHasNothingBootable", Slot::good, Slot::short_file, 2, false, false,
                    "Image has invalid header 0x0. (0x6706774)\r\n"
                    "Image2 has invalid header... trying Image1.\r\n",
                    "", returned},
        FailureCase{"BadCrcFirstAttemptReturns", Slot::bad_crc, Slot::good, 1, false, false,
                    "Image1 CRC failed, trying Image2 now.\r\n", "", returned},
        FailureCase{"BadCrcEndsTheScanAtOnce", Slot::good, Slot::bad_then_good, 2, false, false,
                    "Image2 CRC failed, trying Image1 now.\r\n", "", returned},
        FailureCase{"BadCrcSecondAttemptReboots", Slot::bad_crc, Slot::good, 1, true, false,
                    "Both image1 and image2 failed.\r\n", "reboot\n", 0}),
    [](const auto& info) { return std::string(info.param.name); });

// Neither slot file opens, or the second attempt finds nothing bootable: the rescue menu comes
// first, and its Exit leads to the shell (in shell mode) and the reboot.
INSTANTIATE_TEST_SUITE_P(
    RescueMenuThenReboot, SlotBootFailure,
    testing::Values(
        FailureCase{"BothMissingRescueThenReboot", Slot::missing, Slot::missing, 1, false, false,
                    "Failed to open Application image 1. Trying image 2.\r\n"
                    "Failed to open Application image 2.\r\n" +
                        rescue_exit,
                    "reboot\n", 0},
        FailureCase{"BothMissingRescueShellThenReboot", Slot::missing, Slot::missing, 2, true, true,
                    "Failed to open Application image 2. Trying image 1.\r\n"
                    "Failed to open Application image 1.\r\n" +
                        rescue_exit,
                    "shell\nreboot\n", 0},
        FailureCase{"NothingBootableSecondAttemptRescueThenReboot", Slot::kernel_only, Slot::good,
                    1, true, false,
                    "No valid application image found. Trying rescue image\r\n" + rescue_exit,
                    "reboot\n", 0},
        FailureCase{"NothingBootableSecondAttemptRescueShellThenReboot", Slot::kernel_only,
                    Slot::good, 1, true, true,
                    "No valid application image found. Trying rescue image\r\n" + rescue_exit,
                    "shell\nreboot\n", 0}),
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

TEST(SlotBoot, OtherChoicesAreRefusedAtOnce) {
    Board board;
    put_slot(board, 1, good_app());
    const auto result = board.run([] {
        prepare_platform();
        return returned + boot_image_slot(0) + boot_image_slot(4);
    });
    EXPECT_EQ(result.exit_code, returned);
    EXPECT_EQ(result.console, "");
}

// Which sub-image of a slot file boots, and as what; the booted-image byte names the slot.
struct ScanCase {
    const char* name;
    std::function<Bytes()> slot;
    const char* console;  // "" when nothing in the slot boots
};

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

class SlotScan : public testing::TestWithParam<ScanCase> {};

TEST_P(SlotScan, BootsTheFirstApplicationOrDiagnosticsSubImage) {
    for (const int slot : {1, 2}) {
        Board board;
        put_slot(board, slot, GetParam().slot());
        const auto result = board.run([slot] {
            prepare_platform();
            return returned + boot_image_slot(slot);
        });
        const std::string expected = GetParam().console;
        if (expected.empty()) {
            EXPECT_EQ(result.exit_code, returned);
            EXPECT_EQ(eeprom_byte(board, booted_image_offset), 0xFF);
            continue;
        }
        EXPECT_EQ(result.console, expected);
        EXPECT_EQ(board.journal(), "backtrace\n");
        EXPECT_EQ(eeprom_byte(board, booted_image_offset), slot);
        EXPECT_FALSE(std::filesystem::exists(board.root() / "tmp/varosimage.tar.gz"));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, SlotScan,
    testing::Values(
        ScanCase{"KxosThenApplication",
                 [] {
                     return subimage(TYPE_KXOS, Bytes(300, 0x11), 1) +
                            subimage(TYPE_APPLICATION, application_tarball(), 2);
                 },
                 app_banner},
        ScanCase{
            "KxosRecordApplication",
            [] { return with_alternative(TYPE_KXOS, TYPE_APPLICATION, application_tarball()); },
            app_banner},
        ScanCase{
            "KxosRecordDiagnostics",
            [] { return with_alternative(TYPE_KXOS, TYPE_DIAGNOSTICS, diagnostics_tarball()); },
            diags_banner},
        ScanCase{"ApplicationRecordDiagnostics",
                 [] {
                     return with_alternative(TYPE_APPLICATION, TYPE_DIAGNOSTICS,
                                             diagnostics_tarball());
                 },
                 diags_banner},
        ScanCase{"RecordOfAnotherFamilyIgnored",
                 [] { return with_alternative(TYPE_KXOS, 0x01123456, application_tarball()); }, ""},
        ScanCase{"ZeroLengthRecordEndsTheWalk", zero_length_record_first, ""}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SlotScan, ZeroLengthRecordIsReported) {
    Board board;
    put_slot(board, 1, zero_length_record_first());
    const auto result = board.run([] {
        prepare_platform();
        return returned + boot_image_slot(1);
    });
    EXPECT_EQ(result.console,
              "Image header error\r\n"
              "Image has invalid header 0x8706774. (0x6706774)\r\n"
              "Image1 has invalid header... trying Image2.\r\n");
}

// Headers whose lengths describe no valid sub-image: the scan ends on them, without hanging or
// allocating what they claim, and the other slot boots.
struct BrokenHeader {
    const char* name;
    std::uint32_t length;
    std::uint32_t type;
    bool hdr3;
    std::uint16_t header_length;
};

Bytes broken(const BrokenHeader& h) {
    Bytes bytes(64, 0);
    image::store_be32(bytes.data() + 4, h.length);
    image::store_be32(bytes.data() + 8, h.type);
    if (h.hdr3) {
        image::store_be32(bytes.data() + 16, image::hdr3_magic);
        image::store_be16(bytes.data() + 22, h.header_length);
    } else {
        image::store_be16(bytes.data() + 18, h.header_length);
    }
    image::seal_subimage(std::span(bytes).first(24));
    return bytes + good_app();
}

class BrokenHeaders : public testing::TestWithParam<BrokenHeader> {};

TEST_P(BrokenHeaders, EndTheScanAndTheOtherSlotBoots) {
    Board board;
    put_slot(board, 1, broken(GetParam()));
    put_slot(board, 2, good_app());
    const auto result = board.run(start_up);
    char invalid[96];
    std::snprintf(invalid, sizeof invalid, "Image has invalid header 0x%x. (0x6706774)\r\n",
                  GetParam().type & 0x7FFFFFFF);
    EXPECT_EQ(result.console, std::string("Booting image '1'\r\n") + invalid +
                                  "Image1 has invalid header... trying Image2.\r\n"
                                  "Booting image '2'\r\n" +
                                  app_banner);
    EXPECT_EQ(eeprom_byte(board, booted_image_offset), 2);
}

INSTANTIATE_TEST_SUITE_P(
    Table, BrokenHeaders,
    testing::Values(BrokenHeader{"TotalZero", 0, 0x81706774, false, 0},
                    BrokenHeader{"TotalBelowFour", 2, 0x81706774, false, 0},
                    BrokenHeader{"TotalWrapsToZero", 0xFFFFFFF0, TYPE_APPLICATION, true, 24},
                    BrokenHeader{"TotalFFFFFFF0", 0xFFFFFFE0, TYPE_APPLICATION, false, 0},
                    BrokenHeader{"HeaderBeyondTotal", 8, TYPE_APPLICATION, true, 0x100},
                    BrokenHeader{"Version3HeaderBelow24", 0x40, TYPE_APPLICATION, true, 16},
                    BrokenHeader{"HeaderLengthWraps", 0xFFFFFFF0, 0x81706774, false, 0x40}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace

namespace {

void put_usb_image(const Board& board, const Bytes& content) {
    write_bytes(board.root() / "mnt/usb/ZKM7730_OS.img", content);
}

int boot_usb() {
    prepare_platform();
    return returned + boot_image_slot(3);
}

// The first boot lists the drive's image and boots it; the next asks before booting it again.
TEST(UsbBoot, FirstBootListsTheImageAndTheNextAsks) {
    Board board;
    put_usb_image(board, good_app());
    const auto first = board.run(boot_usb);
    EXPECT_EQ(first.console, app_banner);
    EXPECT_EQ(eeprom_byte(board, booted_image_offset), 3);
    EXPECT_FALSE(std::filesystem::is_empty(board.root() / "user/images/rejected"));
    const auto unanswered = board.run(boot_usb);
    EXPECT_EQ(unanswered.exit_code, returned);
    EXPECT_EQ(unanswered.console,
              "USB image is in rejected list.\r\nWould you still like to load it? (y/n) \r\n"
              "Timeout. Assuming \"no\".\r\n");
}

struct UsbFailure {
    const char* name;
    std::function<Bytes()> image;
    const char* console;
};

class UsbBootFailure : public testing::TestWithParam<UsbFailure> {};

TEST_P(UsbBootFailure, ReturnsForTheFlashSlots) {
    Board board;
    if (const Bytes image = GetParam().image(); !image.empty()) {
        put_usb_image(board, image);
    }
    const auto result = board.run(boot_usb);
    EXPECT_EQ(result.exit_code, returned);
    EXPECT_EQ(result.console, GetParam().console);
}

INSTANTIATE_TEST_SUITE_P(
    Table, UsbBootFailure,
    testing::Values(
        UsbFailure{"Missing", [] { return Bytes(); },
                   "Failed to open application image from USB.\r\n"},
        UsbFailure{"Damaged", [] { return damaged(good_app()); }, "USB image CRC failed."},
        UsbFailure{"NothingBootable", [] { return subimage(TYPE_KERNEL, Bytes(40, 1)); },
                   "Error: USB image corrupted or belongs to another switch type.\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
