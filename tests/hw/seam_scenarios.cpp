// Scenarios run twice: on the emulators (hw_tests) and on the kernel's MTD and i2c-dev drivers
// in a VM (kernel_vm_test). block2mtd is not NOR (it overwrites instead of ANDing) and the i2c
// stub answers SMBus at 0x20 only, so they check only what the boot manager relies on.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/i2c-dev.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "hw/i2c.hpp"
#include "hw/mtd.hpp"
#include "in_process.hpp"
#include "platform/seam.hpp"
#include "rig.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;
using testsupport::console_of;

constexpr std::uint32_t kBlock = 0x10000;
constexpr std::uint32_t kSpan = 4 * kBlock;  // what a flash scenario may touch

Bytes pattern(std::size_t n, std::uint8_t seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) {
        b[i] = static_cast<std::uint8_t>(seed + i * 7 + i / 251);
    }
    return b;
}

// The kernel partition, its first four blocks filled with known bytes through a descriptor of
// the test's own before the hw layer opens its table.
class Flash : public testing::Test {
protected:
    void SetUp() override {
        const int raw = platform::dev_open("/dev/mtd-kernel", O_RDWR);
        ASSERT_GE(raw, 0);
        ASSERT_EQ(platform::dev_pwrite(raw, old.data(), old.size(), 0), kSpan);
        platform::dev_close(raw);
        ASSERT_EQ(flash_init(), 1);
    }

    static Bytes contents() {
        Bytes got(kSpan, 0xA5);
        const int raw = platform::dev_open("/dev/mtd-kernel", O_RDONLY);
        EXPECT_EQ(platform::dev_pread(raw, got.data(), got.size(), 0), kSpan);
        platform::dev_close(raw);
        return got;
    }

    static int fd() { return mtd_fd(MTD_KERNEL); }

    rig::Devices devices;
    const Bytes old = pattern(kSpan, 0x31);
};

// The progress line as the operator sees it: each percentage overwrites the one before.
std::string progress(std::string_view percentages) {
    std::string shown = "     ";
    for (std::size_t i = 0; i < percentages.size(); i += 4) {
        shown += "\b\b\b\b" + std::string(percentages.substr(i, 3)) + "%";
    }
    return shown + "\n";
}

struct WriteCase {
    const char* what;
    std::uint32_t offset, length;
    const char* percentages;            // nullptr: no progress shown
    std::vector<std::uint32_t> erases;  // per block
};

class FlashWrite : public Flash, public testing::WithParamInterface<WriteCase> {};

TEST_P(FlashWrite, RewritesExactlyTheRangeAndShowsEachBlock) {
    const auto& p = GetParam();
    const Bytes data = pattern(p.length, 0xC4);
    const auto [out, rc] = console_of([&] {
        return partition_write(data.data(), fd(), p.offset, p.length, p.percentages != nullptr);
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(out, p.percentages ? progress(p.percentages) : "");
    Bytes expected = old;
    std::copy(data.begin(), data.end(), expected.begin() + p.offset);
    EXPECT_EQ(contents(), expected);
    if (const auto wear = rig::kernel_wear()) {
        EXPECT_EQ(std::vector(wear->erases.begin(), wear->erases.begin() + 4), p.erases);
        EXPECT_EQ(wear->program_without_erase, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, FlashWrite,
    testing::Values(
        WriteCase{"nothing_at_offset_0", 0, 0, "100", {0, 0, 0, 0}},
        WriteCase{"nothing_at_a_boundary", kBlock, 0, "100", {0, 0, 0, 0}},
        WriteCase{"nothing_inside_a_block", kBlock + 0x10, 0, "000 100", {0, 1, 0, 0}},
        WriteCase{"inside_one_block", 2 * kBlock + 0x100, 0x200, "000 100", {0, 0, 1, 0}},
        WriteCase{"silent_without_progress", 2 * kBlock + 5, 3, nullptr, {0, 0, 1, 0}},
        WriteCase{"exactly_one_block", 3 * kBlock, kBlock, "000 100", {0, 0, 0, 1}},
        WriteCase{"across_one_boundary", kBlock - 0x10, 0x20, "000 050 100", {1, 1, 0, 0}},
        WriteCase{"three_blocks", 10, 2 * kBlock + 100, "000 033 066 100", {1, 1, 1, 0}},
        WriteCase{"four_blocks", 10, 3 * kBlock + 100, "000 025 050 075 100", {1, 1, 1, 1}}),
    [](const auto& info) { return std::string(info.param.what); });

TEST_F(Flash, UnalignedReadAcrossBlocks) {
    Bytes got(kBlock + 20, 0xA5);
    EXPECT_EQ(partition_read(got.data(), fd(), kBlock - 7, kBlock + 20), 0);
    EXPECT_EQ(got, Bytes(old.begin() + kBlock - 7, old.begin() + 2 * kBlock + 13));
}

TEST_F(Flash, EraseClearsEveryTouchedBlockAndNoOther) {
    struct Case {
        std::uint32_t length, offset, first_block, blocks;
    };
    for (const auto [length, offset, first, blocks] :
         {Case{10, kBlock + 5, 1, 1}, Case{0x10, kBlock - 8, 0, 2}}) {
        SetUp();  // the known bytes again
        ASSERT_EQ(partition_erase(fd(), length, offset), 0);
        Bytes expected = old;
        std::fill_n(expected.begin() + first * kBlock, blocks * kBlock, 0xFF);
        EXPECT_EQ(contents(), expected) << offset;
    }
}

TEST_F(Flash, RangesOutsideThePartitionFail) {
    const Bytes data(0x20, 0);
    EXPECT_EQ(
        console_of([&] { return partition_write(data.data(), fd(), 0xFFFFFFF0u, 0x20, 0); }),
        std::pair(std::string("Flash Write range 0xfffffff0 + 0x20 is outside the device\n"), -1));
    // Up to the last byte of the 32-bit space: every block is touched, none is skipped.
    EXPECT_EQ(console_of([&] { return partition_erase(fd(), 0xFFFFFFFFu, 0); }),
              std::pair(std::string("Flash Erase mtd erase failed.\n"), -1));
    const auto end = rig::partition_size(MTD_KERNEL);
    EXPECT_EQ(console_of([&] { return partition_write(data.data(), fd(), end, 1, 0); }),
              std::pair(std::string("Flash Write mtd erase failed.\n\n"), -1));
}

// The VM's init.sh runs this with /dev/mtd-onie moved aside.
TEST(AbsentFlash, EveryPartitionCallFailsAtTheGeometryQuery) {
    const rig::Devices devices({"onie"});
    ASSERT_EQ(flash_init(), 1);
    ASSERT_EQ(mtd_fd(MTD_ONIE), -1);
    Bytes buffer(16, 0xAB);
    const auto missing = std::string("Could not get MTD device info \n");
    const int fd = mtd_fd(MTD_ONIE);
    EXPECT_EQ(console_of([&] { return partition_read(buffer.data(), fd, 0, 16); }),
              std::pair(missing, -1));
    EXPECT_EQ(console_of([&] { return partition_write(buffer.data(), fd, 0, 16, 1); }),
              std::pair(missing, -1));
    EXPECT_EQ(console_of([&] { return partition_erase(fd, 16, 0); }), std::pair(missing, -1));
    EXPECT_EQ(buffer, Bytes(16, 0xAB));
    EXPECT_EQ(partition_read(buffer.data(), mtd_fd(MTD_UBOOT), 0, 16), 0);
}

// The VM's init.sh runs this with /dev/i2c-0 missing and /dev/i2c-1 present.
TEST(AbsentBusZero, OpeningStopsAtBusZeroAndEveryTransferFailsAtSelection) {
    const rig::Devices devices({"bus0"});
    EXPECT_EQ(console_of([] { return i2c_open_buses(); }),
              std::pair(std::string("ERROR: driver /dev/i2c-0 couldn't be opened\n"), -1));
    EXPECT_EQ(i2c_bus_fd(0), -1);
    EXPECT_EQ(i2c_bus_fd(1), 0) << "bus 1 must not be tried after bus 0 failed";
    EXPECT_EQ(
        console_of([] { return nvram_get_boot_slot(); }),
        std::pair(std::string("I2C error when setting bus 0, device 0xa8: 9\n"), std::uint8_t{0}));
    // Descriptor 0 is no i2c bus: selecting a device on it fails.
    const auto [out, result] = console_of([] {
        const int rc = led_write(5, 1);
        return std::pair(rc, errno);
    });
    EXPECT_LT(result.first, 0);
    EXPECT_EQ(out, "I2C error when setting LED on bus 1: " + std::to_string(result.second) + "\n");
    std::uint8_t clock[7] = {};
    EXPECT_EQ(console_of([&] { return rtc_read(clock); }),
              std::pair(std::string("I2C error when setting bus 0, device 0xd0: 9\n"), 0));
    EXPECT_EQ(i2c_close_buses(), 0);
}

// The port device (0x20 on bus 1) through a descriptor of the test's own.
class PortDevice : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(i2c_open_buses(), 0);
        fd = platform::dev_open("/dev/i2c-1", O_RDWR);
        ASSERT_EQ(select(0x20), 0);
    }
    void TearDown() override {
        platform::dev_close(fd);
        i2c_close_buses();
    }
    int select(long address) const {
        return platform::dev_ioctl(fd, I2C_SLAVE, reinterpret_cast<void*>(address));
    }

    rig::Devices devices;
    int fd = -1;
};

TEST_F(PortDevice, SmbusBytesRoundTrip) {
    for (const int value : {0x00, 0x5A, 0x7F, 0x80, 0xFF}) {
        for (const std::uint8_t reg : {4, 12}) {
            EXPECT_EQ(smbus_write_byte(fd, reg, static_cast<std::uint8_t>(value)), 0);
            EXPECT_EQ(smbus_read_byte(fd, reg), value) << int{reg};
        }
    }
    ASSERT_EQ(select(0x21), 0);
    EXPECT_EQ(smbus_read_byte(fd, 4), -1);
    EXPECT_LT(smbus_write_byte(fd, 12, 0), 0);
}

TEST_F(PortDevice, SettingsWriteReleasesWriteProtectFromTheInputRegisterFirst) {
    ASSERT_EQ(smbus_write_byte(fd, 4, 0x5E), 0);
    ASSERT_EQ(smbus_write_byte(fd, 12, 0x00), 0);
    const auto [written, write_rc] = console_of([] { return nvram_write_byte(0x0100, 2); });
    const auto [read, slot] = console_of([] { return nvram_get_boot_slot(); });
    EXPECT_EQ(smbus_read_byte(fd, 12), 0x56);
    EXPECT_EQ(smbus_read_byte(fd, 4), 0x5E);
    if (rig::plain_i2c) {
        EXPECT_EQ(written + read, "");
        EXPECT_GE(write_rc, 0);
        EXPECT_EQ(slot, 2);
    } else {
        EXPECT_LT(write_rc, 0);
        EXPECT_EQ(written, "I2C error when writing bus 0 offset 256: 95\n");
        EXPECT_EQ(read, "I2C error - device 0xa8 writing bus 0 offset 256: 95\n");
        EXPECT_EQ(slot, 0);
    }
}

}  // namespace
