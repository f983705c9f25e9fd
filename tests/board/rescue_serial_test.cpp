// The download mode's Enter waits on a simulated board, whose /dev/ttyS0 is the console pty.
#include <gtest/gtest.h>

#include <string>

#include "board_session.hpp"
#include "boot/startup.hpp"
#include "rescue/xmodem.hpp"

namespace {

using boardtest::Board;

const std::string begin_text =
    "       Change the baud rate to 115200 bps and hit the <ENTER> key\r\n"
    "       before initiating the download.\r\n";
// Printed in download mode, where the port no longer adds carriage returns.
const std::string end_text = "       Change the baud rate back to 9600 bps, hit the <ENTER> key\n";
const std::string before_reminder =
    "\r\n    ... Waiting for the <Enter> key to be hit before the download can start...\r\n";
// Printed after the settings are back, so the line feed gains a carriage return.
const std::string after_reminder = "\r\r\n    ... Waiting for the <ENTER> key to be hit...\r\r\n";
const boardtest::Terminal quiet{.echo = false};

TEST(SerialDownload, WaitsForCarriageReturnBeforeAndLineFeedAfterRemindingEveryEleventhSecond) {
    // Eleven board seconds pass in a tenth of a real second, ample time to answer the reminder.
    sim::BoardConfig config;
    config.time_scale = 0.01;
    Board board(config);
    const auto outcome =
        board.script([] { return xmodem_receive("/tmp/out"); },
                     {
                         {.after = "download.\r\n", .send = "\n"},
                         {.after = before_reminder + before_reminder, .send = "\r"},
                         {.after = "C", .send = "\x18\x18"},
                         {.after = after_reminder, .send = "\n"},
                     },
                     quiet);
    EXPECT_TRUE(outcome.script_done);
    EXPECT_EQ(outcome.console, begin_text + before_reminder + before_reminder + "CCAN\n" +
                                   std::string(5, '\x18') + end_text + after_reminder);
    EXPECT_EQ(outcome.exit_code, 0);
}

// The port has its signals back for the wait after the download, and Ctrl-\ must not end the
// boot manager there.
TEST(SerialDownload, AFileThatCannotBeCreatedIsReportedAfterTheWaitWhichIgnoresCtrlBackslash) {
    Board board;
    const auto outcome = board.script(
        [] {
            install_interrupt_handler();
            return xmodem_receive("/no/such/dir");
        },
        {{.after = "download.\r\n", .send = "\r"}, {.after = "9600 bps", .send = "\x1c\n"}}, quiet);
    EXPECT_TRUE(outcome.script_done);
    EXPECT_EQ(outcome.console,
              begin_text + "Can't open file!: No such file or directory\n" + end_text);
    EXPECT_EQ(outcome.exit_code, -1);
}

}  // namespace
