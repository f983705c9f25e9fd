// The key check and the diagnostics launch in the start-up sequence.
#include <gtest/gtest.h>

#include <string>

#include "board_session.hpp"
#include "boot/startup.hpp"
#include "signer.hpp"
#include "test_images.hpp"

namespace {

using boardtest::Board;
using boardtest::Bytes;
namespace fs = std::filesystem;

const std::string kBootSlot =
    "Booting image '1'\r\nbacktrace: starting /tmp/home/bin/mp.elf.strip\r\napplication up\r\n";

struct StartCase {
    const char* name;
    bool signed_rfs;            // a production-signed root file system: a secured switch
    const char* environment;    // the boot loader's settings
    std::size_t key_file_size;  // a production key file placed beforehand, or 0
    std::vector<std::string> strokes;
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
    const auto result = board.run([]() -> int { boot_main(); }, c.strokes);
    EXPECT_EQ(result.console, c.console);
    if (c.key_file_size == 0) {
        EXPECT_EQ(fs::file_size(board.root() / "user/production_key.pub.pem"), 464U);
        EXPECT_EQ(fs::file_size(board.root() / "user/development_key.pub.pem"), 464U);
    }
}

const std::string kQuestion =
    "Confirm: Erase filesystem? (all saved data, configuration, keys will be lost) y/N: ";

INSTANTIATE_TEST_SUITE_P(
    Table, StartUpSecurity,
    testing::Values(
        StartCase{"KeysLoad", true, "bootdelay=3", 0, {}, kBootSlot},
        StartCase{"KeysFail",
                  true,
                  "bootdelay=3",
                  512,
                  {},
                  "ERROR loading key as length too long 512 > 500\r\n"
                  "WARNING - problem with security keys. No keys found\r\n" +
                      kBootSlot},
        StartCase{"DiagnosticsRefused",
                  true,
                  "diagnostics=diags",
                  0,
                  {},
                  "Standalone diags cannot be run on a secured switch\r\n"
                  "Please establish physical presence first\r\n" +
                      kBootSlot},
        StartCase{"DiagnosticsOnADeveloperSwitch",
                  false,
                  "diagnostics=diags",
                  0,
                  {"n"},
                  "NOTE: switch running developer signed images\r\n" + kQuestion +
                      "\r\nBooting diags image...\r\nLaunching diagnostics image\r\n"
                      "install diags image\r\nbacktrace: starting /tmp/home/bin/mp.elf.strip\r\n"
                      "diagnostics up\r\n"},
        StartCase{"DiagnosticsInLowSecurityMode",
                  true,
                  "lowsec=sanctioned diagnostics=diags",
                  0,
                  {"n"},
                  "NOTE: Uboot low security mode override enabled\r\n" + kQuestion +
                      "\r\nBooting diags image...\r\nLaunching diagnostics image\r\n"
                      "install diags image\r\nbacktrace: starting /tmp/home/bin/mp.elf.strip\r\n"
                      "diagnostics up\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
