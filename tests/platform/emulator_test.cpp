// The device models as the boot manager sees them: through the seam, with kernel errnos.
#include <fcntl.h>
#include <linux/i2c-dev.h>
#include <linux/i2c.h>
#include <mtd/mtd-user.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <vector>

#include "platform/seam.hpp"
#include "sim/board.hpp"
#include "temp_board.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Dev {
    explicit Dev(const char* path, int flags = O_RDWR) : fd(platform::dev_open(path, flags)) {}
    ~Dev() {
        if (fd >= 0) {
            platform::dev_close(fd);
        }
    }
    int fd;
};

int erase(int fd, std::uint32_t start, std::uint32_t length) {
    erase_info_user e{start, length};
    return platform::dev_ioctl(fd, MEMERASE, &e);
}

int select(int fd, unsigned address) {
    return platform::dev_ioctl(fd, I2C_SLAVE, reinterpret_cast<void*>(std::uintptr_t{address}));
}

TEST(Mtd, InfoDescribesAWriteableNorPartition) {
    auto c = TempBoard::test_config();
    c.partitions[sim::partition_index("kernel").value()] = {0x60000, 0x20000};
    TempBoard board(c);
    Dev kernel("/dev/mtd-kernel");
    ASSERT_GE(kernel.fd, 0);
    mtd_info_user info{};
    ASSERT_EQ(platform::dev_ioctl(kernel.fd, MEMGETINFO, &info), 0);
    EXPECT_EQ(info.type, MTD_NORFLASH);
    EXPECT_EQ(info.flags, static_cast<std::uint32_t>(MTD_CAP_NORFLASH));
    EXPECT_EQ(info.size, 0x60000u);
    EXPECT_EQ(info.erasesize, 0x20000u);
    EXPECT_EQ(info.writesize, 1u);
    EXPECT_EQ(platform::dev_ioctl(kernel.fd, 0x1234, &info), -1);
    EXPECT_EQ(errno, ENOTTY);
}

struct EraseCase {
    std::uint32_t start, length;
    int error;  // 0 = accepted
};

class MtdErase : public ::testing::TestWithParam<EraseCase> {};

TEST_P(MtdErase, AcceptsOnlyWholeBlocksInsideThePartition) {
    TempBoard board;  // 0x40000 bytes, 0x10000 blocks
    Dev rfs("/dev/mtd-rfs");
    const auto p = GetParam();
    EXPECT_EQ(erase(rfs.fd, p.start, p.length), p.error ? -1 : 0);
    if (p.error) {
        EXPECT_EQ(errno, p.error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, MtdErase,
    ::testing::Values(EraseCase{0, 0x10000, 0}, EraseCase{0x30000, 0x10000, 0},
                      EraseCase{0, 0x40000, 0}, EraseCase{0x10000, 0, 0},
                      EraseCase{0x8000, 0x10000, EINVAL}, EraseCase{0, 0x8000, EINVAL},
                      EraseCase{0x30000, 0x20000, EINVAL}, EraseCase{0x40000, 0x10000, EINVAL},
                      EraseCase{0x40000, 0, EINVAL}, EraseCase{0x10000, 0xFFFF0000, EINVAL}));

TEST(Mtd, ProgrammingOnlyClearsBitsAndCountsWhatNeededAnErase) {
    TempBoard board;
    Dev rfs("/dev/mtd-rfs");
    const Bytes first = {0xF0, 0x0F, 0xAA};
    const Bytes second = {0xF0, 0x0E, 0x55};  // 0x0E on 0x0F is fine; 0x55 on 0xAA needs bits set
    ASSERT_EQ(platform::dev_pwrite(rfs.fd, first.data(), 3, 0x100), 3);
    ASSERT_EQ(platform::dev_pwrite(rfs.fd, second.data(), 3, 0x100), 3);
    Bytes got(3);
    ASSERT_EQ(platform::dev_pread(rfs.fd, got.data(), 3, 0x100), 3);
    EXPECT_EQ(got, (Bytes{0xF0, 0x0E, 0x00}));
    EXPECT_EQ(sim::read_flash_wear(board.root(), "rfs")->program_without_erase, 1u);

    ASSERT_EQ(erase(rfs.fd, 0, 0x10000), 0);
    ASSERT_EQ(erase(rfs.fd, 0, 0x20000), 0);
    ASSERT_EQ(platform::dev_pread(rfs.fd, got.data(), 3, 0x100), 3);
    EXPECT_EQ(got, (Bytes{0xFF, 0xFF, 0xFF}));
    const auto wear = sim::read_flash_wear(board.root(), "rfs");
    EXPECT_EQ(wear->erase_counts, (std::vector<std::uint32_t>{2, 1, 0, 0}));
}

struct EdgeCase {
    const char* what;
    bool positioned;  // pread/pwrite, else read/write after a seek
    off_t offset;
    std::size_t count;
    ssize_t read_result, write_result;
    int write_error;
};

class MtdEdge : public ::testing::TestWithParam<EdgeCase> {};

TEST_P(MtdEdge, TransfersAtTheEndBehaveLikeTheCharDriver) {
    TempBoard board;
    Dev onie("/dev/mtd-onie");
    const auto p = GetParam();
    Bytes buf(p.count, 0x00);
    auto rd = [&] {
        if (p.positioned) {
            return platform::dev_pread(onie.fd, buf.data(), p.count, p.offset);
        }
        ::lseek(onie.fd, p.offset, SEEK_SET);
        return platform::dev_read(onie.fd, buf.data(), p.count);
    };
    auto wr = [&] {
        if (p.positioned) {
            return platform::dev_pwrite(onie.fd, buf.data(), p.count, p.offset);
        }
        ::lseek(onie.fd, p.offset, SEEK_SET);
        return platform::dev_write(onie.fd, buf.data(), p.count);
    };
    EXPECT_EQ(rd(), p.read_result) << p.what;
    EXPECT_EQ(wr(), p.write_result) << p.what;
    if (p.write_error) {
        EXPECT_EQ(errno, p.write_error) << p.what;
    }
    EXPECT_EQ(sim::read_partition(board.root(), "onie")->size(), 0x40000u) << p.what;
}

INSTANTIATE_TEST_SUITE_P(
    Ends, MtdEdge,
    ::testing::Values(EdgeCase{"inside", true, 0x100, 16, 16, 16, 0},
                      EdgeCase{"crossing the end", true, 0x3FFF8, 16, 8, 8, 0},
                      EdgeCase{"at the end", true, 0x40000, 16, 0, -1, ENOSPC},
                      EdgeCase{"beyond the end", true, 0x50000, 16, 0, -1, ENOSPC},
                      EdgeCase{"negative offset", true, -1, 16, -1, -1, EINVAL},
                      EdgeCase{"stream crossing the end", false, 0x3FFFC, 16, 4, 4, 0},
                      EdgeCase{"stream at the end", false, 0x40000, 16, 0, -1, ENOSPC}));

TEST(Mtd, StreamTransfersAdvanceThePosition) {
    TempBoard board;
    Dev uboot("/dev/mtd-uboot");
    const Bytes a = {1, 2}, b = {3, 4};
    ASSERT_EQ(platform::dev_write(uboot.fd, a.data(), 2), 2);
    ASSERT_EQ(platform::dev_write(uboot.fd, b.data(), 2), 2);
    ::lseek(uboot.fd, 1, SEEK_SET);
    Bytes got(3);
    ASSERT_EQ(platform::dev_read(uboot.fd, got.data(), 3), 3);
    EXPECT_EQ(got, (Bytes{2, 3, 4}));
}

TEST(Mtd, ReadOnlyDescriptorRefusesProgramAndErase) {
    TempBoard board;
    Dev rfs("/dev/mtd-rfs", O_RDONLY);
    const Bytes a = {0};
    EXPECT_EQ(platform::dev_pwrite(rfs.fd, a.data(), 1, 0), -1);
    EXPECT_EQ(errno, EBADF);
    EXPECT_EQ(erase(rfs.fd, 0, 0x10000), -1);
    EXPECT_EQ(errno, EPERM);
}

TEST(Faults, PowerCutEndsTheProcessAfterTheNthFlashOperationOnce) {
    TempBoard board;
    sim::FaultPlan plan;
    plan.power_cut_after = 3;
    ASSERT_TRUE(sim::set_fault_plan(board.root(), plan));
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        Dev kernel("/dev/mtd-kernel"), rfs("/dev/mtd-rfs");
        const Bytes data = {0x11, 0x22};
        erase(kernel.fd, 0, 0x10000);                           // 1
        platform::dev_pwrite(rfs.fd, data.data(), 2, 0x10);     // 2
        platform::dev_pwrite(kernel.fd, data.data(), 2, 0x20);  // 3: the last to reach the flash
        platform::dev_pwrite(kernel.fd, data.data(), 2, 0x30);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), sim::power_cut_exit_status);
    const auto kernel = *sim::read_partition(board.root(), "kernel");
    EXPECT_EQ(kernel[0x20], 0x11);
    EXPECT_EQ(kernel[0x30], 0xFF);
    EXPECT_EQ((*sim::read_partition(board.root(), "rfs"))[0x11], 0x22);
    EXPECT_EQ(sim::load_board_config(board.root())->faults.power_cut_after, 0u);
}

TEST(Seam, OtherPathsAndDescriptorsReachTheRealCalls) {
    TempBoard board;
    const auto path = board.root() / "plain";
    const int fd = platform::dev_open(path.c_str(), O_RDWR | O_CREAT);
    ASSERT_GE(fd, 0);
    const Bytes data = {0x55, 0xAA};
    EXPECT_EQ(platform::dev_pwrite(fd, data.data(), 2, 0), 2);
    EXPECT_EQ(platform::dev_pwrite(fd, data.data(), 2, 0), 2);  // no NOR rules here
    Bytes got(2);
    EXPECT_EQ(platform::dev_pread(fd, got.data(), 2, 0), 2);
    EXPECT_EQ(got, data);
    EXPECT_EQ(platform::dev_close(fd), 0);
    EXPECT_EQ(platform::dev_open("/dev/mtd-nand", O_RDWR), -1);
}

TEST(I2c, TransfersToAbsentChipsAreNotAcknowledged) {
    auto c = TempBoard::test_config();
    c.faults.missing = {"led"};
    TempBoard board(c);
    Dev bus0("/dev/i2c-0"), bus1("/dev/i2c-1");
    std::uint8_t b = 0;
    struct Case {
        int fd;
        unsigned address;
    };
    for (auto [fd, address] :
         {Case{bus0.fd, 0x60}, Case{bus1.fd, 0x54}, Case{bus1.fd, 0x60}, Case{bus0.fd, 0x00}}) {
        ASSERT_EQ(select(fd, address), 0);
        EXPECT_EQ(platform::dev_write(fd, &b, 1), -1);
        EXPECT_EQ(errno, ENXIO) << address;
        EXPECT_EQ(platform::dev_read(fd, &b, 1), -1);
        EXPECT_EQ(errno, ENXIO) << address;
    }
    EXPECT_EQ(select(bus0.fd, 0x80), -1);
    EXPECT_EQ(errno, EINVAL);
}

TEST(I2c, EepromTakesSixteenBitOffsetsHighByteFirstAndPersists) {
    TempBoard board;
    {
        Dev bus0("/dev/i2c-0");
        ASSERT_EQ(select(bus0.fd, 0x54), 0);
        const Bytes write = {0x01, 0x3B, 0xD5, 0x7E};
        ASSERT_EQ(platform::dev_write(bus0.fd, write.data(), write.size()), 4);
        // Page write wraps inside its 32 bytes.
        const Bytes wrap = {0x00, 0x1F, 0x01, 0x02};
        ASSERT_EQ(platform::dev_write(bus0.fd, wrap.data(), wrap.size()), 4);
        const Bytes pointer = {0x01, 0x3A};
        ASSERT_EQ(platform::dev_write(bus0.fd, pointer.data(), 2), 2);
        Bytes got(3);
        ASSERT_EQ(platform::dev_read(bus0.fd, got.data(), 3), 3);
        EXPECT_EQ(got, (Bytes{0xFF, 0xD5, 0x7E}));
    }
    const auto e = *sim::read_eeprom(board.root());
    EXPECT_EQ(e[0x13B], 0xD5);
    EXPECT_EQ(e[0x13C], 0x7E);
    EXPECT_EQ(e[0x1F], 0x01);
    EXPECT_EQ(e[0x00], 0x02);
    EXPECT_EQ(e[0x20], 0xFF);
}

TEST(I2c, ClockShowsBaseTimePlusVirtualTimeInBcdWithControlBits) {
    auto c = TempBoard::test_config();
    c.rtc_base = "2026-12-31 23:59:30";
    c.rtc_control = {0x80, 0, 0x40, 0, 0, 0, 0};
    TempBoard board(c);
    platform::clock_sleep(45);
    Dev bus0("/dev/i2c-0");
    ASSERT_EQ(select(bus0.fd, 0x68), 0);
    const std::uint8_t reg = 0;
    ASSERT_EQ(platform::dev_write(bus0.fd, &reg, 1), 1);
    Bytes got(7);
    ASSERT_EQ(platform::dev_read(bus0.fd, got.data(), 7), 7);
    // 2027-01-01 00:00:15, a Friday (day 6 when Sunday is 1).
    EXPECT_EQ(got, (Bytes{0x80 | 0x15, 0x00, 0x40 | 0x00, 0x06, 0x01, 0x01, 0x27}));
}

TEST(I2c, LedWritesAreLoggedWithVirtualTimeAndSmbusReachesThePortDevice) {
    TempBoard board;
    Dev bus1("/dev/i2c-1");
    ASSERT_EQ(select(bus1.fd, 0x60), 0);
    platform::clock_usleep(1500000);
    const Bytes write = {0x05, 0x01, 0x02};
    ASSERT_EQ(platform::dev_write(bus1.fd, write.data(), 3), 3);
    EXPECT_EQ(sim::read_led_log(board.root()),
              (std::vector<sim::LedWrite>{{1500000, 5, 1}, {1500000, 6, 2}}));

    ASSERT_EQ(select(bus1.fd, 0x20), 0);
    i2c_smbus_data data{};
    i2c_smbus_ioctl_data req{I2C_SMBUS_READ, 4, I2C_SMBUS_BYTE_DATA, &data};
    ASSERT_EQ(platform::dev_ioctl(bus1.fd, I2C_SMBUS, &req), 0);
    EXPECT_EQ(data.byte, 0xFF);
    data.byte = 0x5A;
    req = {I2C_SMBUS_WRITE, 12, I2C_SMBUS_BYTE_DATA, &data};
    ASSERT_EQ(platform::dev_ioctl(bus1.fd, I2C_SMBUS, &req), 0);
    EXPECT_EQ((*sim::read_port_registers(board.root()))[12], 0x5A);
    req = {I2C_SMBUS_READ, 0, I2C_SMBUS_WORD_DATA, &data};
    EXPECT_EQ(platform::dev_ioctl(bus1.fd, I2C_SMBUS, &req), -1);
    EXPECT_EQ(errno, EOPNOTSUPP);
}

TEST(Mem, OnlyTheCpldWindowCanBeMappedAndItIsTheBoardFile) {
    TempBoard board;
    ASSERT_TRUE(sim::write_cpld(board.root(), 0x20, 0x10));
    Dev mem("/dev/mem");
    ASSERT_GE(mem.fd, 0);
    const int prot = PROT_READ | PROT_WRITE;
    for (auto [length, offset] :
         {std::pair<std::size_t, off_t>{0x100, 0}, {0x200, 0xC0000000}, {0x100, 0xC0001000}}) {
        EXPECT_EQ(platform::dev_mmap(nullptr, length, prot, MAP_SHARED, mem.fd, offset),
                  MAP_FAILED);
        EXPECT_EQ(errno, EINVAL);
    }
    void* p = platform::dev_mmap(nullptr, 0x100, prot, MAP_SHARED, mem.fd, 0xC0000000);
    ASSERT_NE(p, MAP_FAILED);
    auto* regs = static_cast<volatile std::uint8_t*>(p);
    EXPECT_EQ(regs[0x20], 0x10);
    regs[0x21] = 0x42;
    EXPECT_EQ(platform::dev_munmap(p, 0x100), 0);
    EXPECT_EQ((*sim::read_cpld(board.root()))[0x21], 0x42);
}

TEST(Clock, WaitsAdvanceOneVirtualClockThatSurvivesARestart) {
    TempBoard board;
    EXPECT_EQ(platform::clock_sleep(2), 0u);
    EXPECT_EQ(platform::clock_usleep(250000), 0);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    pollfd pfd{fds[0], POLLIN, 0};
    EXPECT_EQ(platform::clock_poll(&pfd, 1, 5000), 0);  // nothing to read: the whole time-out
    ASSERT_EQ(::write(fds[1], "x", 1), 1);
    EXPECT_EQ(platform::clock_poll(&pfd, 1, 5000), 1);  // ready at once: no time passes
    ::close(fds[0]);
    ::close(fds[1]);
    EXPECT_EQ(sim::read_clock_us(board.root()), 7250000u);
    sim::use_board(board.root());  // the board boots again
    platform::clock_usleep(1);
    EXPECT_EQ(sim::read_clock_us(board.root()), 7250001u);
}

}  // namespace
