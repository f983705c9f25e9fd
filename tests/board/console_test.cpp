#include <gtest/gtest.h>
#include <termios.h>

#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "board_session.hpp"
#include "boot/startup.hpp"
#include "scratch.hpp"
#include "sys/console.hpp"
#include "sys/flags.hpp"

namespace {

using boardtest::Board;
using boardtest::keys;
using boardtest::Terminal;

// No ISIG: Ctrl-C reaches the line editor as a byte, as on a console without signals.
const Terminal raw{.echo = true, .isig = false};
const Terminal quiet{.echo = false, .isig = true};

struct InputCase {
    const char* name;
    std::function<std::string()> op;  // what the operation read or answered
    std::vector<std::string> strokes;
    std::string result;
    std::string console;
    Terminal terminal = raw;
};

std::function<std::string()> line(std::size_t size) {
    return [size] {
        std::vector<char> buffer(size, 'Z');
        return std::string(read_line(buffer));
    };
}

std::string key_and_terminal() {
    termios before{};
    tcgetattr(0, &before);
    const std::uint8_t key = read_key();
    termios after{};
    tcgetattr(0, &after);
    return std::string(1, static_cast<char>(key)) +
           (before.c_lflag == after.c_lflag ? "restored" : "changed");
}

std::string key_after_ctrl_c() {
    install_interrupt_handler();
    const std::uint8_t key = read_key();
    return std::to_string(key) + " " + std::to_string(interrupted);
}

std::string ask() {
    install_interrupt_handler();
    return std::to_string(ask_yes_no_timeout("Load it? "));
}

std::string confirm() {
    return std::to_string(confirm_yN("Erase"));
}

class ConsoleInput : public testing::TestWithParam<InputCase> {};

TEST_P(ConsoleInput, EditsEchoesAndAnswersAsTheKeysSay) {
    const InputCase& c = GetParam();
    // Typed answers arrive within milliseconds of a prompt; the board's five seconds of a
    // question pass in half a second.
    sim::BoardConfig config;
    config.time_scale = 0.1;
    Board board(config);
    const auto result = board.run(
        [&c] {
            std::ofstream("/tmp/result") << c.op();
            return 0;
        },
        c.strokes, c.terminal);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(testsupport::read_file(board.root() / "tmp/result"), c.result);
    EXPECT_EQ(result.console, c.console);
}

const std::string timeout_line = "\r\nTimeout. Assuming \"no\".\r\n";

INSTANTIATE_TEST_SUITE_P(
    Keys, ConsoleInput,
    testing::Values(
        InputCase{"insert_at_start", line(16), keys("abc\x01x\n"), "xabc",
                  "abc\b\b\bxabc\b\b\b\r\n"},
        InputCase{"delete_before_cursor", line(16), keys("abcd\x02\x02\b\n"), "acd",
                  "abcd\b\b\bcd \b\b\b\r\n"},
        InputCase{"bs_at_start_does_nothing", line(16), keys("\bab\n"), "ab", "ab\r\n"},
        InputCase{"del_key_like_bs", line(16), keys("ab\x7f\n"), "a", "ab\b \b\r\n"},
        InputCase{"delete_under_cursor", line(16), keys("abc\x01\x04\n"), "bc",
                  "abc\b\b\bbc \b\b\b\r\n"},
        InputCase{"ctrl_f_right", line(16), keys("ab\x01\x06x\n"), "axb", "ab\b\baxb\b\r\n"},
        InputCase{"csi_with_parameters_moves_right", line(16), keys("ab\x01\x1b[1;5Cx\n"), "axb",
                  "ab\b\baxb\b\r\n"},
        InputCase{"csi_left", line(16), keys("ab\x1b[Dx\n"), "axb", "ab\bxb\b\r\n"},
        InputCase{"csi_up_ignored", line(16), keys("a\x1b[A\n"), "a", "a\r\n"},
        InputCase{"esc_then_letter_inserts", line(16), keys("\x1bx\n"), "x", "x\r\n"},
        InputCase{"ctrl_c_breaks_keeping_text", line(16), keys("ab\x03"), "ab", "ab <break>\r\n"},
        InputCase{"full_buffer_rings", line(8), keys("abcdefgh\n"), "abcdefg", "abcdefg\a\r\n"},
        InputCase{"control_byte_rings", line(16), keys("a\x05\n"), "a", "a\a\r\n"},
        InputCase{"high_bytes_are_text", line(16), keys("\xe9\n"), "\xe9", "\xe9\r\n"},
        // One key without echo, the terminal as it was afterwards.
        InputCase{"key", key_and_terminal, {"q"}, "qrestored", "", {}},
        InputCase{"key_ends_with_zero_on_ctrl_c", key_after_ctrl_c, {"\x03"}, "0 1", "", {}},
        // Yes and no are the USB replacement's questions; a wrong answer and Ctrl-C here.
        InputCase{"ask_upper_case_asks_again",
                  ask,
                  {"Y\n"},
                  "0",
                  "Load it? (y/n) (y/n) (y/n) " + timeout_line,
                  quiet},
        InputCase{"ask_ctrl_c", ask, {"\x03"}, "0", "Load it? (y/n) " + timeout_line, quiet},
        InputCase{"confirm_upper_y", confirm, {"Y"}, "1", "Erase y/N? Y\r\n", {}},
        InputCase{"confirm_enter", confirm, {"\r"}, "0", "Erase y/N? \r\n\r\n", {}}),
    [](const testing::TestParamInfo<InputCase>& info) { return std::string(info.param.name); });

}  // namespace
