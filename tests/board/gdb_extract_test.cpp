#include <gtest/gtest.h>

#include "boot/slot_boot.hpp"
#include "boot_support.hpp"
#include "flags.hpp"

namespace {

using namespace boardtest;

enum class Other { debugger, diagnostics, missing };

struct ExtractCase {
    const char* name;
    int booted;
    Other other;
    bool server;          // the debugger server, which needs no debugger
    std::string console;  // before the application's own output
    const char* journal;
};

class ExtractGdb : public testing::TestWithParam<ExtractCase> {};

TEST_P(ExtractGdb, TakesTheDebuggerFromTheOtherSlot) {
    const ExtractCase& c = GetParam();
    Board board;
    put_slot(board, c.booted, good_app());
    if (c.other == Other::debugger) {
        put_slot(board, 3 - c.booted, subimage(image::TYPE_APPLICATION, gzip(debugger), 1));
    } else if (c.other == Other::diagnostics) {
        put_slot(board, 3 - c.booted, subimage(image::TYPE_DIAGNOSTICS, gzip(debugger)));
    }
    const auto result = board.run([&c] {
        prepare_platform();
        const testflags::ScopedFlags flags({.gdb_mode = 1, .gdbserver_mode = c.server ? 1 : 0});
        return boot_image_slot(c.booted);
    });
    EXPECT_EQ(result.console, c.console + "application up\r\n");
    EXPECT_EQ(board.journal(), c.journal);
}

const std::string not_available =
    "**** GDB mode selected but GDB not available. Please install GDB image ***\r\n"
    "backtrace: starting /tmp/home/bin/mp.elf.strip\r\n";

INSTANTIATE_TEST_SUITE_P(
    Table, ExtractGdb,
    testing::Values(
        ExtractCase{"FromSlotOne", 2, Other::debugger, false,
                    "Extracting GDB from image slot 1\r\nFound GDB image 1 of length = 74.\r\n"
                    "decompressing GDB....\r\n*** Launching under GDB ***\r\n",
                    "gdb /tmp/home/bin/mp.elf.strip\nreboot\n"},
        ExtractCase{"OtherSlotHoldsDiagnostics", 1, Other::diagnostics, false,
                    "Extracting GDB from image slot 2\r\nImage has invalid header 0x6706774\r\n" +
                        not_available,
                    "backtrace\n"},
        ExtractCase{
            "OtherSlotMissing", 1, Other::missing, false,
            "Extracting GDB from image slot 2\r\nFailed to open GDB image (from slot 2)\r\n" +
                not_available,
            "backtrace\n"},
        ExtractCase{"NotForTheDebuggerServer", 1, Other::debugger, true, "",
                    "gdbserver :1234 /tmp/home/bin/mp.elf.strip\nreboot\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
