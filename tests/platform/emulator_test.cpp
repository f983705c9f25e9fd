// The device models as the boot manager sees them: through the seam, with kernel errnos.
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <mtd/mtd-user.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "platform/files.hpp"
#include "sim/board.hpp"
#include "temp_board.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

platform::unique_dev_fd open_dev(const char* path, int flags = O_RDWR) {
    return platform::unique_dev_fd(platform::dev_open(path, flags));
}

int erase(int fd, std::uint32_t start, std::uint32_t length) {
    erase_info_user e{start, length};
    return platform::dev_ioctl(fd, MEMERASE, &e);
}

int select(int fd, unsigned address) {
    return platform::dev_ioctl(fd, I2C_SLAVE, reinterpret_cast<void*>(std::uintptr_t{address}));
}

Bytes read_at(int fd, std::size_t count, off_t offset) {
    Bytes got(count);
    EXPECT_EQ(platform::dev_pread(fd, got.data(), count, offset), static_cast<ssize_t>(count));
    return got;
}

// Each on a fresh board.
class Emulator : public testing::Test {
protected:
    TempBoard board;  // partitions of 0x40000 bytes, 0x10000 blocks
};

TEST_F(Emulator, MtdEraseAcceptsOnlyWholeBlocksInsideThePartition) {
    const auto rfs = open_dev("/dev/mtd-rfs");
    struct Case {
        std::uint32_t start, length;
        int error;  // 0 = accepted
    };
    for (const auto [start, length, error] :
         {Case{0, 0x10000, 0}, Case{0x30000, 0x10000, 0}, Case{0, 0x40000, 0}, Case{0x10000, 0, 0},
          Case{0x8000, 0x10000, EINVAL}, Case{0, 0x8000, EINVAL}, Case{0x30000, 0x20000, EINVAL},
          Case{0x40000, 0x10000, EINVAL}, Case{0x40000, 0, EINVAL},
          Case{0x10000, 0xFFFF0000, EINVAL}}) {
        EXPECT_EQ(erase(rfs.get(), start, length), error ? -1 : 0) << start << " + " << length;
        if (error) {
            EXPECT_EQ(errno, error) << start << " + " << length;
        }
    }
}

TEST_F(Emulator, MtdProgrammingOnlyClearsBitsAndCountsWhatNeededAnErase) {
    const auto rfs = open_dev("/dev/mtd-rfs");
    const Bytes first = {0xF0, 0x0F, 0xAA};
    const Bytes second = {0xF0, 0x0E, 0x55};  // 0x0E on 0x0F is fine; 0x55 on 0xAA needs bits set
    ASSERT_EQ(platform::dev_pwrite(rfs.get(), first.data(), 3, 0x100), 3);
    ASSERT_EQ(platform::dev_pwrite(rfs.get(), second.data(), 3, 0x100), 3);
    EXPECT_EQ(read_at(rfs.get(), 3, 0x100), (Bytes{0xF0, 0x0E, 0x00}));
    EXPECT_EQ(sim::read_flash_wear(board.root(), "rfs")->program_without_erase, 1u);
}

TEST_F(Emulator, MtdTransfersAtTheEndBehaveLikeTheCharDriver) {
    const auto onie = open_dev("/dev/mtd-onie");
    struct Case {
        bool positioned;  // pread/pwrite, else read/write after a seek
        off_t offset;
        ssize_t read, written;
        int error;  // of the write
    };
    Bytes buf(16, 0x00);
    for (const auto& c : {Case{true, 0x100, 16, 16, 0}, Case{true, 0x3FFF8, 8, 8, 0},
                          Case{true, 0x40000, 0, -1, ENOSPC}, Case{true, 0x50000, 0, -1, ENOSPC},
                          Case{true, -1, -1, -1, EINVAL}, Case{false, 0x3FFFC, 4, 4, 0},
                          Case{false, 0x40000, 0, -1, ENOSPC}}) {
        const int fd = onie.get();
        if (c.positioned) {
            EXPECT_EQ(platform::dev_pread(fd, buf.data(), 16, c.offset), c.read) << c.offset;
            EXPECT_EQ(platform::dev_pwrite(fd, buf.data(), 16, c.offset), c.written) << c.offset;
        } else {
            ::lseek(fd, c.offset, SEEK_SET);
            EXPECT_EQ(platform::dev_read(fd, buf.data(), 16), c.read) << "stream " << c.offset;
            ::lseek(fd, c.offset, SEEK_SET);
            EXPECT_EQ(platform::dev_write(fd, buf.data(), 16), c.written) << "stream " << c.offset;
        }
        if (c.error) {
            EXPECT_EQ(errno, c.error) << c.offset;
        }
    }
    EXPECT_EQ(sim::read_partition(board.root(), "onie")->size(), 0x40000u);
}

TEST_F(Emulator, MtdReadOnlyDescriptorRefusesProgramAndErase) {
    const auto rfs = open_dev("/dev/mtd-rfs", O_RDONLY);
    const Bytes a = {0};
    EXPECT_EQ(platform::dev_pwrite(rfs.get(), a.data(), 1, 0), -1);
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(erase(rfs.get(), 0, 0x10000), -1);
    EXPECT_EQ(errno, EPERM);
}

TEST_F(Emulator, SeamOtherPathsReachTheRealCallsAndUnknownDevicesDoNotOpen) {
    const int fd = platform::dev_open((board.root() / "plain").c_str(), O_RDWR | O_CREAT);
    const Bytes data = {0x55, 0xAA};
    EXPECT_EQ(platform::dev_pwrite(fd, data.data(), 2, 0), 2);
    EXPECT_EQ(read_at(fd, 2, 0), data);
    EXPECT_EQ(platform::dev_close(fd), 0);
    EXPECT_EQ(platform::dev_open("/dev/mtd-nand", O_RDWR), -1);
}

TEST_F(Emulator, SeamRequestsTheDevicesDoNotKnowAreRefused) {
    const auto kernel = open_dev("/dev/mtd-kernel");
    mtd_info_user info{};
    EXPECT_EQ(platform::dev_ioctl(kernel.get(), 0x1234, &info), -1);
    EXPECT_EQ(errno, ENOTTY);
    const auto bus1 = open_dev("/dev/i2c-1");
    ASSERT_EQ(select(bus1.get(), 0x20), 0);
    i2c_smbus_data data{};
    i2c_smbus_ioctl_data word{I2C_SMBUS_READ, 0, I2C_SMBUS_WORD_DATA, &data};
    EXPECT_EQ(platform::dev_ioctl(bus1.get(), I2C_SMBUS, &word), -1);
    EXPECT_EQ(errno, EOPNOTSUPP);
}

// A chip the fault plan removes answers the same, as hw's i2c_test sees in the boot manager's
// messages.
TEST_F(Emulator, I2cTransfersToAbsentChipsAreNotAcknowledged) {
    const auto bus0 = open_dev("/dev/i2c-0");
    const auto bus1 = open_dev("/dev/i2c-1");
    std::uint8_t b = 0;
    for (auto [fd, address] : {std::pair{bus1.get(), 0x54}, {bus0.get(), 0x00}}) {
        ASSERT_EQ(select(fd, address), 0);
        EXPECT_EQ(platform::dev_write(fd, &b, 1), -1);
        EXPECT_EQ(errno, ENXIO) << address;
        EXPECT_EQ(platform::dev_read(fd, &b, 1), -1);
        EXPECT_EQ(errno, ENXIO) << address;
    }
    EXPECT_EQ(select(bus0.get(), 0x80), -1);
    EXPECT_EQ(errno, EINVAL);
}

TEST_F(Emulator, I2cEepromPageWritesWrapInsideTheirThirtyTwoBytes) {
    const auto bus0 = open_dev("/dev/i2c-0");
    ASSERT_EQ(select(bus0.get(), 0x54), 0);
    const Bytes write = {0x00, 0x1F, 0x01, 0x02};  // offset 0x001F, then two bytes
    ASSERT_EQ(platform::dev_write(bus0.get(), write.data(), write.size()), 4);
    const auto e = *sim::read_eeprom(board.root());
    EXPECT_EQ(Bytes(e.begin(), e.begin() + 2), (Bytes{0x02, 0xFF}));
    EXPECT_EQ(Bytes(e.begin() + 0x1F, e.begin() + 0x21), (Bytes{0x01, 0xFF}));
}

TEST_F(Emulator, MemOnlyTheCpldWindowCanBeMapped) {
    const auto mem = open_dev("/dev/mem");
    const int prot = PROT_READ | PROT_WRITE;
    for (auto [length, offset] :
         {std::pair<std::size_t, off_t>{0x100, 0}, {0x200, 0xC0000000}, {0x100, 0xC0001000}}) {
        EXPECT_EQ(platform::dev_mmap(nullptr, length, prot, MAP_SHARED, mem.get(), offset),
                  MAP_FAILED);
        EXPECT_EQ(errno, EINVAL);
    }
}

// Sleeps are pinned by the hw tests' clock readings.
TEST_F(Emulator, ClockPollsWaitOnTheVirtualClockThatSurvivesARestart) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    pollfd pfd{fds[0], POLLIN, 0};
    EXPECT_EQ(platform::clock_poll(&pfd, 1, 5000), 0);  // nothing to read: the whole time-out
    ASSERT_EQ(::write(fds[1], "x", 1), 1);
    EXPECT_EQ(platform::clock_poll(&pfd, 1, 5000), 1);  // ready at once: no time passes
    ::close(fds[0]);
    ::close(fds[1]);
    EXPECT_EQ(sim::read_clock_us(board.root()), 5000000u);
    sim::use_board(board.root());  // the board boots again
    platform::clock_usleep(1);
    EXPECT_EQ(sim::read_clock_us(board.root()), 5000001u);
}

}  // namespace
