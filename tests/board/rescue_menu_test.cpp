// The rescue menu and the USB directory install on a simulated board, transcript by transcript.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "boot_support.hpp"
#include "env_image.hpp"
#include "image/byte_order.hpp"
#include "rescue/rescue.hpp"

namespace {

namespace fs = std::filesystem;
using namespace boardtest;

const std::string& menu = rescue_options;
const std::string& prompt = rescue_prompt;
const std::string exit_key = prompt + "e\r\n";
// From the headers put_versions writes; erased flash and a missing slot file read as shown.
const std::string versions =
    "Installed images versions: \r\n"
    "\tBoot image  : 1.2.3.10\r\n"
    "\tRFS image   : 255.255.255.255\r\n"
    "\tKernel image: 0.0.0.1\r\n"
    "\tDFT image   : 255.255.255.255\r\n"
    "\tOS image 1  : 10.3.2.1\r\n"
    "\tOS image 2  : 0.0.0.0\r\n";
const std::string wipe_question = "Confirm: wiping system keys y/N: \r\n";
const std::string key_file = "user/production_key.pub.pem";

const Terminal quiet{.echo = false, .isig = true};

// Version headers (type and release) where the v key looks: the boot loader's beside its program
// at 0xF0, the kernel's, and slot 1's, whose rest is not looked at.
void put_versions(const Board& board) {
    const auto header = [](std::uint32_t type, std::uint32_t version) {
        Bytes h(16);
        image::store_be32(h.data() + 8, type);
        image::store_be32(h.data() + 12, version);
        return h;
    };
    ASSERT_TRUE(sim::write_partition(
        board.root(), "uboot", Bytes(0xF0, 0xFF) + header(image::TYPE_BOOTLOADER, 0x0102030A)));
    ASSERT_TRUE(sim::write_partition(board.root(), "kernel", header(image::TYPE_KERNEL, 1)));
    put_slot(board, 1, header(image::TYPE_APPLICATION, 0x0A030201) + Bytes(48, 0xEE));
}

int menu_with_handler() {
    register_handovers();
    install_interrupt_handler();
    flash_init();
    return rescue_menu();
}

struct MenuCase {
    const char* name;
    std::vector<std::string> strokes;
    std::string console;  // after the first menu
    int exit_code = 1;
    std::string journal{};
    Terminal terminal = quiet;
};

class RescueMenu : public testing::TestWithParam<MenuCase> {};

TEST_P(RescueMenu, RunsTheChosenOptionAndShowsTheMenuAgain) {
    const MenuCase& c = GetParam();
    Board board;
    fs::remove(board.root() / "mnt/usb");
    std::ofstream(board.root() / key_file) << "key";
    put_versions(board);
    const auto result = board.run(menu_with_handler, c.strokes, c.terminal);
    EXPECT_EQ(result.exit_code, c.exit_code);
    EXPECT_EQ(result.console, rescue_entering + menu + c.console);
    EXPECT_EQ(board.journal(), c.journal);
    EXPECT_TRUE(fs::exists(board.root() / key_file));
}

INSTANTIATE_TEST_SUITE_P(
    Keys, RescueMenu,
    testing::Values(
        MenuCase{"unknown_key_is_named_in_upper_case", keys("qe"),
                 prompt + "q\r\nunknown option \"Q\". Please try again\r\n" + exit_key},
        // The key after Ctrl-\ comes in the same stroke: the read it would have ended goes on.
        MenuCase{"ctrl_backslash_is_ignored", {"\034e"}, exit_key},
        // Ctrl-C reads as this key.
        MenuCase{.name = "key_zero_prompts_again_silently",
                 .strokes = {std::string(1, '\0'), "e"},
                 .console = prompt + std::string(1, '\0') + "\r\n" + exit_key,
                 .terminal = {.echo = false, .isig = false}},
        MenuCase{.name = "reboot_asks_the_system_to_reboot",
                 .strokes = {"r"},
                 .console = prompt + "r\r\n",
                 .exit_code = 0,
                 .journal = "reboot\n"},
        MenuCase{"physical_presence_can_be_declined", keys("pne"),
                 prompt +
                     "p\r\nWARNING: the following test is used to determine physical presence "
                     "and if completed will put the switch in low security mode.\r\nDo you wish "
                     "to continue y/N? n\r\n" +
                     menu + exit_key},
        MenuCase{"unlisted_u_without_a_drive", keys("Ue"),
                 prompt + "U\r\nUnable to open USB directory. Quitting\r\n" + menu + exit_key},
        MenuCase{"unlisted_v_lists_versions", keys("ve"),
                 prompt + "v\r\n" + versions + menu + exit_key},
        // A Ctrl-C during an action is forgotten before the next prompt; the keys stay.
        MenuCase{"ctrl_c_during_an_action",
                 {"k", "\x03", "e"},
                 prompt + "k\r\n" + wipe_question + menu + exit_key},
        MenuCase{"unlisted_d_tries_the_diagnostics_and_comes_back", keys("dne"),
                 prompt +
                     "d\r\nNOTE: switch running developer signed images\r\nConfirm: Erase "
                     "filesystem? (all saved data, configuration, keys will be lost) y/N: "
                     "\r\nBooting diags image...\r\nImage not found... \r\n" +
                     menu + exit_key}),
    [](const testing::TestParamInfo<MenuCase>& info) { return std::string(info.param.name); });

TEST(RescueMenu, StartUpEntersItWhenTheEnvironmentAsksAndGoesOnAfterExit) {
    Board board;
    const auto env = boardsim::make_env_image(
        {"diagnostics=rescue"},
        sim::load_board_config(board.root())->partitions[*sim::partition_index("ubootenv")].size);
    ASSERT_TRUE(env && sim::write_partition(board.root(), "ubootenv", *env));
    // No slot files: the boot ends in the menu once more, and its Exit in a reboot.
    const auto result = board.run(start_up, {"e", "e"}, quiet);
    EXPECT_EQ(result.console.rfind(rescue_exit + "Booting image '1'\r\n", 0), 0U) << result.console;
    EXPECT_EQ(result.exit_code, 0);
}

// The listing as the board will see it: the directory's own order, directories left out.
std::string listing(const fs::path& dir, std::string* second) {
    std::string text;
    int number = 1;
    for (const auto& entry : fs::directory_iterator(dir)) {
        if (entry.symlink_status().type() == fs::file_type::directory) {
            continue;
        }
        const std::string name = entry.path().filename();
        if (number == 2) {
            *second = name;
        }
        text += "\t" + std::to_string(number++) + ": " + name + "\r\n";
    }
    return text;
}

struct UsbCase {
    const char* name;
    std::string typed;
    std::string after_listing;  // "{2}" stands for the second entry's name
};

class UsbDirectory : public testing::TestWithParam<UsbCase> {};

TEST_P(UsbDirectory, ListsFilesAndTakesANumber) {
    const UsbCase& c = GetParam();
    Board board;
    const fs::path usb = board.root() / "mnt/usb";
    fs::create_directories(usb / "sub/deeper");
    std::ofstream(usb / "b.img") << "not a bundle";
    std::ofstream(usb / ".hidden") << "not a bundle";
    fs::create_symlink("b.img", usb / "link");
    std::string second;
    const std::string listed = listing(usb, &second);
    const auto result = board.run(
        [] {
            const int installed = usb_directory_install();
            char cwd[64] = {};
            return installed == 0 && std::string(getcwd(cwd, sizeof cwd)) == "/tmp" ? 0 : 1;
        },
        keys(c.typed), quiet);
    EXPECT_EQ(result.exit_code, 0);
    std::string expected = c.after_listing;
    if (const auto at = expected.find("{2}"); at != std::string::npos) {
        expected.replace(at, 3, second);
    }
    EXPECT_EQ(result.console, listed + "Choose file number to install (q to quit): " + expected);
    EXPECT_EQ(board.journal(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Answers, UsbDirectory,
    testing::Values(UsbCase{"quit_looks_at_the_first_letter_only", "quit\r", "quit\r\n"},
                    UsbCase{"empty_and_wrong_answers_ask_again_without_the_prompt", "\rx\rQ\r",
                            "\r\nInvalid file number . Try again pleas\r\nx\r\n"
                            "Invalid file number x. Try again pleas\r\nQ\r\n"},
                    UsbCase{"trailing_text_after_the_number_is_ignored", "2abc\r",
                            "2abc\r\nInstalling {2}\r\n\r\nExtracting images ... Do *NOT* power "
                            "cycle the switch.\r\nERROR: No valid image found\r\n"},
                    UsbCase{"beyond_the_last_entry_installs_nothing", "4\r", "4\r\n"},
                    UsbCase{"zero_installs_nothing", "0\r", "0\r\n"},
                    UsbCase{"negative_installs_nothing", "-2\r", "-2\r\n"}),
    [](const testing::TestParamInfo<UsbCase>& info) { return std::string(info.param.name); });

}  // namespace
