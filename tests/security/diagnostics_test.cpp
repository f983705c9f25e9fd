#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "board_session.hpp"
#include "boot/startup.hpp"
#include "hw/i2c.hpp"
#include "hw/mtd.hpp"
#include "security/diagnostics.hpp"
#include "signer.hpp"
#include "test_images.hpp"

namespace {

using boardtest::Board;
using boardtest::Bytes;
namespace fs = std::filesystem;

enum class Rfs { production, unsigned_header };

constexpr int kReturned = 10;

const std::string kRefusal =
    "Standalone diags cannot be run on a secured switch\r\n"
    "Please establish physical presence first\r\n";
const std::string kNote = "NOTE: switch running developer signed images\r\n";
const std::string kQuestion =
    "Confirm: Erase filesystem? (all saved data, configuration, keys will be lost) y/N: ";
const std::string kErase =
    "unmount filesystem\r\n\r\nErasing filesystem for clean install\r\nMounting...\r\n"
    "creating default filesystem\r\n";
const std::string kBooting = "Booting diags image...\r\n";
const std::string kLaunched =
    "Launching diagnostics image\r\ninstall diags image\r\n"
    "backtrace: starting /tmp/home/bin/mp.elf.strip\r\ndiagnostics up\r\n";
const std::string kErasedJournal =
    "umount /user\nflash_eraseall /dev/mtd-user-char\nmount -o sync -t jffs2 /dev/mtd-user /user\n";

struct DiagsBoard : Board {
    DiagsBoard(Rfs rfs, bool low, bool diagnostics = true) : Board(config()) {
        sim::write_partition(root(), "rfs",
                             rfs == Rfs::production
                                 ? sectest::signed_sub_image("production", Bytes(1000, 0x33))
                                 : Bytes(64, 0x11));
        if (diagnostics) {
            sim::write_partition(
                root(), "rescue",
                boardtest::subimage(image::TYPE_DIAGNOSTICS, boardtest::diagnostics_tarball()));
        }
        if (low) {
            boardtest::write_text(root() / "tmp/lowsec", "marmoset\n");
        }
        boardtest::write_text(root() / "user/install.log", "saved\n");
        boardtest::write_text(root() / "user/images/image1", "slot\n");
    }
    static sim::BoardConfig config() {
        sim::BoardConfig c;
        c.serial = std::string("SN1234567890");
        return c;
    }
    boardtest::Result launch(const std::vector<std::string>& strokes = {}) {
        return run(
            [] {
                register_handovers();
                install_interrupt_handler();
                i2c_open_buses();
                flash_init();
                return kReturned + launch_diagnostics();
            },
            strokes);
    }
    bool kept() const { return fs::exists(root() / "user/install.log"); }
};

TEST(LaunchDiagnostics, ASecuredSwitchRefusesWithoutAsking) {
    DiagsBoard board(Rfs::production, false);
    const auto result = board.launch({"y"});
    EXPECT_EQ(result.exit_code, kReturned + 0);
    EXPECT_EQ(result.console, kRefusal);
    EXPECT_EQ(board.journal(), "");
    EXPECT_TRUE(board.kept());
}

struct LaunchCase {
    const char* name;
    Rfs rfs;
    bool low;
    std::string key;
    std::string console;  // before the diagnostics start
    bool erased;
};

class LaunchOnAnOpenSwitch : public testing::TestWithParam<LaunchCase> {};

TEST_P(LaunchOnAnOpenSwitch, ErasesOnlyOnYesAndBootsTheDiagnostics) {
    const LaunchCase& c = GetParam();
    DiagsBoard board(c.rfs, c.low);
    const auto result = board.launch({c.key});
    EXPECT_EQ(result.console, c.console + kBooting + kLaunched);
    EXPECT_EQ(board.kept(), !c.erased);
    EXPECT_EQ(board.journal(), (c.erased ? kErasedJournal : "") + "backtrace\n");
    EXPECT_TRUE(fs::is_directory(board.root() / "user/images"));
    EXPECT_EQ(fs::exists(board.root() / "user/images/image1"), !c.erased);
    // The key files the developer check wrote went with the rest of /user.
    EXPECT_EQ(fs::exists(board.root() / "user/development_key.pub.pem"),
              !c.erased && c.rfs == Rfs::production);
}

INSTANTIATE_TEST_SUITE_P(Table, LaunchOnAnOpenSwitch,
                         testing::Values(LaunchCase{"DeveloperNo", Rfs::unsigned_header, false, "n",
                                                    kNote + kQuestion + "\r\n", false},
                                         LaunchCase{"DeveloperEnter", Rfs::unsigned_header, false,
                                                    "\r", kNote + kQuestion + "\r\n", false},
                                         LaunchCase{"DeveloperYes", Rfs::unsigned_header, false,
                                                    "y", kNote + kQuestion + "\r\n" + kErase, true},
                                         LaunchCase{"LowSecurityNo", Rfs::production, true, "N",
                                                    kQuestion + "\r\n", false},
                                         LaunchCase{"LowSecurityYes", Rfs::production, true, "Y",
                                                    kQuestion + "\r\n" + kErase, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LaunchDiagnostics, ReturnsWhenTheRescuePartitionHoldsNothing) {
    DiagsBoard board(Rfs::unsigned_header, false, false);
    const auto result = board.launch({"n"});
    EXPECT_EQ(result.exit_code, kReturned + 1);
    EXPECT_EQ(result.console, kNote + kQuestion + "\r\n" + kBooting + "Image not found... \r\n");
}

// The key check and the diagnostics launch in the start-up sequence.
const std::string kBootSlot =
    "Booting image '1'\r\nbacktrace: starting /tmp/home/bin/mp.elf.strip\r\napplication up\r\n";

struct StartCase {
    const char* name;
    bool signed_rfs;            // a production-signed root file system: a secured switch
    const char* environment;    // the boot loader's settings
    std::size_t key_file_size;  // a production key file placed beforehand, or 0
    const char* key;            // typed at the question, if any
    std::string console;
};

class StartUpSecurity : public testing::TestWithParam<StartCase> {};

TEST_P(StartUpSecurity, ChecksKeysThenLaunchesDiagnosticsWhenAsked) {
    const StartCase& c = GetParam();
    sim::BoardConfig config;
    config.serial = std::string("SN1234567890");
    Board board(config);
    if (c.signed_rfs) {
        sim::write_partition(board.root(), "rfs",
                             sectest::signed_sub_image("production", Bytes(1000, 0x33)));
    }
    Bytes env(4, 0);
    const std::string settings = c.environment;
    env.insert(env.end(), settings.begin(), settings.end());
    env.push_back(0);
    sim::write_partition(board.root(), "ubootenv", env);
    sim::write_partition(
        board.root(), "rescue",
        boardtest::subimage(image::TYPE_DIAGNOSTICS, boardtest::diagnostics_tarball()));
    boardtest::write_bytes(
        board.root() / "user/images/image1",
        boardtest::subimage(image::TYPE_APPLICATION, boardtest::application_tarball()));
    if (c.key_file_size != 0) {
        boardtest::write_bytes(board.root() / "user/production_key.pub.pem",
                               Bytes(c.key_file_size, 0x41));
    }
    const auto result =
        board.run([]() -> int { boot_main(); },
                  c.key[0] == 0 ? std::vector<std::string>{} : std::vector<std::string>{c.key});
    EXPECT_EQ(result.console, c.console);
    if (c.key_file_size == 0) {
        EXPECT_EQ(fs::file_size(board.root() / "user/production_key.pub.pem"), 464U);
        EXPECT_EQ(fs::file_size(board.root() / "user/development_key.pub.pem"), 464U);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, StartUpSecurity,
    testing::Values(StartCase{"KeysLoad", true, "bootdelay=3", 0, "", kBootSlot},
                    StartCase{"KeysFail", true, "bootdelay=3", 512, "",
                              "ERROR loading key as length too long 512 > 500\r\n"
                              "WARNING - problem with security keys. No keys found\r\n" +
                                  kBootSlot},
                    StartCase{"DiagnosticsRefused", true, "diagnostics=diags", 0, "",
                              kRefusal + kBootSlot},
                    StartCase{"DiagnosticsOnADeveloperSwitch", false, "diagnostics=diags", 0, "n",
                              kNote + kQuestion + "\r\n" + kBooting + kLaunched},
                    StartCase{"DiagnosticsInLowSecurityMode", true,
                              "lowsec=sanctioned diagnostics=diags", 0, "n",
                              "NOTE: Uboot low security mode override enabled\r\n" + kQuestion +
                                  "\r\n" + kBooting + kLaunched}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
