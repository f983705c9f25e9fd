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
    const char* console;  // between the extraction and the application's own output
    const char* journal;
};

class ExtractGdb : public testing::TestWithParam<ExtractCase> {};

TEST_P(ExtractGdb, TakesTheDebuggerFromTheOtherSlot) {
    const ExtractCase& c = GetParam();
    const int other = c.booted == 1 ? 2 : 1;
    Board board;
    put_slot(board, c.booted, good_app());
    const Bytes packed = gzip(debugger);
    if (c.other == Other::debugger) {
        put_slot(board, other, subimage(image::TYPE_APPLICATION, packed, 1));
    } else if (c.other == Other::diagnostics) {
        put_slot(board, other, subimage(image::TYPE_DIAGNOSTICS, packed));
    }
    const auto result = board.run([&c] {
        prepare_platform();
        const testflags::ScopedFlags flags({.gdb_mode = 1});
        return boot_image_slot(c.booted);
    });
    std::string found = c.console;
    if (const auto at = found.find("LENGTH"); at != std::string::npos) {
        found.replace(at, 6, std::to_string(packed.size()));
    }
    EXPECT_EQ(result.console, "Extracting GDB from image slot " + std::to_string(other) + "\r\n" +
                                  found + "application up\r\n");
    EXPECT_EQ(board.journal(), c.journal);
    EXPECT_EQ(eeprom_byte(board, booted_image_offset), c.booted);
}

INSTANTIATE_TEST_SUITE_P(
    Table, ExtractGdb,
    testing::Values(
        ExtractCase{"FromSlotTwo", 1, Other::debugger,
                    "Found GDB image 2 of length = LENGTH.\r\ndecompressing GDB....\r\n"
                    "*** Launching under GDB ***\r\n",
                    "gdb /tmp/home/bin/mp.elf.strip\nreboot\n"},
        ExtractCase{"FromSlotOne", 2, Other::debugger,
                    "Found GDB image 1 of length = LENGTH.\r\ndecompressing GDB....\r\n"
                    "*** Launching under GDB ***\r\n",
                    "gdb /tmp/home/bin/mp.elf.strip\nreboot\n"},
        ExtractCase{"OtherSlotHoldsDiagnostics", 1, Other::diagnostics,
                    "Image has invalid header 0x6706774\r\n"
                    "**** GDB mode selected but GDB not available. Please install GDB image ***\r\n"
                    "backtrace: starting /tmp/home/bin/mp.elf.strip\r\n",
                    "backtrace\n"},
        ExtractCase{"OtherSlotMissing", 1, Other::missing,
                    "Failed to open GDB image (from slot 2)\r\n"
                    "**** GDB mode selected but GDB not available. Please install GDB image ***\r\n"
                    "backtrace: starting /tmp/home/bin/mp.elf.strip\r\n",
                    "backtrace\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// The debugger server needs no debugger: nothing is extracted.
TEST(ExtractGdb, NotForTheDebuggerServer) {
    Board board;
    put_slot(board, 1, good_app());
    put_slot(board, 2, subimage(image::TYPE_APPLICATION, gzip(debugger)));
    const auto result = board.run([] {
        prepare_platform();
        const testflags::ScopedFlags flags({.gdb_mode = 1, .gdbserver_mode = 1});
        return boot_image_slot(1);
    });
    EXPECT_EQ(result.console, "application up\r\n");
    EXPECT_EQ(board.journal(), "gdbserver :1234 /tmp/home/bin/mp.elf.strip\nreboot\n");
}

}  // namespace
