// Power lost half-way through an install, then the next boot. The flash partitions lose power
// through the board's fault plan; the image slots live on /user, so a cut there is a file size
// limit whose signal ends the boot manager in the middle of the slot file's write.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "boot/startup.hpp"
#include "boot/usb.hpp"
#include "installer_support.hpp"
#include "security/key_store.hpp"

namespace boardtest {
namespace {

namespace fs = std::filesystem;
using namespace image;

constexpr std::uint32_t piece = 0x10000;

void cut_power(int /*signal*/) {
    ::_exit(sim::power_cut_exit_status);
}

// The boot manager as the board starts it, from a fresh process.
int boot() {
    boot_main();
}

// An application tarball of about four slot-file pieces: a filler that gzip cannot shrink.
Bytes large_application() {
    std::string filler(0x34000, '\0');
    std::uint32_t x = 2463534242U;
    for (char& c : filler) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        c = static_cast<char>(x);
    }
    return tarball({{"home/bin/mp.elf.strip", script_printing("application up")},
                    {"home/bin/filler", filler}});
}

struct SlotCut {
    std::uint32_t bytes_kept;  // of the new slot file when the power goes
    std::uint8_t selector;     // boot selector before the install
};

class SlotTwoPowerCut : public testing::TestWithParam<SlotCut> {
public:
    static const Bytes& replacement() {
        static const Bytes image =
            production_signed(TYPE_APPLICATION, 0x02000000, large_application());
        return image;
    }
};

// Replacing slot 2 while slot 1 holds a working application: wherever the power goes, the next
// boot reaches an application.
TEST_P(SlotTwoPowerCut, TheNextBootReachesTheApplication) {
    const SlotCut cut = GetParam();
    const Bytes old = production_signed(TYPE_APPLICATION, 0x01000000, application_tarball());
    sim::BoardConfig config;
    config.boot_slot = cut.selector;
    Board board(config);
    put_slot(board, 1, old);
    put_slot(board, 2, old);
    put_bundle(board, replacement(), "mnt/usb/ZKM7730_replace2_OS.img");
    // The key files exist from earlier boots; only the slot file is written when the power goes.
    ASSERT_EQ(board
                  .run([] {
                      prepare_installer();
                      return check_system_keys();
                  })
                  .exit_code,
              1);

    const std::uint32_t limit = cut.bytes_kept;
    const auto install = board.run([limit] {
        prepare_installer();
        std::signal(SIGXFSZ, cut_power);
        const rlimit size{limit, limit};
        setrlimit(RLIMIT_FSIZE, &size);
        return install_bundle("/mnt/usb/ZKM7730_replace2_OS.img", 1, 2);
    });
    ASSERT_EQ(install.exit_code, sim::power_cut_exit_status) << install.console;
    ASSERT_EQ(fs::file_size(board.root() / "user/images/image2"), cut.bytes_kept);
    EXPECT_EQ(eeprom_byte(board, boot_slot_offset), cut.selector);

    const auto next = board.run(boot);
    EXPECT_NE(next.console.find(app_banner), std::string::npos) << next.console;
    EXPECT_NE(next.console.find("Booting image '1'"), std::string::npos) << next.console;
}

std::vector<SlotCut> slot_cuts() {
    const auto total = static_cast<std::uint32_t>(SlotTwoPowerCut::replacement().size());
    std::vector<SlotCut> cuts;
    for (const std::uint8_t selector : {1, 2}) {
        // Before every piece and in the middle of every piece.
        for (std::uint32_t at = 0; at < total; at += piece) {
            cuts.push_back({at, selector});
            cuts.push_back({at + std::min(piece, total - at) / 2, selector});
        }
    }
    return cuts;
}

INSTANTIATE_TEST_SUITE_P(EveryPiece, SlotTwoPowerCut, testing::ValuesIn(slot_cuts()),
                         [](const auto& info) {
                             return "selector" + std::to_string(info.param.selector) + "_kept" +
                                    std::to_string(info.param.bytes_kept);
                         });

// The power goes once slot 2's file is whole, before the install has taken effect, and the
// drive stays in: the next boot finishes that install, the one after leaves it alone.
TEST(SlotTwoCutAfterTheFile, TheNextBootWithTheDriveInFinishesTheInstall) {
    const Bytes& replacement = SlotTwoPowerCut::replacement();
    const Bytes old = production_signed(TYPE_APPLICATION, 0x01000000, application_tarball());
    sim::BoardConfig config;
    config.boot_slot = 1;
    config.usb_enable = 213;
    Board board(config);
    put_slot(board, 1, old);
    put_slot(board, 2, old);
    put_bundle(board, replacement, "mnt/usb/ZKM7730_replace2_OS.img");
    ASSERT_EQ(board
                  .run([] {
                      prepare_installer();
                      return check_system_keys();
                  })
                  .exit_code,
              1);
    const auto install = board.run([] {
        prepare_installer();
        std::signal(SIGXFSZ, cut_power);
        const rlimit size{0, 0};
        setrlimit(RLIMIT_FSIZE, &size);
        return install_bundle("/mnt/usb/ZKM7730_replace2_OS.img", 1, 2);
    });
    ASSERT_EQ(install.exit_code, sim::power_cut_exit_status) << install.console;
    // The cut came as the file's first piece went out; its last one landing instead differs
    // only in the file's bytes.
    put_slot(board, 2, replacement);
    ASSERT_EQ(eeprom_byte(board, boot_slot_offset), 1);

    const std::string found =
        "USB image (file 'ZKM7730_replace2_OS.img') replacement for image2 found\r\n" + extracting +
        "Installing Application: " + verified + "Installing image as image2: ";
    const std::regex clock_time("[0-9]{2}:[0-9]{2}:[0-9]{2}");
    const std::string log_line =
        "File /mnt/usb/ZKM7730_replace2_OS.img installed from USB at hh:mm:ss on 1-1-2026";
    std::ofstream{board.root() / "tmp/usb"};
    const auto next = board.run(boot);
    const std::string shown = std::regex_replace(next.console, clock_time, "hh:mm:ss");
    EXPECT_NE(
        shown.find(found + "\r\nImage2 updated succeeded\r\nUpdating install log. " + log_line +
                   "\r\nImage2 has been successfully replaced\r\n"
                   "USB replacement image: board will boot with image2.\r\n"),
        std::string::npos)
        << next.console;
    EXPECT_NE(next.console.find("Booting image '2'"), std::string::npos) << next.console;
    EXPECT_NE(next.console.find(app_banner), std::string::npos) << next.console;
    EXPECT_EQ(eeprom_byte(board, boot_slot_offset), 2);

    std::ofstream{board.root() / "tmp/usb"};
    const auto after = board.run(boot);
    EXPECT_NE(after.console.find(found +
                                 "Image2 has same version as existing image. Skipping update...\r\n"
                                 "ERROR: No valid image found\r\n"),
              std::string::npos)
        << after.console;
    EXPECT_NE(after.console.find("Booting image '2'"), std::string::npos) << after.console;
    EXPECT_NE(after.console.find(app_banner), std::string::npos) << after.console;
    std::ifstream log(board.root() / "user/install.log");
    std::stringstream text;
    text << log.rdbuf();
    EXPECT_EQ(std::regex_replace(text.str(), clock_time, "hh:mm:ss"), log_line + "\n");
}

}  // namespace
}  // namespace boardtest
