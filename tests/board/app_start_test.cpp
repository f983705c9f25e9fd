#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "boot/app_start.hpp"
#include "boot/startup.hpp"
#include "boot_support.hpp"
#include "flags.hpp"

namespace {

using namespace boardtest;

struct StartCase {
    const char* name;
    testflags::FlagValues flags;
    bool debugger_present;
    const char* console;
    const char* journal;
};

class StartVariant : public testing::TestWithParam<StartCase> {};

TEST_P(StartVariant, StartsTheApplicationAsTheFlagsSay) {
    const StartCase& c = GetParam();
    Board board;
    write_bytes(
        board.root() / "tmp/varosimage.tar.gz",
        tarball({{"home/bin/mp.elf.strip", script_printing("application up")},
                 {"home/bin/install.sh", "#!/bin/sh\necho install >> /sim/journal.log\n"}}));
    if (c.debugger_present) {
        write_text(board.root() / "tmp/gdb", debugger);
        std::filesystem::permissions(board.root() / "tmp/gdb", std::filesystem::perms(0755));
    }
    std::filesystem::copy_file(DUMA_STUB, board.root() / "usr/lib/libduma.so.0.0.0");
    const auto result = board.run([&c]() -> int {
        prepare_platform();
        const testflags::ScopedFlags flags(c.flags);
        shell_runs(shell_records);
        start_application(0);
    });
    EXPECT_EQ(result.console, std::string("Running install script\r\n") + c.console);
    EXPECT_EQ(board.journal(), std::string("install\n") + c.journal);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_FALSE(std::filesystem::exists(board.root() / "tmp/varosimage.tar.gz"));
}

INSTANTIATE_TEST_SUITE_P(
    Table, StartVariant,
    testing::Values(
        StartCase{"ShellFirst",
                  {.shell_mode = 1},
                  false,
                  "Dropping into shell\r\nDropping out of shell\r\n"
                  "backtrace: starting /tmp/home/bin/mp.elf.strip\r\napplication up\r\n",
                  "shell\nbacktrace\n"},
        StartCase{"GdbServer",
                  {.gdb_mode = 1, .gdbserver_mode = 1, .gdb_port = 2345},
                  true,
                  "application up\r\n",
                  "gdbserver :2345 /tmp/home/bin/mp.elf.strip\nreboot\n"},
        StartCase{"GdbServerWithMemoryChecker",
                  {.gdb_mode = 1, .gdbserver_mode = 1, .memchk_mode = 1},
                  false,
                  "application up\r\n",
                  // Every program started under the preload loads the checker: the server's
                  // shell, the tool it marks the start with, and the application.
                  "libduma\ngdbserver :1234 /tmp/home/bin/mp.elf.strip\nlibduma\nlibduma\n"
                  "reboot\n"},
        // Debugger mode leaves the memory checker out, with a debugger or without one.
        StartCase{"GdbMissing",
                  {.gdb_mode = 1, .memchk_mode = 1},
                  false,
                  "**** GDB mode selected but GDB not available. Please install GDB image ***\r\n"
                  "backtrace: starting /tmp/home/bin/mp.elf.strip\r\napplication up\r\n",
                  "backtrace\n"},
        StartCase{
            "MemoryChecker", {.memchk_mode = 1}, false, "application up\r\n", "libduma\nreboot\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// The environment list takes effect only beside an install script.
TEST(StartApplication, SetsTheEnvironmentListsPairsForTheApplication) {
    const struct {
        bool install_script;
        const char* list;
        const char* seen;
    } cases[] = {
        {true, "A 1\nB 2 C", "A=1 B=2 C="},
        {true, "  A\t1   B\n\n2\n", "A=1 B=2 C=unset"},
        {false, "A 1\nB 2", "A= B= C=unset"},
    };
    for (const auto& c : cases) {
        Files files = {{"home/bin/mp.elf.strip", "#!/bin/sh\necho \"A=$A B=$B C=${C-unset}\"\n"},
                       {"home/bin/env-setup", c.list}};
        if (c.install_script) {
            files.push_back({"home/bin/install.sh", "#!/bin/sh\n"});
        }
        Board board;
        write_bytes(board.root() / "tmp/varosimage.tar.gz", tarball(files));
        const auto result = board.run([]() -> int {
            prepare_platform();
            start_application(0);
        });
        const std::string prefix = c.install_script ? "Running install script\r\n" : "";
        EXPECT_EQ(result.console,
                  prefix + "backtrace: starting /tmp/home/bin/mp.elf.strip\r\n" + c.seen + "\r\n");
    }
}

// The boot manager ignores Ctrl-\, but the application in its place gets the default back.
// Commands it runs are the start-up tests'.
TEST(StartApplication, CtrlBackslashStopsTheApplication) {
    Board board;
    write_bytes(board.root() / "tmp/varosimage.tar.gz",
                tarball({{"home/bin/mp.elf.strip", "#!/bin/sh\nexec head -n 1\n"}}));
    const auto result = board.run(
        []() -> int {
            prepare_platform();
            install_interrupt_handler();
            start_application(0);
        },
        // The key after Ctrl-\ comes in the same stroke, for a process that reads on.
        {"\034\n"}, Terminal{.echo = false, .isig = true});
    EXPECT_EQ(result.console, "backtrace: starting /tmp/home/bin/mp.elf.strip\r\n");
    EXPECT_EQ(result.exit_code, 128 + SIGQUIT);
}

}  // namespace
