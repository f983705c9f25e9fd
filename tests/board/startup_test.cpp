#include <gtest/gtest.h>
#include <sys/reboot.h>
#include <unistd.h>

#include <fcntl.h>
#include <cerrno>
#include <ctime>
#include <fstream>

#include "boot/reboot.hpp"
#include "boot_support.hpp"
#include "sys/shell.hpp"

namespace {

using namespace boardtest;

void tool_fails(const Board& board, const std::string& tool) {
    std::filesystem::create_directories(board.root() / "sim/fail");
    std::ofstream{board.root() / "sim/fail" / tool};
}

// Without slot files start-up ends in the rescue menu; the operator leaves it with Exit.
Result start_up_and_exit_rescue(Board& board) {
    return board.run(start_up, {"e"}, Terminal{.echo = false});
}

TEST(StartUp, SetsTheClockMountsScansAndRebootsWithoutSlotFiles) {
    sim::BoardConfig config;
    config.rtc_base = "2026-12-05 09:15:30";
    Board board(config);
    const auto result = start_up_and_exit_rescue(board);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.console,
              "Booting image '1'\r\nFailed to open Application image 1. Trying image 2.\r\n"
              "Failed to open Application image 2.\r\n" +
                  rescue_exit);
    EXPECT_EQ(board.journal(),
              "date 120509152026.30\n"
              "mount -o sync -t jffs2 /dev/mtd-user /user\n"
              "summary-scan\n"
              "reboot\n");
}

TEST(StartUp, ReportsAFailedSummaryScanAndGoesOn) {
    Board board;
    tool_fails(board, "summary-scan");
    const auto result = start_up_and_exit_rescue(board);
    EXPECT_EQ(result.console,
              "ERROR updating file system. Reboot recommended\r\n"
              "Booting image '1'\r\nFailed to open Application image 1. Trying image 2.\r\n"
              "Failed to open Application image 2.\r\n" +
                  rescue_exit);
}

TEST(StartUp, SkipsTheScanWhenTheSummaryIsUpToDate) {
    Board board;
    std::ofstream{board.root() / "user/summary-updated"};
    tool_fails(board, "summary-scan");
    const auto result = start_up_and_exit_rescue(board);
    EXPECT_EQ(board.journal().find("summary-scan"), std::string::npos);
    EXPECT_EQ(result.console.find("ERROR"), std::string::npos);
}

TEST(StartUp, MasksTheControlBitsOfTheClockRegisters) {
    sim::BoardConfig config;
    config.rtc_base = "2099-12-31 23:07:59";
    config.rtc_control = {0x80, 0x80, 0xC0, 0, 0xC0, 0xE0, 0};
    Board board(config);
    start_up_and_exit_rescue(board);
    EXPECT_EQ(board.journal().rfind("date 123123072099.59\n", 0), 0U) << board.journal();
}

struct SlotCase {
    std::uint8_t selector;
    int first;
};

class BootSelector : public testing::TestWithParam<SlotCase> {};

TEST_P(BootSelector, ChoosesSlotTwoOnlyForTwo) {
    sim::BoardConfig config;
    config.boot_slot = GetParam().selector;
    Board board(config);
    const auto result = board.run([] {
        i2c_open_buses();
        return choose_boot_slot();
    });
    EXPECT_EQ(result.exit_code, GetParam().first);
}

INSTANTIATE_TEST_SUITE_P(Selector, BootSelector,
                         testing::Values(SlotCase{0xFF, 1}, SlotCase{2, 2}, SlotCase{1, 1},
                                         SlotCase{0, 1}, SlotCase{4, 1}));

TEST(StartUp, BootsSlotTwoFirstWhenTheSelectorSaysSo) {
    sim::BoardConfig config;
    config.boot_slot = 2;
    Board board(config);
    EXPECT_EQ(start_up_and_exit_rescue(board).console,
              "Booting image '2'\r\nFailed to open Application image 2. Trying image 1.\r\n"
              "Failed to open Application image 1.\r\n" +
                  rescue_exit);
}

TEST(RebootBoard, EndsWithStatusZeroAfterTheRebootCommandWhateverItsStatus) {
    for (const bool failing : {false, true}) {
        Board board;
        if (failing) {
            tool_fails(board, "reboot");
        }
        const auto result = board.run([]() -> int { reboot_board(); });
        EXPECT_EQ(result.exit_code, 0);
        EXPECT_EQ(result.console, "");
        EXPECT_EQ(board.journal(), "reboot\n");
    }
}

// Nothing inside a board may reboot the host, set its clock or reach the kernel's triggers.
TEST(BoardSafety, RebootAndClockSettingFailInsideABoard) {
    Board board;
    const auto result = board.run([] {
        // Only ever try this where the board's own pid namespace takes the blow: there the
        // first process is the child of that namespace's init.
        if (getppid() != 1) {
            return 99;
        }
        int refused = 0;
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        if (clock_settime(CLOCK_REALTIME, &now) != 0 && errno == EPERM) {
            refused |= 1;
        }
        if (reboot(RB_AUTOBOOT) != 0 && errno == EPERM) {
            refused |= 2;
        }
        const int trigger = open("/proc/sysrq-trigger", O_WRONLY);
        if (trigger < 0) {
            refused |= 4;
        } else {
            close(trigger);
        }
        if (std::system("date 010100002000 && reboot") == 0) {
            refused |= 8;
        }
        return refused;
    });
    EXPECT_EQ(result.exit_code, 15);
    EXPECT_EQ(board.journal(), "date 010100002000\nreboot\n");
}

}  // namespace
