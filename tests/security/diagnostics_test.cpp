#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "boot/startup.hpp"
#include "hw/i2c.hpp"
#include "hw/mtd.hpp"
#include "security/diagnostics.hpp"
#include "security_board.hpp"

namespace {

using boardtest::Board;
using boardtest::Bytes;
using sectest::Rfs;
namespace fs = std::filesystem;

const std::string kRefusal =
    "Standalone diags cannot be run on a secured switch\r\n"
    "Please establish physical presence first\r\n";
const std::string kNote = "NOTE: switch running developer signed images\r\n";
const std::string kQuestion =
    "Confirm: Erase filesystem? (all saved data, configuration, keys will be lost) y/N: \r\n";
const std::string kErase =
    "unmount filesystem\r\n\r\nErasing filesystem for clean install\r\nMounting...\r\n"
    "creating default filesystem\r\n";
const std::string kLaunched =
    "Booting diags image...\r\nLaunching diagnostics image\r\ninstall diags image\r\n"
    "backtrace: starting /tmp/home/bin/mp.elf.strip\r\ndiagnostics up\r\n";
const std::string kErased =
    "umount /user\nflash_eraseall /dev/mtd-user-char\nmount -o sync -t jffs2 /dev/mtd-user /user\n";

// The diagnostics in the rescue partition.
void put_diagnostics(const Board& board) {
    sim::write_partition(
        board.root(), "rescue",
        boardtest::subimage(image::TYPE_DIAGNOSTICS, boardtest::diagnostics_tarball()));
}

struct LaunchCase {
    const char* name;
    Rfs rfs;
    bool low;
    std::string key;
    std::string console;
    std::string journal;
};

class LaunchDiagnostics : public testing::TestWithParam<LaunchCase> {};

// A secured switch refuses without asking; an open one erases /user only on yes.
TEST_P(LaunchDiagnostics, ErasesOnlyOnYesAndBootsTheDiagnostics) {
    const LaunchCase& c = GetParam();
    Board board(sectest::board_config());
    sectest::set_mode(board, c.rfs, c.low);
    put_diagnostics(board);
    boardtest::write_text(board.root() / "user/images/image1", "slot\n");
    const auto result = board.run(
        [] {
            register_handovers();
            install_interrupt_handler();
            i2c_open_buses();
            flash_init();
            return launch_diagnostics();
        },
        {c.key});
    EXPECT_EQ(result.console, c.console);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(board.journal(), c.journal);
    const bool erased = c.journal.starts_with(kErased);
    EXPECT_TRUE(fs::is_directory(board.root() / "user/images"));
    EXPECT_EQ(fs::exists(board.root() / "user/images/image1"), !erased);
    // The key files the developer check wrote went with the rest of /user.
    EXPECT_EQ(fs::exists(board.root() / "user/development_key.pub.pem"),
              !erased && c.rfs == Rfs::production);
}

INSTANTIATE_TEST_SUITE_P(
    Table, LaunchDiagnostics,
    testing::Values(LaunchCase{"Secured", Rfs::production, false, "y", kRefusal, ""},
                    LaunchCase{"DeveloperNo", Rfs::unsigned_header, false, "n",
                               kNote + kQuestion + kLaunched, "backtrace\n"},
                    LaunchCase{"DeveloperYes", Rfs::unsigned_header, false, "y",
                               kNote + kQuestion + kErase + kLaunched, kErased + "backtrace\n"},
                    LaunchCase{"LowSecurityNo", Rfs::production, true, "N", kQuestion + kLaunched,
                               "backtrace\n"},
                    LaunchCase{"LowSecurityYes", Rfs::production, true, "Y",
                               kQuestion + kErase + kLaunched, kErased + "backtrace\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// The key check and the diagnostics launch in the start-up sequence.
const std::string kBootSlot =
    "Booting image '1'\r\nbacktrace: starting /tmp/home/bin/mp.elf.strip\r\napplication up\r\n";

struct StartCase {
    const char* name;
    Rfs rfs;
    std::string environment;    // the boot loader's settings
    std::size_t key_file_size;  // a production key file placed beforehand, or 0
    std::string key;            // typed at the question, if any
    std::string console;
};

class StartUpSecurity : public testing::TestWithParam<StartCase> {};

TEST_P(StartUpSecurity, ChecksKeysThenLaunchesDiagnosticsWhenAsked) {
    const StartCase& c = GetParam();
    Board board(sectest::board_config());
    sectest::set_mode(board, c.rfs, false);
    const std::string env = std::string(4, '\0') + c.environment + '\0';
    sim::write_partition(board.root(), "ubootenv", Bytes(env.begin(), env.end()));
    put_diagnostics(board);
    boardtest::write_bytes(
        board.root() / "user/images/image1",
        boardtest::subimage(image::TYPE_APPLICATION, boardtest::application_tarball()));
    if (c.key_file_size != 0) {
        boardtest::write_bytes(board.root() / "user/production_key.pub.pem",
                               Bytes(c.key_file_size, 0x41));
    }
    const auto result = board.run([]() -> int { boot_main(); },
                                  c.key.empty() ? std::vector<std::string>{} : std::vector{c.key});
    EXPECT_EQ(result.console, c.console);
    if (c.key_file_size == 0) {
        EXPECT_EQ(fs::file_size(board.root() / "user/production_key.pub.pem"), 464U);
        EXPECT_EQ(fs::file_size(board.root() / "user/development_key.pub.pem"), 464U);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, StartUpSecurity,
    testing::Values(StartCase{"KeysFail", Rfs::production, "bootdelay=3", 512, "",
                              "ERROR loading key as length too long 512 > 500\r\n"
                              "WARNING - problem with security keys. No keys found\r\n" +
                                  kBootSlot},
                    StartCase{"DiagnosticsRefused", Rfs::production, "diagnostics=diags", 0, "",
                              kRefusal + kBootSlot},
                    StartCase{"DiagnosticsInLowSecurityMode", Rfs::production,
                              "lowsec=sanctioned diagnostics=diags", 0, "n",
                              "NOTE: Uboot low security mode override enabled\r\n" + kQuestion +
                                  kLaunched}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
