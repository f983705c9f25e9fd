// Flash partitions over the kernel's MTD character driver (block2mtd over loop devices, 64 KiB
// erase blocks). block2mtd is not NOR: it accepts unaligned erases and overwrites instead of
// ANDing, so these checks hold only what the boot manager relies on.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <mtd/mtd-user.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "capture.hpp"
#include "hw/mtd.hpp"
#include "three_block_write.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

constexpr std::uint32_t kBlock = 0x10000;

struct Partition {
    int slot;
    const char* name;
    std::uint32_t size;
    bool synchronous;
};

// As the VM's init lays them out, in table order.
constexpr std::array<Partition, 7> kPartitions{{
    {MTD_UBOOT, "uboot", 0x80000, true},
    {MTD_UBOOTENV, "ubootenv", 0x20000, true},
    {MTD_DEVICETREE, "devicetree", 0x40000, true},
    {MTD_KERNEL, "kernel", 0x300000, true},
    {MTD_RFS, "rfs", 0xF00000, true},
    {MTD_RESCUE, "rescue", 0xA00000, false},
    {MTD_ONIE, "onie", 0x100000, false},
}};

std::string hex(unsigned long value) {
    char text[24];
    std::snprintf(text, sizeof text, "0x%08lx", value);
    return text;
}

// The kernel's own account of a partition, from sysfs.
std::uint32_t sysfs_number(const char* name, const char* attribute) {
    const auto node = std::filesystem::read_symlink(std::string{"/dev/mtd-"} + name);
    std::ifstream in{"/sys/class/mtd/" + node.filename().string() + "/" + attribute};
    std::uint32_t value = 0;
    in >> value;
    return value;
}

Bytes pattern(std::size_t length, std::uint8_t seed) {
    Bytes bytes(length);
    for (std::size_t i = 0; i < length; ++i)
        bytes[i] = static_cast<std::uint8_t>(seed + i * 7 + i / 251);
    return bytes;
}

class RealMtd : public testing::Test {
protected:
    static void SetUpTestSuite() { ASSERT_EQ(flash_init(), 1); }

    // The kernel partition: large enough for every case, never touched by anything else here.
    static int fd() { return mtd_fd(MTD_KERNEL); }

    // Fills the first `blocks` erase blocks with a known pattern and returns it.
    static Bytes prefill(std::uint32_t blocks) {
        Bytes old = pattern(blocks * kBlock, 0x31);
        EXPECT_EQ(partition_write(old.data(), fd(), 0, static_cast<std::uint32_t>(old.size()), 0),
                  0);
        return old;
    }

    static Bytes read_back(std::uint32_t offset, std::uint32_t length) {
        Bytes got(length, 0xA5);
        EXPECT_EQ(partition_read(got.data(), fd(), offset, length), 0);
        return got;
    }
};

TEST_F(RealMtd, GeometryAndOpenFlagsMatchTheKernel) {
    for (const Partition& p : kPartitions) {
        SCOPED_TRACE(p.name);
        const int fd = mtd_fd(p.slot);
        ASSERT_GE(fd, 0);

        mtd_geometry geometry{};
        ASSERT_EQ(mtd_get_info(fd, &geometry), 1);
        EXPECT_EQ(geometry.total_size, p.size);
        EXPECT_EQ(geometry.total_size, sysfs_number(p.name, "size"));
        EXPECT_EQ(geometry.block_size, sysfs_number(p.name, "erasesize"));
        EXPECT_EQ(geometry.block_size, kBlock);
        EXPECT_EQ(geometry.block_shift, 16u);
        EXPECT_EQ(geometry.block_count, p.size / kBlock);

        const int flags = fcntl(fd, F_GETFL);
        EXPECT_EQ(flags & O_ACCMODE, O_RDWR);
        EXPECT_EQ((flags & O_SYNC) == O_SYNC, p.synchronous);
    }
    kvm::report_real("MEMGETINFO " + hex(MEMGETINFO) + " (this machine's encoding)" +
                     ": size and erase size of all seven /dev/mtd-* agree with sysfs; open flags "
                     "as kept by the kernel");
}

TEST_F(RealMtd, ThreeBlockWriteShowsProgressAndKeepsTheBytesAround) {
    const Bytes old = prefill(4);
    const Bytes data = pattern(kvm::three_block_length, 0xC4);

    int result = -2;
    const std::string console = kvm::capture_stdout([&] {
        result =
            partition_write(data.data(), fd(), kvm::three_block_offset, kvm::three_block_length, 1);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(console, kvm::three_block_transcript);

    Bytes expected = old;
    std::copy(data.begin(), data.end(), expected.begin() + kvm::three_block_offset);
    EXPECT_EQ(read_back(0, 4 * kBlock), expected);
    kvm::report_real("MEMERASE " + hex(MEMERASE) + " (this machine's encoding)" +
                     " and pwrite: 3-block write at offset 10 with progress \"" +
                     kvm::visible(console) + "\"");
}

struct WriteCase {
    const char* what;
    std::uint32_t offset;
    std::uint32_t length;
};

class RealMtdWrite : public RealMtd, public testing::WithParamInterface<WriteCase> {};

TEST_P(RealMtdWrite, OnlyTheRangeChanges) {
    const WriteCase& c = GetParam();
    const Bytes old = prefill(4);
    const Bytes data = pattern(c.length, 0x5B);

    EXPECT_EQ(partition_write(data.data(), fd(), c.offset, c.length, 0), 0);

    Bytes expected = old;
    std::copy(data.begin(), data.end(), expected.begin() + c.offset);
    EXPECT_EQ(read_back(0, 4 * kBlock), expected);
}

INSTANTIATE_TEST_SUITE_P(Ranges, RealMtdWrite,
                         testing::Values(WriteCase{"inside one block", kBlock + 1000, 200},
                                         WriteCase{"one whole block", kBlock, kBlock},
                                         WriteCase{"across a block boundary", kBlock - 1, 2},
                                         WriteCase{"empty at a boundary", 2 * kBlock, 0},
                                         WriteCase{"empty inside a block", 2 * kBlock + 9, 0}),
                         [](const auto& info) {
                             std::string name = info.param.what;
                             for (char& ch : name)
                                 if (ch == ' ')
                                     ch = '_';
                             return name;
                         });

TEST_F(RealMtd, UnalignedReadAcrossBlocks) {
    const Bytes old = prefill(3);
    const Bytes got = read_back(kBlock - 7, kBlock + 20);
    EXPECT_EQ(got, Bytes(old.begin() + kBlock - 7, old.begin() + 2 * kBlock + 13));
}

TEST_F(RealMtd, EraseClearsEveryTouchedBlockAndNoOther) {
    const Bytes old = prefill(4);
    ASSERT_EQ(partition_erase(fd(), 10, kBlock + 5), 0);

    Bytes expected = old;
    std::fill(expected.begin() + kBlock, expected.begin() + 2 * kBlock, 0xFF);
    EXPECT_EQ(read_back(0, 4 * kBlock), expected);
    kvm::report_real("MEMERASE " + hex(MEMERASE) +
                     ": partition_erase of 10 bytes cleared exactly their block");
}

TEST_F(RealMtd, WritePastTheEndFailsAtTheKernelsErase) {
    mtd_geometry geometry{};
    ASSERT_EQ(mtd_get_info(fd(), &geometry), 1);
    const std::uint8_t byte = 0;
    int result = 0;
    const std::string console = kvm::capture_stdout(
        [&] { result = partition_write(&byte, fd(), geometry.total_size, 1, 0); });
    EXPECT_EQ(result, -1);
    EXPECT_EQ(console, "Flash Write mtd erase failed.\n\n");
    kvm::report_real("MEMERASE past the end: the kernel refuses it and partition_write fails");
}

// Run with /dev/mtd-onie missing: its slot stays unopened.
TEST(AbsentMtd, EveryPartitionCallFailsAtTheGeometryQuery) {
    ASSERT_EQ(flash_init(), 1);
    ASSERT_EQ(mtd_fd(MTD_ONIE), -1);

    Bytes buffer(16, 0);
    int read = 0, write = 0, erase = 0;
    EXPECT_EQ(
        kvm::capture_stdout([&] { read = partition_read(buffer.data(), mtd_fd(MTD_ONIE), 0, 16); }),
        "Could not get MTD device info \n");
    EXPECT_EQ(kvm::capture_stdout(
                  [&] { write = partition_write(buffer.data(), mtd_fd(MTD_ONIE), 0, 16, 1); }),
              "Could not get MTD device info \n");
    EXPECT_EQ(kvm::capture_stdout([&] { erase = partition_erase(mtd_fd(MTD_ONIE), 16, 0); }),
              "Could not get MTD device info \n");
    EXPECT_EQ(read, -1);
    EXPECT_EQ(write, -1);
    EXPECT_EQ(erase, -1);

    EXPECT_EQ(partition_read(buffer.data(), mtd_fd(MTD_UBOOT), 0, 16), 0);
    kvm::report_real(
        "MEMGETINFO on an unopened slot: \"Could not get MTD device info \" and -1; other slots "
        "unaffected");
}

}  // namespace
