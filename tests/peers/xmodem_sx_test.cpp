// lrzsz's sx sends files through a socat relay on the console pty to our XMODEM receiver on a
// simulated board.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "board_session.hpp"
#include "console_script.hpp"
#include "rescue/xmodem.hpp"

namespace {

namespace fs = std::filesystem;
using boardtest::Board;
using rescuetest::run_script;
using rescuetest::Step;
using Bytes = std::vector<std::uint8_t>;

constexpr std::uint8_t kPadding = 0x1A;

Bytes read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes sample(std::size_t size) {
    Bytes data(size);
    std::uint32_t x = 0x12345678;
    for (auto& b : data) {
        x = x * 1103515245 + 12345;
        b = static_cast<std::uint8_t>(x >> 16);
    }
    return data;
}

// Board seconds run twenty times faster than real ones: a sender's pause would have to last 50
// real milliseconds to be taken for silence, and then only costs a retry.
sim::BoardConfig peer_board() {
    sim::BoardConfig config;
    config.time_scale = 0.05;
    return config;
}

// The relay may still hold the line when the end step asks for Enter; its reminder comes later.
const std::string back_reminder = "Waiting for the <ENTER> key to be hit...";

int receive_into_tmp() {
    std::ofstream("/tmp/result") << xmodem_receive("/tmp/out");
    return 0;
}

std::string kept(const Board& board) {
    std::ifstream in(board.root() / "tmp/result");
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class FromSx : public testing::TestWithParam<std::size_t> {};

TEST_P(FromSx, ReceivesTheFilePaddedToWholeBlocks) {
    Board board(peer_board());
    const Bytes data = sample(GetParam());
    const fs::path sent = board.root() / "sent.bin";
    std::ofstream(sent, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
    const auto outcome = run_script(board.root(), receive_into_tmp,
                                    {
                                        {.after = "download.\r\n", .send = "\r"},
                                        {.after = "", .peer = "sx -k " + sent.string()},
                                        {.after = back_reminder, .send = "\n"},
                                    });
    ASSERT_TRUE(outcome.script_done) << outcome.console;
    const Bytes got = read_bytes(board.root() / "tmp/out");
    ASSERT_GE(got.size(), data.size());
    EXPECT_EQ(got.size() % 128, 0U);
    EXPECT_TRUE(std::equal(data.begin(), data.end(), got.begin()));
    EXPECT_TRUE(std::all_of(got.begin() + static_cast<std::ptrdiff_t>(data.size()), got.end(),
                            [](std::uint8_t b) { return b == kPadding; }));
    EXPECT_EQ(kept(board), std::to_string(got.size()));
}

INSTANTIATE_TEST_SUITE_P(Sizes, FromSx, testing::Values(0, 1, 127, 128, 1024, 1025, 300000));

TEST(FromSx, ASenderKilledMidTransferCancels) {
    Board board(peer_board());
    const Bytes data = sample(200000);
    const fs::path sent = board.root() / "sent.bin";
    std::ofstream(sent, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()),
               static_cast<std::streamsize>(data.size()));
    const fs::path out = board.root() / "tmp/out";
    const auto outcome =
        run_script(board.root(), receive_into_tmp,
                   {
                       {.after = "download.\r\n", .send = "\r"},
                       {.after = "",
                        .peer = "sx -k " + sent.string(),
                        .cut_peer_when =
                            [&out] {
                                std::error_code ec;
                                return fs::file_size(out, ec) >= 16 * 1024 && !ec;
                            }},
                       // The sender is gone, so the end step's text reaches the terminal.
                       {.after = "9600 bps", .send = "\n"},
                   });
    ASSERT_TRUE(outcome.script_done) << outcome.console;
    EXPECT_EQ(kept(board), "0");
    const std::string cancel(5, '\x18');
    EXPECT_NE(outcome.console.find(cancel), std::string::npos);
}

}  // namespace
