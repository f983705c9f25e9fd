#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "boot/startup.hpp"
#include "flags.hpp"
#include "hw/i2c.hpp"
#include "security/low_security.hpp"
#include "security_board.hpp"
#include "test_files.hpp"

namespace {

using boardtest::Board;
using boardtest::keys;

const std::string kConsent =
    "WARNING: the following test is used to determine physical presence and if completed will "
    "put the switch in low security mode.\r\nDo you wish to continue y/N? ";
const std::string kStart =
    "Hit a key to start the test. The blue location LED will blink a number of times. \r\n";
const std::string kQuestion = "\r\nHow many times did the LED blink? ";
const std::string kCorrect =
    "Correct. Physical presence established and low security mode enabled\r\n";

// What start-up has done before any security operation runs.
void start_up() {
    install_interrupt_handler();
    i2c_open_buses();
}

sim::BoardConfig at(const std::string& seconds, const std::string& missing) {
    sim::BoardConfig config = sectest::board_config(std::nullopt, missing);
    config.rtc_base = "2026-01-01 10:20:" + seconds;
    return config;
}

// A board at 10:20:SECONDS whose CPLD says production (revision 3) unless told otherwise.
struct PresenceBoard : Board {
    explicit PresenceBoard(const std::string& seconds = "07", const std::string& missing = "",
                           std::uint8_t revision = 0x30)
        : Board(at(seconds, missing)) {
        sim::write_cpld(root(), 0x20, revision);
    }
    bool marker() const { return std::filesystem::exists(root() / "tmp/lowsec"); }
    // Lit periods in the LED log: writes of register 5 with bit 0 clear.
    int blinks() const {
        int lit = 0;
        for (const auto& write : sim::read_led_log(root())) {
            lit += write.reg == 5 && (write.value & 1) == 0 ? 1 : 0;
        }
        return lit;
    }
    boardtest::Result test(const std::vector<std::string>& strokes) {
        return run(
            [] {
                start_up();
                return physical_presence_test();
            },
            strokes);
    }
};

// Consent, then a start key and an answer per line; a Ctrl-C at the next start key.
std::vector<std::string> answers(std::initializer_list<std::string> lines, bool interrupt = false) {
    std::vector<std::string> strokes = {"y"};
    for (const auto& line : lines) {
        strokes.push_back(" ");
        strokes.push_back(line + "\r");
    }
    if (interrupt) {
        strokes.push_back("\x03");
    }
    return strokes;
}

// One attempt: the blinks, padded to `dots` periods, with what the board prints around them.
std::string attempt(int dots, const std::string& before = "", const std::string& after = "") {
    return kStart + before + std::string(dots, '.') + after + kQuestion;
}

struct Scenario {
    const char* name;
    const char* seconds;  // of the board's clock
    const char* missing;  // a device that fails
    std::uint8_t revision;
    bool unwritable_marker;  // a dangling link where the marker goes
    std::vector<std::string> strokes;
    std::string console;  // after the answer to the consent question
    int result;
    int blinks;
};

class PresenceTest : public testing::TestWithParam<Scenario> {};

// The count is the clock's digit sum, the blinks padded to eleven periods.
TEST_P(PresenceTest, RunsAsTheScenarioSays) {
    const Scenario& c = GetParam();
    PresenceBoard board(c.seconds, c.missing, c.revision);
    if (c.unwritable_marker) {
        std::filesystem::create_symlink("/missing/lowsec", board.root() / "tmp/lowsec");
    }
    const auto result = board.test(c.strokes);
    EXPECT_EQ(result.console, kConsent + c.strokes[0] + "\r\n" + c.console);
    EXPECT_EQ(result.exit_code, c.result);
    EXPECT_EQ(board.blinks(), c.blinks);
    EXPECT_EQ(board.journal(), c.blinks == 21 ? "reboot\n" : "");
    EXPECT_EQ(board.marker(), c.result == 1);
    if (c.result == 1) {
        EXPECT_EQ(testsupport::read_file(board.root() / "tmp/lowsec"), "marmoset\n");
        EXPECT_EQ(sim::read_led_log(board.root()).back().value & 1, 1) << "the LED is left dark";
    }
}

const std::string kWrong = "\r\nIncorrect. Try again (attempt ";
// The key read comes back empty and is echoed as such.
const std::string kInterrupted = kStart.substr(0, kStart.size() - 3) + std::string("\0\r\n", 3);

INSTANTIATE_TEST_SUITE_P(
    Scenarios, PresenceTest,
    testing::Values(
        Scenario{"s59", "59", "", 0x30, false, answers({"14"}), attempt(14) + "14\r\n" + kCorrect,
                 1, 14},
        Scenario{"failed_clock_read_is_second_0", "07", "rtc", 0x30, false, answers({"1"}),
                 attempt(11, "I2C error - device 0xd0 writing bus 0 offset 0: 6\r\n") + "1\r\n" +
                     kCorrect,
                 1, 1},
        Scenario{
            "prototype_shows_the_count", "07", "", 0x10, false, answers({"7"}),
            attempt(11, "", "\r\nPROTO quokka cheat: led flahed 7 times\r\n") + "7\r\n" + kCorrect,
            1, 7},
        Scenario{"unreadable_cpld_is_production", "07", "mem", 0x10, false, answers({"7"}),
                 attempt(11, "",
                         "cpld_init open() FAILED\r\nERROR - failed to open access to CPLD\r\n") +
                     "7\r\n" + kCorrect,
                 1, 7},
        // Each wrong answer shows 7 blinks again; the third reboots.
        Scenario{"three_wrong_answers_reboot", "07", "", 0x30, false, answers({"1", "2", "3"}),
                 attempt(11) + "1" + kWrong + "1 of 3)\r\n" + attempt(11) + "2" + kWrong +
                     "2 of 3)\r\n" + attempt(11) + "3" + kWrong +
                     "3 of 3)\r\nMaximum number of test failed. Board is resetting\r\n",
                 0, 21},
        Scenario{"ctrl_c_before_the_blinks", "07", "", 0x30, false, keys("y\x03"), kInterrupted, 0,
                 0},
        // The answer's leading number counts.
        Scenario{"answer_after_a_blank", "07", "", 0x30, false, answers({" 7"}),
                 attempt(11) + " 7\r\n" + kCorrect, 1, 7},
        Scenario{"answer_before_letters", "07", "", 0x30, false, answers({"7x"}),
                 attempt(11) + "7x\r\n" + kCorrect, 1, 7},
        Scenario{"empty_answer", "07", "", 0x30, false, answers({""}, true),
                 attempt(11) + kWrong + "1 of 3)\r\n" + kInterrupted, 0, 7},
        Scenario{"marker_cannot_be_written", "07", "", 0x30, true, answers({"7"}),
                 attempt(11) + "7\r\nERROR creating /tmp/lowsec. Low security mode not enabled\r\n",
                 0, 7}),
    [](const auto& info) { return std::string(info.param.name); });

struct LeaveCase {
    const char* name;
    std::string key;
    std::string echo;
    bool kept;
};

class LeaveLowSecurity : public testing::TestWithParam<LeaveCase> {};

TEST_P(LeaveLowSecurity, AnythingButNDisables) {
    PresenceBoard board;
    boardtest::write_text(board.root() / "tmp/lowsec", "any content");
    const auto& c = GetParam();
    const auto result = board.test({c.key});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.console, "Switch is in low security mode. Confirm disabling Y/n? " + c.echo);
    EXPECT_EQ(board.marker(), c.kept);
}

INSTANTIATE_TEST_SUITE_P(Keys, LeaveLowSecurity,
                         testing::Values(LeaveCase{"enter", "\r", "\r\n\r\n", false},
                                         LeaveCase{"y", "y", "y\r\n", false},
                                         LeaveCase{"upper_n", "N", "N\r\n", true},
                                         LeaveCase{"n", "n", "n\r\n", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LowSecurity, TheBootLoaderOverrideCannotBeLeftHere) {
    PresenceBoard board;
    const auto result = board.run(
        [] {
            start_up();
            const testflags::ScopedFlags flags({.lowsec_override = 1});
            physical_presence_test();
            return is_low_security();
        },
        {"\r"});
    EXPECT_EQ(result.exit_code, 1);
    EXPECT_EQ(result.console,
              "NOTE: Uboot low security mode override enabled\r\n"
              "Switch is in low security mode. Confirm disabling Y/n? \r\n\r\n"
              "NOTE: Uboot low security mode override enabled\r\n");
}

TEST(LowSecurity, SetAndClearTheMarker) {
    PresenceBoard board;
    const auto result = board.run([] {
        const int before = is_low_security();
        const int set = set_low_security(1);
        const int during = is_low_security();
        const int cleared = set_low_security(0);
        set_low_security(0);
        return before * 1000 + set * 100 + cleared * 10 + during * 2 + is_low_security();
    });
    EXPECT_EQ(result.exit_code, 2);
    EXPECT_EQ(result.console, "");
}

}  // namespace
