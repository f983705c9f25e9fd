// I2C over the kernel's i2c-dev and its SMBus stub, which answers at the port device's address
// (0x20) only and supports SMBus transfers only. In the VM both /dev/i2c-0 and /dev/i2c-1 lead
// to the stub; plain transfers (settings memory, clock, LED) fail there with EOPNOTSUPP and
// are covered by the emulators instead.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "capture.hpp"
#include "hw/i2c.hpp"
#include "platform/files.hpp"

namespace {

constexpr int kPortDevice = 0x20;
constexpr int kEopnotsupp = 95;

// The stub's registers, reached through a descriptor of our own.
class PortDevice {
public:
    PortDevice() : fd_{open("/dev/i2c-1", O_RDWR)} {
        if (fd_)
            ioctl_result_ = ioctl(fd_.get(), I2C_SLAVE, kPortDevice);
    }

    bool ready() const { return fd_ && ioctl_result_ == 0; }
    int fd() const { return fd_.get(); }

    // The stub keeps a 16-bit word per register and a byte transfer reaches only its low half,
    // so whole-word access shows a transfer of the wrong size.
    int write_word(std::uint8_t reg, std::uint16_t value) const {
        i2c_smbus_data data{};
        data.word = value;
        return word_transfer(I2C_SMBUS_WRITE, reg, data);
    }
    int read_word(std::uint8_t reg) const {
        i2c_smbus_data data{};
        return word_transfer(I2C_SMBUS_READ, reg, data) == 0 ? data.word : -1;
    }

private:
    int word_transfer(std::uint8_t read_write, std::uint8_t reg, i2c_smbus_data& data) const {
        i2c_smbus_ioctl_data request{};
        request.read_write = read_write;
        request.command = reg;
        request.size = I2C_SMBUS_WORD_DATA;
        request.data = &data;
        return ioctl(fd_.get(), I2C_SMBUS, &request);
    }

    platform::unique_fd fd_;
    int ioctl_result_ = -1;
};

// Whether this process holds a descriptor of the stub's adapter.
bool holds_stub_descriptor() {
    for (const auto& entry : std::filesystem::directory_iterator{"/proc/self/fd"}) {
        std::error_code ec;
        const auto target = std::filesystem::read_symlink(entry.path(), ec);
        if (!ec && target == "/dev/i2c-stub")
            return true;
    }
    return false;
}

std::string hex(unsigned long value) {
    char text[16];
    std::snprintf(text, sizeof text, "0x%04lx", value);
    return text;
}

// Run with /dev/i2c-0 missing and /dev/i2c-1 present.
TEST(MissingBus, OpeningStopsAtBusZeroAndTransfersFailAtSelection) {
    int opened = 0;
    EXPECT_EQ(kvm::capture_stdout([&] { opened = i2c_open_buses(); }),
              "ERROR: driver /dev/i2c-0 couldn't be opened\n");
    EXPECT_EQ(opened, -1);
    EXPECT_FALSE(holds_stub_descriptor()) << "bus 1 must not be tried after bus 0 failed";

    std::uint8_t slot = 0xEE;
    EXPECT_EQ(kvm::capture_stdout([&] { slot = nvram_get_boot_slot(); }),
              "I2C error when setting bus 0, device 0xa8: 9\n");
    EXPECT_EQ(slot, 0);

    EXPECT_EQ(i2c_close_buses(), 0);
    kvm::report_real(
        "open of a missing /dev/i2c-0: bus 1 untried; I2C_SLAVE on the unopened slot fails with "
        "EBADF");
}

class RealI2c : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(i2c_open_buses(), 0); }
    static void TearDownTestSuite() { i2c_close_buses(); }
};

TEST_F(RealI2c, SmbusByteDataRoundTripsAndChangesOnlyOneByte) {
    PortDevice port;
    ASSERT_TRUE(port.ready());
    for (const int value : {0x00, 0x5A, 0x7F, 0x80, 0xFF}) {
        for (const int reg : {0x00, 0x04, 0x0C, 0xFF}) {
            SCOPED_TRACE(testing::Message() << "register " << reg << " value " << value);
            const auto r = static_cast<std::uint8_t>(reg);
            ASSERT_EQ(port.write_word(r, 0xA5C3), 0);
            EXPECT_EQ(smbus_write_byte(port.fd(), r, static_cast<std::uint8_t>(value)), 0);
            EXPECT_EQ(smbus_read_byte(port.fd(), r), value);
            EXPECT_EQ(port.read_word(r), 0xA500 | value);
        }
    }
    kvm::report_real("I2C_SLAVE " + hex(I2C_SLAVE) + ", I2C_SMBUS " + hex(I2C_SMBUS) +
                     ": smbus_write_byte and smbus_read_byte round trip on the stub at 0x20");
}

TEST_F(RealI2c, SmbusToAnAbsentAddressFails) {
    PortDevice port;
    ASSERT_TRUE(port.ready());
    ASSERT_EQ(ioctl(port.fd(), I2C_SLAVE, kPortDevice + 1), 0);
    EXPECT_EQ(smbus_read_byte(port.fd(), 4), -1);
    EXPECT_LT(smbus_write_byte(port.fd(), 12, 0), 0);
}

TEST_F(RealI2c, SettingsWriteClearsBitThreeOfThePortDeviceFirst) {
    PortDevice port;
    ASSERT_TRUE(port.ready());
    ASSERT_EQ(smbus_write_byte(port.fd(), 4, 0x5E), 0);
    ASSERT_EQ(smbus_write_byte(port.fd(), 12, 0x00), 0);

    int result = 0;
    const std::string console = kvm::capture_stdout([&] { result = nvram_write_byte(0x0100, 2); });

    EXPECT_EQ(smbus_read_byte(port.fd(), 12), 0x56);
    EXPECT_EQ(smbus_read_byte(port.fd(), 4), 0x5E);
    // The settings memory's own transfer is a plain write, which the stub refuses.
    EXPECT_LT(result, 0);
    EXPECT_EQ(console,
              "I2C error when writing bus 0 offset 256: " + std::to_string(kEopnotsupp) + "\n");
    kvm::report_real(
        "nvram_write_byte step 1 (port device register 4 -> register 12 & 0xF7) over I2C_SMBUS");
}

TEST_F(RealI2c, PlainTransfersAreRefusedByTheStub) {
    std::uint8_t slot = 0xEE;
    EXPECT_EQ(
        kvm::capture_stdout([&] { slot = nvram_get_boot_slot(); }),
        "I2C error - device 0xa8 writing bus 0 offset 256: " + std::to_string(kEopnotsupp) + "\n");
    EXPECT_EQ(slot, 0);
    std::printf(
        "[emulators only] plain i2c read/write (settings memory, clock, LED): the SMBus stub "
        "refuses them with "
        "EOPNOTSUPP\n");
}

}  // namespace
