#include <gtest/gtest.h>
#include <sys/reboot.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fcntl.h>
#include <cerrno>
#include <csignal>
#include <ctime>
#include <fstream>

#include "boot_support.hpp"
#include "sys/shell.hpp"

namespace {

using namespace boardtest;

const std::string from_one =
    "Booting image '1'\r\nFailed to open Application image 1. Trying image 2.\r\n"
    "Failed to open Application image 2.\r\n" +
    rescue_exit;
const std::string mount_and_scan = "mount -o sync -t jffs2 /dev/mtd-user /user\nsummary-scan\n";

const std::string new_year = "date 010100002026.00\n";

struct StartCase {
    const char* name;
    sim::BoardConfig config;
    std::string console = from_one;
    const char* failing_tool = nullptr;
    bool summary_up_to_date = false;
    std::string journal = new_year + mount_and_scan + "reboot\n";
};

sim::BoardConfig clock_at(const char* time, std::array<std::uint8_t, 7> control = {}) {
    sim::BoardConfig config;
    config.rtc_base = time;
    config.rtc_control = control;
    return config;
}

sim::BoardConfig selector(std::uint8_t slot) {
    sim::BoardConfig config;
    config.boot_slot = slot;
    return config;
}

class StartUp : public testing::TestWithParam<StartCase> {};

// Without slot files start-up ends in the rescue menu; the operator leaves it with Exit.
TEST_P(StartUp, SetsTheClockMountsScansAndRebootsWithoutSlotFiles) {
    const StartCase& c = GetParam();
    Board board(c.config);
    if (c.failing_tool != nullptr) {
        std::filesystem::create_directories(board.root() / "sim/fail");
        std::ofstream{board.root() / "sim/fail" / c.failing_tool};
    }
    if (c.summary_up_to_date) {
        std::ofstream{board.root() / "user/summary-updated"};
    }
    const auto result = board.run(start_up, {"e"}, Terminal{.echo = false});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.console, c.console);
    EXPECT_EQ(board.journal(), c.journal);
}

INSTANTIATE_TEST_SUITE_P(
    Table, StartUp,
    testing::Values(
        StartCase{.name = "control_bits_of_the_clock_registers_masked",
                  .config = clock_at("2099-12-31 23:07:59", {0x80, 0x80, 0xC0, 0, 0xC0, 0xE0, 0}),
                  .journal = "date 123123072099.59\n" + mount_and_scan + "reboot\n"},
        StartCase{"failed_summary_scan_reported",
                  {},
                  "ERROR updating file system. Reboot recommended\r\n" + from_one,
                  "summary-scan"},
        StartCase{"no_scan_when_the_summary_is_up_to_date",
                  {},
                  from_one,
                  "summary-scan",
                  true,
                  new_year + "mount -o sync -t jffs2 /dev/mtd-user /user\nreboot\n"},
        StartCase{"slot_two_first_when_the_selector_says_so", selector(2),
                  "Booting image '2'\r\nFailed to open Application image 2. Trying image 1.\r\n"
                  "Failed to open Application image 1.\r\n" +
                      rescue_exit},
        // The reboot's own status does not matter: the boot manager ends with 0 after it.
        StartCase{"failed_reboot_ends_with_zero", {}, from_one, "reboot"},
        // Any other selector means slot 1; the other rows' is the erased EEPROM's 0xFF.
        StartCase{"selector_one", selector(1)}),
    [](const auto& info) { return std::string(info.param.name); });

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

// Which of SIGINT (1) and SIGQUIT (2) a command run now starts with ignored.
int ignored_by_a_command() {
    sys::system_command("exec grep SigIgn /proc/self/status >/tmp/ignored");
    std::ifstream in("/tmp/ignored");
    std::string label;
    std::string mask;
    in >> label >> mask;
    return static_cast<int>((std::stoull(mask, nullptr, 16) >> (SIGINT - 1)) & 3);
}

// As at a shell prompt, Ctrl-C and Ctrl-\ stop a command the boot manager runs, though it
// catches the one and ignores the other itself; an interrupt key it ignores stays ignored.
TEST(Commands, StartWithQuitAtItsDefaultAndInterruptAsTheBootManagerHadIt) {
    Board board;
    const auto result = board.run([] {
        install_interrupt_handler();
        const int while_caught = ignored_by_a_command();
        std::signal(SIGINT, SIG_IGN);
        return while_caught * 10 + ignored_by_a_command();
    });
    EXPECT_EQ(result.exit_code, 1);
}

}  // namespace
