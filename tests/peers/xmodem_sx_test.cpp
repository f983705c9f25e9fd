// lrzsz's sx sends files through a socat relay on the console pty to XMODEM receivers on a
// simulated board: ours, and the root file system's behind the rescue menu's download.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "boot/startup.hpp"
#include "boot_support.hpp"
#include "rescue/rescue.hpp"
#include "rescue/xmodem.hpp"

namespace {

namespace fs = std::filesystem;
using namespace boardtest;
const Terminal quiet{.echo = false};

constexpr std::uint8_t kPadding = 0x1A;

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

// sx may miss the receiver's last ACK and hold the line a while longer, taking the end step's
// first text with it; the reminder comes again later.
const std::string back_reminder = "Waiting for the <ENTER> key to be hit...";

std::vector<Step> send_with_sx(const fs::path& file, std::function<bool()> cut = {}) {
    return {
        {.after = "download.\r\n", .send = "\r"},
        {.peer = "sx -k " + file.string(), .cut_peer_when = std::move(cut)},
        {.after = back_reminder, .send = "\n"},
    };
}

int receive_into_tmp() {
    return xmodem_receive("/tmp/out");
}

// Bytes sent, bytes received: the last block is padded to 128 bytes.
class FromSx : public testing::TestWithParam<std::pair<std::size_t, std::size_t>> {};

TEST_P(FromSx, ReceivesTheFilePaddedToWholeBlocks) {
    Board board(peer_board());
    const auto [sent, received] = GetParam();
    const Bytes data = sample(sent);
    write_bytes(board.root() / "sent.bin", data);
    const auto outcome =
        board.script(receive_into_tmp, send_with_sx(board.root() / "sent.bin"), quiet);
    ASSERT_TRUE(outcome.script_done) << outcome.console;
    Bytes padded = data;
    padded.resize(received, kPadding);
    EXPECT_EQ(read_bytes(board.root() / "tmp/out"), padded);
    EXPECT_EQ(outcome.exit_code, static_cast<int>(received));
}

INSTANTIATE_TEST_SUITE_P(Sizes, FromSx,
                         testing::Values(std::pair(0, 0), std::pair(1, 128), std::pair(127, 128),
                                         std::pair(128, 128), std::pair(1024, 1024),
                                         std::pair(1025, 1152), std::pair(300000, 300032)));

TEST(FromSx, ASenderKilledMidTransferCancels) {
    Board board(peer_board());
    write_bytes(board.root() / "sent.bin", sample(200000));
    const fs::path out = board.root() / "tmp/out";
    const auto outcome =
        board.script(receive_into_tmp,
                     send_with_sx(board.root() / "sent.bin",
                                  [&out] {
                                      std::error_code ec;
                                      return fs::file_size(out, ec) >= 16 * 1024 && !ec;
                                  }),
                     quiet);
    ASSERT_TRUE(outcome.script_done) << outcome.console;
    EXPECT_EQ(outcome.exit_code, 0);
    // The sender is gone, so the cancel reaches the terminal.
    EXPECT_NE(outcome.console.find(std::string(5, '\x18')), std::string::npos);
}

// The rescue menu's download as an operator runs it: x, Enter at the new speed, a release
// bundle from sx through the board's own receiver, Enter back at the old speed, and slot 2
// named at the installer's question.
TEST(MenuDownload, InstallsAProductionSignedBundleIntoSlotTwo) {
    Board board(peer_board());
    const fs::path bundle = board.root() / "bundle.img";
    write_bytes(bundle,
                production_signed(image::TYPE_APPLICATION, 0x02000001, application_tarball()));
    std::vector<Step> steps = send_with_sx(bundle);
    steps.insert(steps.begin(), {.after = "Option? : ", .send = "x"});
    steps.push_back({.after = "just boot image): ", .send = "2\n"});
    steps.push_back({.after = "Option? : ", .send = "e"});
    const auto outcome = board.script(
        [] {
            install_interrupt_handler();
            prepare_installer();
            return rescue_menu();
        },
        steps, quiet);
    ASSERT_TRUE(outcome.script_done) << outcome.console;
    EXPECT_EQ(outcome.exit_code, 1);

    // The bundle is the application sub-image alone; the slot choice is the installer tests'.
    EXPECT_EQ(read_bytes(board.root() / "user/images/image2"), read_bytes(bundle));
    EXPECT_EQ(board.journal(), "rx /tmp/image\n");
    const Bytes log = read_bytes(board.root() / "user/install.log");
    const std::string logged(log.begin(), log.end());
    EXPECT_TRUE(std::regex_match(
        logged,
        std::regex(R"(File image installed from xmodem at \d\d:\d\d:\d\d on \d+-\d+-20\d\d\n)")))
        << logged;

    const std::string head = rescue_entering + rescue_options + rescue_prompt +
                             "x\r\nRunning xmodem rescue.....\r\n"
                             "       Change the baud rate to 115200 bps and hit the <ENTER> key\r\n"
                             "       before initiating the download.\r\n";
    const std::string tail =
        "\r\nExtracting images ... Do *NOT* power cycle the switch.\r\n"
        "Installing Application:  Image signature verified. "
        "Install image as image 1 or 2 (hit return to just boot image): "
        "Installing image as image2: " +
        one_piece + "\r\nImage2 updated succeeded\r\nUpdating install log. " +
        std::regex_replace(logged, std::regex("\n"), "\r\n") + rescue_options + rescue_prompt +
        "e\r\n";
    EXPECT_EQ(outcome.console.substr(0, head.size()), head);
    ASSERT_GE(outcome.console.size(), tail.size());
    EXPECT_EQ(outcome.console.substr(outcome.console.size() - tail.size()), tail);
}

}  // namespace
