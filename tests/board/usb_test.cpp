// The USB steps of the boot on simulated boards: the mount wait, the boot bundle, the
// replacement bundles and the rejected list.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

#include "boot/usb.hpp"
#include "boot_support.hpp"
#include "flags.hpp"
#include "scratch.hpp"

namespace boardtest {
namespace {

namespace fs = std::filesystem;
using namespace image;

const std::string announcement =
    "Attempting to mount file system on USB flash drive; this can take up to 10 seconds.\r\n";
// MD5 of "abc".
const std::string abc_md5 = "900150983cd24fb0d6963f7d28e17f72";

// A drive that is there at once, one that never comes, and USB switched off.
TEST(WaitUsbMount, ReadyAtOnceOrNeverOrSwitchedOff) {
    const struct {
        bool drive;
        std::uint8_t enabled;
        int result;
        std::string console;
        std::uint64_t board_us;
    } cases[] = {
        {true, 1, 0, announcement + "USB mounted and ready!\r\n", 1000000},
        {false, 1, -1, announcement + "..........USB mount timed out\r\n", 11000000},
        {false, 0, 0, "", 0},
    };
    for (const auto& c : cases) {
        Board board;
        if (c.drive) {
            std::ofstream{board.root() / "tmp/usb"};
        }
        const auto result = board.run([&c] {
            const testflags::ScopedFlags flags({.usb_enabled = c.enabled});
            return wait_usb_mount();
        });
        EXPECT_EQ(result.exit_code, c.result);
        EXPECT_EQ(result.console, c.console);
        EXPECT_EQ(sim::read_clock_us(board.root()), c.board_us);
    }
}

std::string replaced(int slot, const std::string& time) {
    const std::string name = "ZKM7730_replace" + std::to_string(slot) + "_OS.img";
    const std::string n = std::to_string(slot);
    return extracting + "Installing Application: " + verified + "Installing image as image" + n +
           ": " + one_piece + "\r\nImage" + n + " updated succeeded\r\n" +
           "Updating install log. File /mnt/usb/" + name + " installed from USB at " + time +
           " on 1-1-2026\r\n" + "Image" + n + " has been successfully replaced\r\n";
}

const std::regex clock_time("[0-9]{2}:[0-9]{2}:[0-9]{2}");

int replace_from_usb() {
    prepare_installer();
    return check_usb_replacements();
}

const std::string found2 =
    "USB image (file 'ZKM7730_replace2_OS.img') replacement for image2 found\r\n";
const std::string found1 =
    "USB image (file 'ZKM7730_replace1_OS.img') replacement for image1 found\r\n";

TEST(UsbReplacements, SlotTwoIsReplacedBeforeSlotOneAndSlotOneBoots) {
    const Bytes two = production_signed(TYPE_APPLICATION, 0x02000000, Bytes(0x100, 0x02));
    const Bytes one = production_signed(TYPE_APPLICATION, 0x01000000, Bytes(0x100, 0x01));
    Board board;
    put_bundle(board, two, "mnt/usb/ZKM7730_replace2_OS.img");
    put_bundle(board, one, "mnt/usb/ZKM7730_replace1_OS.img");
    const auto result = board.run(replace_from_usb);
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.console, found2 + replaced(2, "00:00:01") + found1 + replaced(1, "00:00:03") +
                                  "USB replacement image: board will boot with image1.\r\n");
    EXPECT_EQ(read_bytes(board.root() / "user/images/image2"), two);
    EXPECT_EQ(read_bytes(board.root() / "user/images/image1"), one);
    EXPECT_EQ(eeprom_byte(board, boot_slot_offset), 1);
    EXPECT_EQ(testsupport::read_file(board.root() / "user/install.log"),
              "File /mnt/usb/ZKM7730_replace2_OS.img installed from USB at 00:00:01 on 1-1-2026\n"
              "File /mnt/usb/ZKM7730_replace1_OS.img installed from USB at 00:00:03 on 1-1-2026\n");
}

// Replacement 2 was once booted from the drive, as the drive's image of the same bytes.
TEST(UsbReplacements, AReplacementInTheRejectedListIsInstalledOnlyAfterAYes) {
    const struct {
        std::string answer;
        int choice;
        std::string after_question;
    } cases[] = {
        {"y\n", 2,
         "y\r\nContinuing with replacement USB image...\r\n" + replaced(2, "hh:mm:ss") +
             "USB replacement image: board will boot with image2.\r\n"},
        {"n\n", 0, "n\r\n"},
    };
    const Bytes two = production_signed(TYPE_APPLICATION, 0x02000000, Bytes(0x100, 0x02));
    for (const auto& c : cases) {
        // An answer must arrive within the five seconds however slow the machine: board time
        // runs at real speed. A silent operator is the question's own test.
        sim::BoardConfig config;
        config.time_scale = 1.0;
        Board board(config);
        put_bundle(board, two, "mnt/usb/ZKM7730_replace2_OS.img");
        put_bundle(board, two, "mnt/usb/ZKM7730_OS.img");
        const auto listed = board.run([] {
            add_to_rejected_list(usb_os_image_path);
            return 0;
        });
        ASSERT_EQ(listed.console, "");
        const auto result = board.run(replace_from_usb, {c.answer});
        EXPECT_EQ(result.exit_code, c.choice);
        // The board's clock runs on while the question waits: the log line's time is not pinned.
        EXPECT_EQ(std::regex_replace(result.console, clock_time, "hh:mm:ss"),
                  found2 +
                      "Replacement USB image is in rejected list.\r\n"
                      "Would you still like to load it? (y/n) " +
                      c.after_question);
    }
}

TEST(RejectedList, TwoNamesWithTheSameContentShareOneEntry) {
    Board board;
    write_text(board.root() / "mnt/usb/a.img", "abc");
    write_text(board.root() / "mnt/usb/b.img", "abc");
    const auto result = board.run([] {
        add_to_rejected_list("/mnt/usb/a.img");
        add_to_rejected_list("/mnt/usb/b.img");
        return in_rejected_list("/mnt/usb/b.img") * 2 + in_rejected_list("/mnt/usb/missing.img");
    });
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_EQ(result.console,
              "md5sum: can't open '/mnt/usb/missing.img': No such file or directory\r\n"
              "Warning: Cannot determine if image is in rejected list!\r\n");
    EXPECT_TRUE(fs::exists(board.root() / "user/images/rejected" / abc_md5));
}

// Returns only when nothing was installed.
int install_boot_image() {
    prepare_installer();
    install_usb_boot_image();
    return 7;
}

TEST(UsbBootImage, InstallsLogsAndRebootsButNotWhenEverythingIsInstalledAlready) {
    // Two flash blocks.
    const Bytes diags = versioned(TYPE_DIAGNOSTICS, 0x01000000, Bytes(0x10000, 0x06));
    Board board;
    const auto none = board.run(install_boot_image);
    EXPECT_EQ(none.exit_code, 7);
    EXPECT_EQ(none.console, "No boot image found on USB.\r\n");

    put_bundle(board, diags, "mnt/usb/ZKM7730_Boot.img");
    const auto installed = board.run(install_boot_image);
    EXPECT_EQ(installed.exit_code, 0);
    EXPECT_EQ(installed.console,
              "Boot image found on USB.\r\n" + extracting + "Installing Diagnostics: " +
                  "     \b\b\b\b000%\b\b\b\b050%\b\b\b\b100%\r\ndone\r\n" +
                  "Updating install log. File /mnt/usb/ZKM7730_Boot.img installed from USB at "
                  "00:00:00 on 1-1-2026\r\n");
    EXPECT_EQ(board.journal(), "reboot\n");

    // Skipped as the installer tests show, and then no reboot.
    EXPECT_EQ(board.run(install_boot_image).exit_code, 7);
}

}  // namespace
}  // namespace boardtest
