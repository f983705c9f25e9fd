// The rescue menu and the USB directory install on a simulated board, transcript by transcript.
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "board_session.hpp"
#include "boot/startup.hpp"
#include "hw/mtd.hpp"
#include "rescue/rescue.hpp"

namespace {

namespace fs = std::filesystem;
using boardtest::Board;
using boardtest::keys;
using boardtest::Terminal;

const std::string entering = "Entering Rescue Mode.\r\n";
const std::string menu =
    "Please select one of the following options:\r\n"
    "\tX) Use xmodem 1K to serial download an image\r\n"
    "\tP) Physical presence (low security mode)\r\n"
    "\tR) Reboot\r\n"
    "\tE) Exit\r\n";
const std::string prompt = "\r\nOption? : ";
// Erased flash partitions and no slot files.
const std::string versions =
    "Installed images versions: \r\n"
    "\tBoot image  : 255.255.255.255\r\n"
    "\tRFS image   : 255.255.255.255\r\n"
    "\tKernel image: 255.255.255.255\r\n"
    "\tDFT image   : 255.255.255.255\r\n"
    "\tOS image 1  : 0.0.0.0\r\n"
    "\tOS image 2  : 0.0.0.0\r\n";

int menu_with_handler() {
    install_interrupt_handler();
    flash_init();
    return rescue_menu();
}

struct MenuCase {
    const char* name;
    std::vector<std::string> strokes;
    Terminal terminal;
    int exit_code;
    std::string console;
};

void PrintTo(const MenuCase& c, std::ostream* os) {
    *os << c.name;
}

class RescueMenu : public testing::TestWithParam<MenuCase> {};

TEST_P(RescueMenu, RunsTheChosenOptionAndShowsTheMenuAgain) {
    const MenuCase& c = GetParam();
    Board board;
    fs::remove(board.root() / "mnt/usb");
    const auto result = board.run(menu_with_handler, c.strokes, c.terminal);
    EXPECT_EQ(result.exit_code, c.exit_code);
    EXPECT_EQ(result.console, c.console);
}

const Terminal quiet{.echo = false, .isig = true};
const Terminal raw{.echo = false, .isig = false};

INSTANTIATE_TEST_SUITE_P(
    Keys, RescueMenu,
    testing::Values(
        MenuCase{"exit", {"E"}, quiet, 1, entering + menu + prompt + "E\r\n"},
        MenuCase{"lower_case_exit", {"e"}, quiet, 1, entering + menu + prompt + "e\r\n"},
        MenuCase{"unknown_key_is_named_in_upper_case", keys("qE"), quiet, 1,
                 entering + menu + prompt + "q\r\nunknown option \"Q\". Please try again\r\n" +
                     prompt + "E\r\n"},
        MenuCase{"ctrl_c_prompts_again_silently",
                 {"\x03", "e"},
                 quiet,
                 1,
                 entering + menu + prompt + std::string(1, '\0') + "\r\n" + prompt + "e\r\n"},
        MenuCase{"key_zero_prompts_again_silently",
                 {std::string(1, '\0'), "e"},
                 raw,
                 1,
                 entering + menu + prompt + std::string(1, '\0') + "\r\n" + prompt + "e\r\n"},
        MenuCase{"unlisted_v_lists_versions_then_the_whole_menu", keys("ve"), quiet, 1,
                 entering + menu + prompt + "v\r\n" + versions + menu + prompt + "e\r\n"},
        MenuCase{"unlisted_u_without_a_drive", keys("UE"), quiet, 1,
                 entering + menu + prompt + "U\r\nUnable to open USB directory. Quitting\r\n" +
                     menu + prompt + "E\r\n"}),
    [](const testing::TestParamInfo<MenuCase>& info) { return std::string(info.param.name); });

TEST(RescueMenu, UnlistedKWipesTheKeysOnlyWhenConfirmed) {
    Board board;
    std::ofstream(board.root() / "user/production_key.pub.pem") << "key";
    const auto result = board.run(menu_with_handler, keys("knKye"), quiet);
    EXPECT_EQ(result.exit_code, 1);
    const std::string ask = "Confirm: wiping system keys y/N: \r\n";
    EXPECT_EQ(result.console,
              entering + menu + prompt + "k\r\n" + ask + menu + prompt + "K\r\n" + ask +
                  "System keys have been deleted. Reset the switch to complete the operation\r\n" +
                  menu + prompt + "e\r\n");
    EXPECT_FALSE(fs::exists(board.root() / "user/production_key.pub.pem"));
}

TEST(RescueMenu, UnlistedDTriesTheDiagnosticsAndComesBack) {
    Board board;
    const auto result = board.run(menu_with_handler, keys("dne"), quiet);
    EXPECT_EQ(result.exit_code, 1);
    const std::string chosen = entering + menu + prompt + "d\r\n";
    EXPECT_EQ(result.console.rfind(chosen, 0), 0U) << result.console;
    const std::string back = menu + prompt + "e\r\n";
    EXPECT_EQ(result.console.substr(result.console.size() - back.size()), back);
}

TEST(RescueMenu, StartUpEntersItWhenTheEnvironmentAsksAndGoesOnAfterExit) {
    Board board;
    const std::string env =
        std::string(BOARDSIM) + " env " + board.root().string() + " diagnostics=rescue >/dev/null";
    ASSERT_EQ(std::system(env.c_str()), 0);
    // No slot files: the boot ends in the menu once more, and its Exit in a reboot.
    const auto result = board.run([]() -> int { boot_main(); }, {"e", "e"}, quiet);
    EXPECT_EQ(result.console.rfind(entering + menu + prompt + "e\r\nBooting image '1'\r\n", 0), 0U)
        << result.console;
    EXPECT_EQ(result.exit_code, 0);
}

TEST(RescueMenu, RebootAsksTheSystemToReboot) {
    Board board;
    const auto result = board.run(menu_with_handler, {"r"}, quiet);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.console, entering + menu + prompt + "r\r\n");
    EXPECT_EQ(board.journal(), "reboot\n");
}

// The listing as the board will see it: the directory's own order, directories left out.
std::vector<std::string> listed(const fs::path& dir) {
    std::vector<std::string> names;
    DIR* d = opendir(dir.c_str());
    while (dirent* entry = readdir(d)) {
        struct stat st {};
        if (lstat((dir / entry->d_name).c_str(), &st) == 0 && !S_ISDIR(st.st_mode)) {
            names.emplace_back(entry->d_name);
        }
    }
    closedir(d);
    return names;
}

struct UsbCase {
    const char* name;
    std::string typed;
    std::string after_listing;
};

void PrintTo(const UsbCase& c, std::ostream* os) {
    *os << c.name;
}

class UsbDirectory : public testing::TestWithParam<UsbCase> {};

TEST_P(UsbDirectory, ListsFilesAndTakesANumber) {
    const UsbCase& c = GetParam();
    Board board;
    const fs::path usb = board.root() / "mnt/usb";
    fs::create_directories(usb / "sub");
    std::ofstream(usb / "b.img") << "x";
    std::ofstream(usb / ".hidden") << "x";
    fs::create_symlink("b.img", usb / "link");
    std::string listing;
    int number = 1;
    for (const std::string& name : listed(usb)) {
        listing += "\t" + std::to_string(number++) + ": " + name + "\r\n";
    }
    ASSERT_EQ(number, 4);
    const auto result = board.run(
        [] {
            const int installed = usb_directory_install();
            char cwd[64] = {};
            return installed == 0 && std::string(getcwd(cwd, sizeof cwd)) == "/tmp" ? 0 : 1;
        },
        keys(c.typed), quiet);
    EXPECT_EQ(result.exit_code, 0);
    EXPECT_EQ(result.console,
              listing + "Choose file number to install (q to quit): " + c.after_listing);
    EXPECT_EQ(board.journal(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Answers, UsbDirectory,
    testing::Values(UsbCase{"quit_looks_at_the_first_letter_only", "quit\r", "quit\r\n"},
                    UsbCase{"empty_and_wrong_answers_ask_again_without_the_prompt", "\rx\rQ\r",
                            "\r\nInvalid file number . Try again pleas\r\nx\r\n"
                            "Invalid file number x. Try again pleas\r\nQ\r\n"},
                    UsbCase{"beyond_the_last_entry_installs_nothing", "4\r", "4\r\n"},
                    UsbCase{"zero_installs_nothing", "0\r", "0\r\n"},
                    UsbCase{"negative_installs_nothing", "-2\r", "-2\r\n"}),
    [](const testing::TestParamInfo<UsbCase>& info) { return std::string(info.param.name); });

TEST(UsbDirectory, ADriveOfDirectoriesOnlyStillAsks) {
    Board board;
    fs::create_directories(board.root() / "mnt/usb/only/deeper");
    const auto result = board.run(usb_directory_install, keys("q\r"), quiet);
    EXPECT_EQ(result.console, "Choose file number to install (q to quit): q\r\n");
}

TEST(UsbDirectory, TheNumberWithTrailingTextChoosesThatEntry) {
    Board board;
    const fs::path usb = board.root() / "mnt/usb";
    std::ofstream(usb / "one") << "not a bundle";
    std::ofstream(usb / "two") << "not a bundle";
    const std::string second = listed(usb)[1];
    const auto result = board.run(usb_directory_install, keys("2abc\r"), quiet);
    EXPECT_EQ(result.exit_code, 0);
    const std::string chosen = "2abc\r\nInstalling " + second + "\r\n";
    EXPECT_NE(result.console.find(chosen), std::string::npos) << result.console;
    EXPECT_EQ(board.journal(), "");
}

}  // namespace
