#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include "board_session.hpp"
#include "boot/env_flags.hpp"
#include "boot_support.hpp"
#include "hw/mtd.hpp"

namespace {

namespace fs = std::filesystem;
using boardtest::Board;

std::string slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

int sh(const std::string& command) {
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(BoardsimEnv, WritesWhatTheBootLoaderToolWritesAndTheBootManagerReadsIt) {
    Board board;
    const fs::path root = board.root();
    ASSERT_EQ(sh(std::string(BOARDSIM) + " env " + root.string() +
                 " bootdelay=3 gdbserver=on gdbport=2345"),
              0);
    std::ofstream(root / "env.txt") << "bootdelay=3\ngdbserver=on\ngdbport=2345\n";
    ASSERT_EQ(sh("mkenvimage -b -s 0x20000 -o " + (root / "env.bin").string() + " " +
                 (root / "env.txt").string()),
              0);
    EXPECT_EQ(slurp(root / "sim/flash/ubootenv.bin"), slurp(root / "env.bin"));

    const auto result = board.run([] {
        flash_init();
        read_env_flags();
        return (gdb_mode == 1 && gdbserver_mode == 1 && gdb_port == 2345) ? 0 : 1;
    });
    EXPECT_EQ(result.exit_code, 0);
}

std::string mounts() {
    return slurp("/proc/self/mountinfo");
}

// Boots twice (each boot ends in a reboot), as the caller's user; with `as` the run is made by
// that user on a board of its own. Slot 1 is missing and slot 2 damaged, so each boot gives up
// without waiting for an operator at the rescue menu.
void boots_twice(const std::string& as) {
    Board scratch;  // only for a directory that is removed afterwards
    const fs::path root = scratch.root() / "run-board";
    const std::string prefix = as.empty() ? "" : as + " ";
    if (!as.empty()) {
        fs::permissions(scratch.root(), fs::perms::all);
    }
    const std::string before = mounts();
    ASSERT_EQ(sh(prefix + BOARDSIM + " create " + root.string()), 0);
    boardtest::Bytes slot =
        boardtest::subimage(image::TYPE_APPLICATION, boardtest::application_tarball());
    slot.back() ^= 0x01;
    boardtest::write_bytes(root / "user/images/image2", slot);
    EXPECT_EQ(sh(prefix + BOARDSIM + " run " + root.string() + " --boots 2 </dev/null >" +
                 (scratch.root() / "console").string() + " 2>&1"),
              3);
    const std::string damaged =
        "Booting image '1'\r\nFailed to open Application image 1. Trying image 2.\r\n"
        "Image2 CRC failed, trying Image1 now.\r\n"
        "Booting image '2'\r\nBoth image1 and image2 failed.\r\n";
    EXPECT_EQ(slurp(scratch.root() / "console"),
              damaged + "boardsim: boot 1: rebooted\n" + damaged + "boardsim: boot 2: rebooted\n");
    const std::string journal = slurp(root / "sim/journal.log");
    EXPECT_NE(journal.find("reboot\n"), journal.rfind("reboot\n"));
    EXPECT_EQ(mounts(), before);
}

TEST(BoardsimRun, BootsAgainAfterARebootAndLeavesNothingMounted) {
    boots_twice("");
}

TEST(BoardsimRun, WorksForAnUnprivilegedUser) {
#ifdef BM_COVERAGE_DIR
    GTEST_SKIP() << "another user cannot write this build's line counters (the sanitize and host "
                    "builds run it)";
#endif
    if (geteuid() != 0) {
        boots_twice("");
        return;
    }
    boots_twice("setpriv --reuid=65534 --regid=65534 --clear-groups");
}

}  // namespace
