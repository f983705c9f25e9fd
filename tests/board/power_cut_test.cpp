// Power lost half-way through an install, then the next boot. The board's fault plan cuts the
// power at the N-th flash operation or write under /user of the install.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "boot/usb.hpp"
#include "boot_support.hpp"
#include "security/key_store.hpp"

namespace boardtest {
namespace {

namespace fs = std::filesystem;
using namespace image;

// An application tarball of about four slot-file pieces: a filler that gzip cannot shrink.
Bytes large_application() {
    std::string filler(0x34000, '\0');
    std::mt19937 random(1);
    std::generate(filler.begin(), filler.end(), [&random] { return static_cast<char>(random()); });
    return tarball({{"home/bin/mp.elf.strip", script_printing("application up")},
                    {"home/bin/filler", filler}});
}

const Bytes& replacement() {
    static const Bytes image = production_signed(TYPE_APPLICATION, 0x02000000, large_application());
    return image;
}

int make_keys() {
    prepare_installer();
    return check_system_keys();
}

// Slot 1 and 2 hold a working application, the replacement for slot 2 is on the drive and the
// key files exist from earlier boots.
void prepare(Board& board) {
    put_slot(board, 1, production_signed(TYPE_APPLICATION, 0x01000000, application_tarball()));
    put_slot(board, 2, production_signed(TYPE_APPLICATION, 0x01000000, application_tarball()));
    put_bundle(board, replacement(), "mnt/usb/ZKM7730_replace2_OS.img");
    ASSERT_EQ(board.run(make_keys).exit_code, 1);
}

// The install of slot 2 with the power cut at its N-th event.
Result install_cut_at(Board& board, std::uint32_t n) {
    sim::FaultPlan plan;
    plan.power_cut_after = n;
    EXPECT_TRUE(sim::set_fault_plan(board.root(), plan));
    return board.run([] {
        prepare_installer();
        return install_bundle("/mnt/usb/ZKM7730_replace2_OS.img", 1, 2);
    });
}

class SlotTwoPowerCut : public testing::TestWithParam<std::uint8_t> {};

// Replacing slot 2 while slot 1 holds a working application: wherever the power goes, the next
// boot reaches an application.
TEST_P(SlotTwoPowerCut, TheNextBootReachesTheApplication) {
    std::uint32_t n = 1;
    for (;; ++n) {
        SCOPED_TRACE("power cut at event " + std::to_string(n));
        sim::BoardConfig config;
        config.boot_slot = GetParam();
        Board board(config);
        prepare(board);
        const auto install = install_cut_at(board, n);
        if (install.exit_code != sim::power_cut_exit_status) {
            break;
        }
        const auto next = board.run(start_up);
        EXPECT_NE(next.console.find(app_banner), std::string::npos) << next.console;
    }
    // The marker's creation, the slot file's, its four pieces (during and after each) and the
    // marker's removal.
    EXPECT_EQ(n - 1, 11U);
}

INSTANTIATE_TEST_SUITE_P(EverySelector, SlotTwoPowerCut, testing::Values(1, 2),
                         [](const auto& info) { return "selector" + std::to_string(info.param); });

// The power goes once slot 2's file is whole, before the install has taken effect, and the
// drive stays in: the next boot finishes that install without writing the file again.
TEST(SlotTwoCutAfterTheFile, TheNextBootWithTheDriveInFinishesTheInstall) {
    sim::BoardConfig config;
    config.boot_slot = 1;
    config.usb_enable = 213;
    Board board(config);
    prepare(board);
    // Just after the last of the file's four pieces.
    const auto install = install_cut_at(board, 10);
    ASSERT_EQ(install.exit_code, sim::power_cut_exit_status) << install.console;
    ASSERT_EQ(read_bytes(board.root() / "user/images/image2"), replacement());
    ASSERT_EQ(eeprom_byte(board, boot_slot_offset), 1);

    std::ofstream{board.root() / "tmp/usb"};
    const auto next = board.run(start_up);
    // Verified again, then no progress: the file is not written a second time. The rest of the
    // replacement's transcript is the USB tests'.
    for (const std::string& shown :
         {"Installing Application: " + verified + "Installing image as image2: \r\n" +
              "Image2 updated succeeded\r\n",
          std::string("USB replacement image: board will boot with image2.\r\nBooting image '2'"),
          std::string(app_banner)}) {
        EXPECT_NE(next.console.find(shown), std::string::npos) << next.console;
    }
    EXPECT_EQ(eeprom_byte(board, boot_slot_offset), 2);
    // Finished once: a later boot must not take the install up again.
    EXPECT_FALSE(fs::exists(board.root() / "user/images/image2.pending"));
}

}  // namespace
}  // namespace boardtest
