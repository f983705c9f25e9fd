#include "hw/i2c.hpp"

#include <cerrno>
#include <cstdint>
#include <vector>

#include "in_process.hpp"
#include "platform/seam.hpp"
#include "sim/board.hpp"
#include "temp_board.hpp"

namespace {

using testsupport::console_of;
using Bytes = std::vector<std::uint8_t>;

class I2c : public ::testing::Test {
protected:
    explicit I2c(const sim::BoardConfig& c = config()) : board(c) {
        console_of([] { return i2c_open_buses(); });
    }
    ~I2c() override { i2c_close_buses(); }

    static sim::BoardConfig config() {
        auto c = TempBoard::test_config();
        c.rtc_base = "2026-12-31 23:59:30";
        c.rtc_control = {0x80, 0, 0x40, 0, 0, 0, 0};
        c.usb_enable = 0xD5;
        return c;
    }

    Bytes eeprom(std::size_t offset, std::size_t n) const {
        const auto e = *sim::read_eeprom(board.root());
        return Bytes(e.begin() + offset, e.begin() + offset + n);
    }

    TempBoard board;
};

TEST_F(I2c, ByteWritesLandAtTheirOffsetReleasingWriteProtectFirst) {
    EXPECT_EQ(console_of([] { return nvram_set_boot_slot(1); }), std::pair(std::string(), 3));
    EXPECT_EQ(nvram_set_booted_image(4), 3);
    EXPECT_EQ(eeprom(0x100, 1), Bytes{1});
    EXPECT_EQ(eeprom(0x13A, 2), (Bytes{4, 0xD5}));
    EXPECT_EQ((*sim::read_port_registers(board.root()))[12], 0xF7);
    EXPECT_EQ(sim::read_clock_us(board.root()), 200000u);  // 100 ms after each byte
}

TEST_F(I2c, ImageTimestampIsTheRawClockForSlotsOneAndTwoOnly) {
    const Bytes clock = {0x80, 0x59, 0x23, 0x07, 0x31, 0x12, 0x99};
    EXPECT_EQ(nvram_set_image_timestamp(1, clock.data()), 1);
    EXPECT_EQ(eeprom(0x108, 7), clock);
    for (std::uint8_t slot : {0, 3, 255}) {
        EXPECT_EQ(console_of([&] { return nvram_set_image_timestamp(slot, clock.data()); }),
                  std::pair(std::string(), 0));
    }
    EXPECT_EQ(eeprom(0x117, 1), Bytes{0xFF});
}

TEST_F(I2c, StampImageRecordsTheClockBeforeItsOneSecondPause) {
    platform::clock_sleep(45);
    EXPECT_EQ(stamp_image(2), 1);
    // 2027-01-01 00:00:15, a Friday (day 6 when Sunday is 1), with the clock's control bits.
    EXPECT_EQ(eeprom(0x110, 7), (Bytes{0x80 | 0x15, 0x00, 0x40 | 0x00, 0x06, 0x01, 0x01, 0x27}));
    EXPECT_EQ(sim::read_clock_us(board.root()), 46700000u);
    Bytes now(7, 0);
    rtc_read(now.data());
    EXPECT_EQ(now[0], 0x80 | 0x16);
}

TEST_F(I2c, LedRegisterReadAndWrite) {
    std::uint8_t value = 0x77;
    platform::clock_usleep(1500000);
    EXPECT_EQ(led_read(5, &value), 0x00);
    EXPECT_EQ(led_write(0x105, 0x01), 2);  // only the low byte of the register goes out
    EXPECT_EQ(led_read(5, &value), 0x01);
    EXPECT_EQ(sim::read_led_log(board.root()), (std::vector<sim::LedWrite>{{1500000, 5, 1}}));
}

TEST(I2cMissingChip, EveryFailureIsReportedWithErrnoAndReadsKeepThePreset) {
    struct Case {
        const char* chip;
        const char* read_console;   // nvram_get_boot_slot
        const char* write_console;  // nvram_set_boot_slot(2)
        const char* led_console;    // led_write(5, 1)
        int slot, written;
    };
    for (const auto& c :
         {Case{"eeprom", "I2C error - device 0xa8 writing bus 0 offset 256: 6\n",
               "I2C error when writing bus 0 offset 256: 6\n", "", 0, -1},
          Case{"led", "", "", "I2C error when writing LED on bus 1 offset 5: 6\n", 0xFF, 3},
          // The port device only gates write protection; its absence goes unreported.
          Case{"port", "", "", "", 0xFF, 3}}) {
        auto config = TempBoard::test_config();
        config.faults.missing = {c.chip};
        TempBoard board(config);
        console_of([] { return i2c_open_buses(); });
        EXPECT_EQ(console_of([] { return nvram_get_boot_slot(); }),
                  std::pair(std::string(c.read_console), std::uint8_t(c.slot)));
        EXPECT_EQ(console_of([] { return nvram_set_boot_slot(2); }),
                  std::pair(std::string(c.write_console), c.written));
        EXPECT_EQ(console_of([] { return led_write(5, 1); }).first, c.led_console) << c.chip;
        i2c_close_buses();
    }
}

TEST(I2cMissingBus, BusOneMissingStillOpensBusZero) {
    auto c = TempBoard::test_config();
    c.faults.missing = {"bus1"};
    TempBoard board(c);
    EXPECT_EQ(console_of([] { return i2c_open_buses(); }),
              std::pair(std::string("ERROR: driver /dev/i2c-1 couldn't be opened\n"), -1));
    EXPECT_GT(i2c_bus_fd(0), 0);
    EXPECT_EQ(i2c_bus_fd(1), -1);
    EXPECT_EQ(i2c_close_buses(), 0);
    EXPECT_EQ(std::pair(i2c_bus_fd(0), i2c_bus_fd(1)), std::pair(0, 0));  // both slots emptied
}

TEST_F(I2c, ShortReadAndOffsetWidthAreReported) {
    Bytes dest(2, 0x11);
    // A read of more than i2c-dev allows comes back short.
    auto [out, rc] =
        console_of([&] { return i2c_read_regs(0, 0xA8, 0x0102, 9000, 2, dest.data()); });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(out, "I2C error - device 0xa8 @ 258, 9000 bytes : " + std::to_string(EINVAL) + "\n");
    EXPECT_EQ(dest, Bytes(2, 0x11));
    // The first offset byte, the high one, comes back.
    EXPECT_EQ(console_of([&] { return i2c_read_regs(0, 0xA8, 0x0102, 2, 2, dest.data()); }),
              std::pair(std::string(), 0x01));
    EXPECT_EQ(dest, Bytes(2, 0xFF));
}

}  // namespace
