#include <gtest/gtest.h>
#include <termios.h>
#include <unistd.h>

#include <array>
#include <fstream>
#include <string>

#include "board_session.hpp"
#include "boot/startup.hpp"
#include "scratch.hpp"
#include "sys/console.hpp"
#include "sys/flags.hpp"

namespace {

using boardtest::Board;
using boardtest::keys;
using boardtest::Terminal;

// Writes what an operation produced, for the test to read from the board afterwards.
void keep(const std::string& text) {
    std::ofstream("/tmp/result") << text;
}

std::string kept(const Board& board) {
    return testsupport::read_file(board.root() / "tmp/result");
}

struct LineCase {
    const char* name;
    std::string typed;
    std::size_t size;
    std::string text;  // the buffer afterwards
    std::string echo;  // what the console showed
};

class ReadLine : public testing::TestWithParam<LineCase> {};

TEST_P(ReadLine, EditsAndEchoesAsTheKeysSay) {
    Board board;
    const LineCase& c = GetParam();
    // No ISIG: Ctrl-C reaches the editor as a byte, as on a console without signals.
    const auto result = board.run(
        [&c] {
            std::vector<char> buffer(c.size, 'Z');
            keep(read_line(buffer));
            return 0;
        },
        keys(c.typed), Terminal{.echo = true, .isig = false});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(kept(board), c.text);
    EXPECT_EQ(result.console, c.echo);
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ReadLine,
    testing::Values(
        LineCase{"enter", "ab\r", 16, "ab", "ab\r\n"},
        LineCase{"insert_at_start", "abc\x01x\n", 16, "xabc", "abc\b\b\bxabc\b\b\b\r\n"},
        LineCase{"delete_before_cursor", "abcd\x02\x02\b\n", 16, "acd", "abcd\b\b\bcd \b\b\b\r\n"},
        LineCase{"del_key_like_bs", "ab\x7f\n", 16, "a", "ab\b \b\r\n"},
        LineCase{"delete_under_cursor", "abc\x01\x04\n", 16, "bc", "abc\b\b\bbc \b\b\b\r\n"},
        LineCase{"ctrl_f_right", "ab\x01\x06x\n", 16, "axb", "ab\b\baxb\b\r\n"},
        LineCase{"csi_with_parameters_moves_right", "ab\x01\x1b[1;5Cx\n", 16, "axb",
                 "ab\b\baxb\b\r\n"},
        LineCase{"csi_left", "ab\x1b[Dx\n", 16, "axb", "ab\bxb\b\r\n"},
        LineCase{"csi_up_ignored", "a\x1b[A\n", 16, "a", "a\r\n"},
        LineCase{"esc_then_letter_inserts", "\x1bx\n", 16, "x", "x\r\n"},
        LineCase{"esc_then_bs_deletes", "ab\x1b\b\n", 16, "a", "ab\b \b\r\n"},
        LineCase{"ctrl_c_breaks_keeping_text", "ab\x03", 16, "ab", "ab <break>\r\n"},
        LineCase{"full_buffer_rings", "abcdefgh\n", 8, "abcdefg", "abcdefg\a\r\n"},
        LineCase{"control_byte_rings", "a\x05\n", 16, "a", "a\a\r\n"},
        LineCase{"high_bytes_are_text", "\xe9\n", 16, "\xe9", "\xe9\r\n"}),
    [](const testing::TestParamInfo<LineCase>& info) { return std::string(info.param.name); });

TEST(ReadLine, IgnoresCtrlBackslash) {
    Board board;
    const auto result = board.run(
        [] {
            install_interrupt_handler();
            std::array<char, 8> buffer{};
            keep(read_line(buffer));
            return 0;
        },
        {"a", "\034b\r"}, Terminal{.echo = false, .isig = true});
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(kept(board), "ab");
}

TEST(ReadKey, TakesOneKeyWithoutEchoAndRestoresTheTerminal) {
    Board board;
    const auto result = board.run(
        [] {
            termios before{};
            tcgetattr(0, &before);
            const std::uint8_t key = read_key();
            termios after{};
            tcgetattr(0, &after);
            const bool restored = before.c_lflag == after.c_lflag;
            keep(std::string(1, static_cast<char>(key)) + (restored ? "restored" : "changed"));
            return 0;
        },
        {"q"});
    EXPECT_EQ(kept(board), "qrestored");
    EXPECT_EQ(result.console, "");
}

TEST(ReadKey, EndsWithZeroOnCtrlC) {
    Board board;
    const auto result = board.run(
        [] {
            install_interrupt_handler();
            const std::uint8_t key = read_key();
            keep(std::to_string(key) + " " + std::to_string(interrupted));
            return 0;
        },
        {"\x03"});
    EXPECT_EQ(kept(board), "0 1");
}

struct AskCase {
    const char* name;
    std::vector<std::string> strokes;
    int answer;
    std::string console;
};

class AskYesNo : public testing::TestWithParam<AskCase> {};

TEST_P(AskYesNo, AnswersFromTheTypedLine) {
    // Typed answers arrive within milliseconds of the prompt; the board's five seconds pass in
    // half a second, or at once when nobody types.
    sim::BoardConfig config;
    config.time_scale = GetParam().strokes.empty() ? 0.0 : 0.1;
    Board board(config);
    const auto result = board.run(
        [] {
            install_interrupt_handler();
            return ask_yes_no_timeout("Load it? ");
        },
        GetParam().strokes, Terminal{.echo = false, .isig = true});
    EXPECT_EQ(result.exit_code, GetParam().answer);
    EXPECT_EQ(result.console, GetParam().console);
}

const std::string timeout_line = "\r\nTimeout. Assuming \"no\".\r\n";

INSTANTIATE_TEST_SUITE_P(
    Answers, AskYesNo,
    testing::Values(
        AskCase{"no_key", {}, 0, "Load it? (y/n) " + timeout_line},
        AskCase{"yes", {"y\n"}, 1, "Load it? (y/n) "}, AskCase{"no", {"n\n"}, 0, "Load it? (y/n) "},
        AskCase{"upper_case_asks_again", {"Y\n"}, 0, "Load it? (y/n) (y/n) (y/n) " + timeout_line},
        AskCase{"ctrl_c", {"\x03"}, 0, "Load it? (y/n) " + timeout_line},
        AskCase{"ctrl_backslash_is_ignored", {"\034y\n"}, 1, "Load it? (y/n) "}),
    [](const testing::TestParamInfo<AskCase>& info) { return std::string(info.param.name); });

struct ConfirmCase {
    const char* name;
    std::string key;
    int answer;
    std::string console;
};

class ConfirmYN : public testing::TestWithParam<ConfirmCase> {};

TEST_P(ConfirmYN, TakesOneKey) {
    Board board;
    const auto result = board.run([] { return confirm_yN("Erase"); }, {GetParam().key});
    EXPECT_EQ(result.exit_code, GetParam().answer);
    EXPECT_EQ(result.console, GetParam().console);
}

INSTANTIATE_TEST_SUITE_P(Keys, ConfirmYN,
                         testing::Values(ConfirmCase{"lower_y", "y", 1, "Erase y/N? y\r\n"},
                                         ConfirmCase{"upper_y", "Y", 1, "Erase y/N? Y\r\n"},
                                         ConfirmCase{"enter", "\r", 0, "Erase y/N? \r\n\r\n"},
                                         ConfirmCase{"other", "n", 0, "Erase y/N? n\r\n"}),
                         [](const testing::TestParamInfo<ConfirmCase>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
