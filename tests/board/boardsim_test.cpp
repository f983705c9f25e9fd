#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "boot_support.hpp"
#include "image/byte_order.hpp"
#include "image/crc.hpp"
#include "scratch.hpp"
#include "signer.hpp"

namespace {

namespace fs = std::filesystem;
using boardtest::Board;

using testsupport::read_file;

int sh(const std::string& command) {
    return testsupport::capture(command).status;
}

// boardsim with ARGS, where {B} is replaced by BOARD and {T} by a scratch folder beside it, both
// quoted; standard output and standard error.
testsupport::Captured boardsim(std::string args, const fs::path& board) {
    for (const auto& [mark, path] : {std::pair{"{B}", board}, std::pair{"{T}", board / "tmp"}}) {
        for (auto at = args.find(mark); at != std::string::npos; at = args.find(mark)) {
            args.replace(at, 3, "'" + path.string() + "'");
        }
    }
    return testsupport::capture(std::string(BOARDSIM) + " " + args + " </dev/null 2>&1");
}

struct BadCommand {
    const char* args;
    int status;
    const char* message;  // a fragment of what it prints
};

// Each refused with a message that names the culprit, and nothing is written: the board's
// configuration still reads and its faults can still be changed afterwards. A boot without its
// configuration would run with the faults dropped.
TEST(BoardsimCli, RefusesBadCommandLinesAndABoardWhoseConfigurationDoesNotRead) {
    const BadCommand table[] = {
        {"frobnicate {B}", 2, "unknown command 'frobnicate'"},
        {"create {T}/new --seral X", 2, "--seral"},
        {"create {T}/new --rtc garbage", 2, "--rtc: garbage: expected YYYY-MM-DD hh:mm:ss"},
        {"create {T}/new --time-scale -1", 2, "--time-scale: -1: expected a number from 0"},
        {"create {T}/new --boot-slot 7", 2, "--boot-slot: Value 7 not in range 1 to 2"},
        {"run {B} --timeout abc", 2, "--timeout: abc: expected seconds"},
        {"eeprom {B} set boot-slot 300", 2, "boot-slot '300': expected a number from 0 to 255"},
        {"usb {B} attach {B}/sim/board.conf", 2, "Directory is actually a file"},
        {"fault {B} --io kernel:any:0", 2, "--io: kernel:any:0: the count 0 is not a number"},
        {"fault {B} --io kernel:wipe:1", 2, "--io: kernel:wipe:1: unknown operation wipe"},
        {"fault {B} --missing bogus", 2, "--missing: bogus: unknown device bogus"},
        {"fault {B} --power-cut x", 2, "--power-cut"},
        {"create {B}", 1, "already holds a board: --force erases its flash and EEPROM"},
        {"create {T}/new --arch mips", 2, "--arch: mips not in {host,ppc}"},
        {"create {T}/new --arch ppc --bootmgr {B}/bin/busybox", 2,
         "busybox: not a PowerPC program"},
        {"env {B}", 1, "no environment in ubootenv"},
        {"flash {B} write kernel /", 1, "cannot read /: Is a directory"},
        {"flash {B} write kernel {T}/none", 1, "/tmp/none: No such file or directory"},
    };
    Board board;
    for (const auto& row : table) {
        const auto out = boardsim(row.args, board.root());
        EXPECT_EQ(out.status, row.status) << row.args << "\n" << out.output;
        EXPECT_NE(out.output.find(row.message), std::string::npos) << row.args << "\n"
                                                                   << out.output;
    }
    EXPECT_FALSE(fs::exists(board.root() / "tmp/new"));
    EXPECT_EQ(boardsim("create {T}/usb --usb on", board.root()).status, 0);
    EXPECT_EQ(boardsim("eeprom {T}/usb get usb-enable", board.root()).output, "213\n");
    EXPECT_EQ(boardsim("fault {B} --clear --power-cut 3", board.root()).status, 0);
    EXPECT_EQ(boardsim("--version", board.root()).output, "boardsim 1.0.0\n");

    std::ofstream(board.root() / "sim/board.conf", std::ios::app) << "time.scale = -1\n";
    const auto run = boardsim("run {B} --timeout 30", board.root());
    EXPECT_EQ(run.status, 7) << run.output;
    EXPECT_NE(run.output.find("time.scale = -1: expected a number from 0 to 1000"),
              std::string::npos)
        << run.output;
}

// The boot waits a board second for a USB drive that never comes: at board.conf's scale that is
// 1000 real seconds, at the run's scale of 0 no time at all.
TEST(BoardsimRun, TimeScaleOverridesTheBoardsForTheRunOnly) {
    sim::BoardConfig config;
    config.time_scale = 1000;
    config.usb_enable = 213;
    Board board(config);
    const std::string conf = read_file(board.root() / "sim/board.conf");
    const auto out = boardsim("run {B} --time-scale 0 --timeout 3", board.root());
    EXPECT_EQ(out.status, 6) << out.output;
    EXPECT_GE(sim::read_clock_us(board.root()), 1000000u) << out.output;
    EXPECT_EQ(read_file(board.root() / "sim/board.conf"), conf);
    EXPECT_FALSE(fs::exists(board.root() / "sim/running"));
}

// Sub-images the board's keys accept, accept only in low security mode, and refuse; wear on two
// blocks; EEPROM fields that mean something.
void fill_board(const fs::path& root) {
    const auto put = [&root](const char* partition, boardtest::Bytes bytes) {
        auto content = *sim::read_partition(root, partition);
        std::copy(bytes.begin(), bytes.end(), content.begin());
        ASSERT_TRUE(sim::write_partition(root, partition, content));
    };
    const auto signed_by = [](const char* key, const boardtest::Bytes& payload) {
        auto sub = sectest::signed_sub_image(key, payload);
        image::store_be32(sub.data(),
                          image::image_crc(std::span(sub).subspan(4), image::crc_initial));
        return sub;
    };
    const boardtest::Bytes payload(1000, 0x5A);
    put("kernel", signed_by("production", payload));
    put("rfs", signed_by("development", payload));
    auto damaged = signed_by("production", payload);
    damaged.back() ^= 1;
    put("devicetree", damaged);
    boardtest::write_bytes(root / "user/images/image1",
                           boardtest::subimage(image::TYPE_APPLICATION, payload));
    std::string erases = "program-without-erase 0\nerases 2 2";
    for (int i = 2; i < 48; ++i) {
        erases += " 0";
    }
    boardtest::write_text(root / "sim/wear/kernel", erases + "\n");
    ASSERT_TRUE(sim::write_eeprom(root, 0x0D, {'S', 'N', 0xC3, 0x28, '7', 0, 0, 0, 0, 0, 0, 0}));
    ASSERT_TRUE(sim::write_eeprom(root, 0x100, {2}));
    ASSERT_TRUE(sim::write_eeprom(root, 0x108, {0xB0, 0x15, 0x09, 0x06, 0x05, 0x12, 0x26}));
    ASSERT_TRUE(sim::write_eeprom(root, 0x13A, {3, 213}));
}

// Scripts and XML readers get whatever bytes the board's folder name and journal hold; the drive's
// copy keeps sparse files sparse.
TEST(BoardsimShow, DecodesFlashSlotsEepromFaultsAndTheDriveAsTextJsonAndAFlashMap) {
    const testsupport::TempDir scratch("boardsim");
    const fs::path root = scratch / "b\xff<\x01";
    ASSERT_EQ(boardsim("create {B}", root).status, 0);
    fill_board(root);
    std::ofstream(root / "sim/journal.log", std::ios::app) << "odd \xc3\x28 bytes\n";
    const fs::path drive = scratch / "drive";
    fs::create_directories(drive);
    std::ofstream(drive / "disk.img") << "boot sector";
    fs::resize_file(drive / "disk.img", 64 << 20);
    ASSERT_EQ(boardsim("usb {B} attach " + drive.string() + " --after 2", root).status, 0);
    struct stat copy {};
    ASSERT_EQ(stat((root / "sim/usb/files/disk.img").c_str(), &copy), 0);
    EXPECT_EQ(copy.st_size, 64 << 20);
    EXPECT_LT(copy.st_blocks * 512, 1 << 20);
    EXPECT_EQ(read_file(root / "sim/usb/files/disk.img").substr(0, 12),
              std::string("boot sector\0", 12));
    ASSERT_EQ(boardsim("fault {B} --power-cut 3 --io kernel:erase:2 --missing rtc", root).status,
              0);

    const std::string shown = boardsim("show {B}", root).output;
    for (const std::string& part : std::vector<std::string>{
             "clock: 2026-01-01 00:00:00 at board time 0, 0.001 real seconds per board second\n",
             "faults armed:\n"
             "  power cut at event 3 (flash operations, /user writes) of the next boot (once)\n"
             "  kernel: erase request number 2 of every boot fails\n"
             "  rtc missing\n",
             "usb drive: 1 files from " + drive.string() +
                 ", ready 2 board seconds into each boot\n",
             "  kernel     3 MiB in 48 blocks of 64 KiB, erase counts: 2 in blocks 0-1, 0 in "
             "blocks 2-47\n    0x00000000  kernel 1.2.3.4, header 286 + payload 1000 bytes, crc "
             "good, signed, verified by the board's production key\n    then 3144442 bytes "
             "erased\n",
             "  rfs        15 MiB in 240 blocks of 64 KiB, erase counts: 0 in all 240 blocks\n"
             "    0x00000000  kernel 1.2.3.4, header 286 + payload 1000 bytes, crc good, signed, "
             "verified by the board's development key\n",
             "crc bad, signed, rejected by the board's keys\n",
             "  onie       1 MiB in 16 blocks of 64 KiB, erase counts: 0 in all 16 blocks\n"
             "    erased\n",
             "image slots:\n  image1     1024 bytes\n    0x00000000  application 1.2.3.4, "
             "header 24 + payload 1000 bytes, crc good, unsigned\n  image2     none\n",
             "  serial        SN?(7\n  boot-slot     2: boots image slot 2\n"
             "  slot1-time    b0 15 09 06 05 12 26: installed 2026-12-05 09:15:30\n"
             "  slot2-time    ff ff ff ff ff ff ff: no install time\n"
             "  booted-image  3: the USB drive's image\n"
             "  usb-enable    213: USB enabled (213 enables it)\n",
         }) {
        EXPECT_NE(shown.find(part), std::string::npos) << part << "\n" << shown;
    }

    const fs::path svg = scratch / "map.svg";
    const auto out = boardsim("show {B} --json --svg " + svg.string(), root);
    ASSERT_EQ(out.status, 0) << out.output;
    const auto json = nlohmann::json::parse(out.output);
    EXPECT_EQ(json["partitions"][3]["erase_counts"][1], 2);
    EXPECT_EQ(json["partitions"][3]["subimages"][0]["signature"], "production");
    EXPECT_EQ(json["partitions"][4]["subimages"][0]["signature"], "development");
    EXPECT_EQ(json["partitions"][2]["subimages"][0]["crc_good"], false);
    EXPECT_EQ(json["slots"][0]["subimages"][0]["type"], "application");
    EXPECT_EQ(json["eeprom"]["slot_install_times"][0]["installed"], "2026-12-05 09:15:30");
    EXPECT_EQ(json["eeprom"]["usb_enabled"], true);
    const std::string count =
        "python3 -c \"import sys, xml.etree.ElementTree as E\n"
        "c = [e.get('class') for e in E.parse(sys.argv[1]).iter()]\n"
        "sys.exit(0 if (c.count('partition'), c.count('subimage'), c.count('block')) == "
        "(7, 4, 478) else 1)\" ";
    EXPECT_EQ(sh(count + svg.string()), 0) << read_file(svg);
}

// The boot manager's reading of an environment partition is start-up's test.
TEST(BoardsimEnv, WritesWhatTheBootLoaderToolWrites) {
    Board board;
    const fs::path root = board.root();
    std::ofstream(root / "env.txt") << "bootdelay=3\ngdbserver=on\ngdbport=2345\n";
    std::ofstream(root / "part.txt") << "# first two\nbootdelay=3\n\ngdbserver=on\n";
    ASSERT_EQ(boardsim("env {B} --file {B}/part.txt gdbport=2345", root).status, 0);
    ASSERT_EQ(sh("mkenvimage -b -s 0x20000 -o " + (root / "env.bin").string() + " " +
                 (root / "env.txt").string()),
              0);
    EXPECT_EQ(read_file(root / "sim/flash/ubootenv.bin"), read_file(root / "env.bin"));
    EXPECT_EQ(boardsim("env {B}", root).output, read_file(root / "env.txt"));
}

// Slot 1 is missing and slot 2 damaged, so each boot gives up without waiting for an operator at
// the rescue menu, and ends in a reboot. The run is made by another user where the test can
// switch to one (a coverage build's line counters are not that user's to write).
TEST(BoardsimRun, BootsAgainAfterARebootAndLeavesNothingMountedAlsoForAnUnprivilegedUser) {
#ifdef BM_COVERAGE_DIR
    const std::string as;
#else
    const std::string as =
        geteuid() == 0 ? "setpriv --reuid=65534 --regid=65534 --clear-groups " : "";
#endif
    const testsupport::TempDir scratch("boardsim");
    fs::permissions(scratch.path(), fs::perms::all);
    const fs::path root = scratch / "run-board";
    const std::string mounts = read_file("/proc/self/mountinfo");
    ASSERT_EQ(sh(as + BOARDSIM + " create " + root.string()), 0);
    boardtest::write_bytes(root / "user/images/image2", boardtest::damaged(boardtest::good_app()));
    EXPECT_EQ(sh(as + BOARDSIM + " run " + root.string() + " --boots 2 </dev/null >" +
                 (scratch / "console").string() + " 2>&1"),
              3);
    const std::string damaged =
        "Booting image '1'\r\nFailed to open Application image 1. Trying image 2.\r\n"
        "Image2 CRC failed, trying Image1 now.\r\n"
        "Booting image '2'\r\nBoth image1 and image2 failed.\r\n";
    EXPECT_EQ(read_file(scratch / "console"),
              damaged + "boardsim: boot 1: rebooted\n" + damaged + "boardsim: boot 2: rebooted\n");
    const std::string journal = read_file(root / "sim/journal.log");
    EXPECT_NE(journal.find("reboot\n"), journal.rfind("reboot\n"));
    EXPECT_EQ(read_file("/proc/self/mountinfo"), mounts);
}

}  // namespace
