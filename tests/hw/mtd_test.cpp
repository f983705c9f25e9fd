#include "hw/mtd.hpp"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "console.hpp"
#include "sim/board.hpp"
#include "temp_board.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes pattern(std::size_t n, std::uint8_t seed) {
    Bytes b(n);
    for (std::size_t i = 0; i < n; ++i) {
        b[i] = static_cast<std::uint8_t>(seed + i * 7 + (i >> 8));
    }
    return b;
}

class Flash : public ::testing::Test {
protected:
    void SetUp() override { mtd_open_all(); }

    // Fills a partition with known old content through the board, then reopens the table.
    Bytes prefill(const char* name, std::uint8_t seed) {
        auto size = sim::read_partition(board.root(), name)->size();
        Bytes old = pattern(size, seed);
        EXPECT_TRUE(sim::write_partition(board.root(), name, old));
        return old;
    }

    TempBoard board;
};

TEST_F(Flash, AllSlotsOpenInOrder) {
    for (int slot = MTD_UBOOT; slot < MTD_COUNT; ++slot) {
        EXPECT_GE(mtd_fd(slot), 0) << slot;
    }
    mtd_geometry g{};
    ASSERT_EQ(mtd_get_info(mtd_fd(MTD_RFS), &g), 1);
    EXPECT_EQ(g.block_count, 4u);
    EXPECT_EQ(g.block_size, 0x10000u);
    EXPECT_EQ(g.block_shift, 16u);
    EXPECT_EQ(g.total_size, 0x40000u);
}

TEST(FlashWithProgress, MultiBlockWriteShowsEachBlockAndKeepsTheRest) {
    auto c = TempBoard::test_config();
    c.partitions[MTD_KERNEL].size = 0x60000;
    TempBoard board(c);
    Bytes old = pattern(0x60000, 3);
    ASSERT_TRUE(sim::write_partition(board.root(), "kernel", old));
    mtd_open_all();

    const std::uint32_t length = 3 * 65536 + 100;
    const Bytes data = pattern(length, 99);
    auto [out, rc] =
        console_of([&] { return partition_write(data.data(), mtd_fd(MTD_KERNEL), 10, length, 1); });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(out, "     \b\b\b\b000%\b\b\b\b025%\b\b\b\b050%\b\b\b\b075%\b\b\b\b100%\n");

    Bytes expected = old;
    std::copy(data.begin(), data.end(), expected.begin() + 10);
    EXPECT_EQ(*sim::read_partition(board.root(), "kernel"), expected);
    const auto wear = sim::read_flash_wear(board.root(), "kernel");
    EXPECT_EQ(wear->program_without_erase, 0u);
    EXPECT_EQ(wear->erase_counts, (std::vector<std::uint32_t>{1, 1, 1, 1, 0, 0}));
}

struct WriteCase {
    const char* what;
    std::uint32_t offset, length;
    std::vector<std::uint32_t> erases;  // per block of the 4-block partition
    const char* console;
};

class FlashWrite : public Flash, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(FlashWrite, RewritesExactlyTheTouchedBlocks) {
    const auto& p = GetParam();
    const Bytes old = prefill("rfs", 5);
    mtd_open_all();
    const Bytes data = pattern(p.length, 200);
    auto [out, rc] = console_of(
        [&] { return partition_write(data.data(), mtd_fd(MTD_RFS), p.offset, p.length, 1); });
    EXPECT_EQ(rc, 0) << p.what;
    EXPECT_EQ(out, p.console) << p.what;
    Bytes expected = old;
    std::copy(data.begin(), data.end(), expected.begin() + p.offset);
    EXPECT_EQ(*sim::read_partition(board.root(), "rfs"), expected) << p.what;
    const auto wear = sim::read_flash_wear(board.root(), "rfs");
    EXPECT_EQ(wear->erase_counts, p.erases) << p.what;
    EXPECT_EQ(wear->program_without_erase, 0u) << p.what;
}

INSTANTIATE_TEST_SUITE_P(
    Ranges, FlashWrite,
    ::testing::Values(
        WriteCase{"nothing at a block boundary", 0x10000, 0, {0, 0, 0, 0}, "     \b\b\b\b100%\n"},
        WriteCase{"nothing at offset 0", 0, 0, {0, 0, 0, 0}, "     \b\b\b\b100%\n"},
        WriteCase{
            "nothing inside a block", 0x10010, 0, {0, 1, 0, 0}, "     \b\b\b\b000%\b\b\b\b100%\n"},
        WriteCase{
            "inside one block", 0x20100, 0x200, {0, 0, 1, 0}, "     \b\b\b\b000%\b\b\b\b100%\n"},
        WriteCase{
            "exactly one block", 0x30000, 0x10000, {0, 0, 0, 1}, "     \b\b\b\b000%\b\b\b\b100%\n"},
        WriteCase{"across one boundary",
                  0xFFF0,
                  0x20,
                  {1, 1, 0, 0},
                  "     \b\b\b\b000%\b\b\b\b050%\b\b\b\b100%\n"},
        WriteCase{"three blocks",
                  0x8000,
                  0x20000,
                  {1, 1, 1, 0},
                  "     \b\b\b\b000%\b\b\b\b033%\b\b\b\b066%\b\b\b\b100%\n"}));

TEST_F(Flash, WriteWithoutProgressIsSilent) {
    const Bytes data = {1, 2, 3};
    auto [out, rc] =
        console_of([&] { return partition_write(data.data(), mtd_fd(MTD_RESCUE), 5, 3, 0); });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(out, "");
    Bytes got(3);
    EXPECT_EQ(partition_read(got.data(), mtd_fd(MTD_RESCUE), 5, 3), 0);
    EXPECT_EQ(got, data);
}

struct FailCase {
    sim::IoFault::Op op;
    std::uint32_t nth;
    const char* console;
    std::vector<bool> new_data;  // per block: holds the new data afterwards
};

class FlashWriteFailure : public Flash, public ::testing::WithParamInterface<FailCase> {};

TEST_P(FlashWriteFailure, StopsAtTheFailingBlockAndSaysWhy) {
    const auto& p = GetParam();
    const Bytes old = prefill("rfs", 9);
    sim::FaultPlan plan;
    plan.io_errors = {{"rfs", p.op, p.nth}};
    ASSERT_TRUE(sim::set_fault_plan(board.root(), plan));
    mtd_open_all();
    const Bytes data = pattern(0x30000, 77);
    auto [out, rc] =
        console_of([&] { return partition_write(data.data(), mtd_fd(MTD_RFS), 0, 0x30000, 1); });
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(out, p.console);
    const auto now = *sim::read_partition(board.root(), "rfs");
    for (std::size_t block = 0; block < 4; ++block) {
        const auto at = now.begin() + block * 0x10000;
        const bool holds_new =
            block < 3 && std::equal(at, at + 0x10000, data.begin() + block * 0x10000);
        EXPECT_EQ(holds_new, p.new_data[block]) << block;
    }
    EXPECT_TRUE(std::equal(now.begin() + 0x30000, now.end(), old.begin() + 0x30000));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FlashWriteFailure,
    ::testing::Values(FailCase{sim::IoFault::Op::erase,
                               2,
                               "     \b\b\b\b000%Flash Write mtd erase failed.\n\n",
                               {true, false, false, false}},
                      // 64 pieces of 1024 bytes per block: the 70th is inside the second block.
                      FailCase{sim::IoFault::Op::program,
                               70,
                               "     \b\b\b\b000%Flash Write mtd write failed.\n\n",
                               {true, false, false, false}},
                      FailCase{sim::IoFault::Op::erase,
                               1,
                               "     Flash Write mtd erase failed.\n\n",
                               {false, false, false, false}}));

TEST_F(Flash, EraseClearsEveryTouchedBlock) {
    prefill("ubootenv", 1);
    mtd_open_all();
    EXPECT_EQ(partition_erase(mtd_fd(MTD_UBOOTENV), 0x10, 0xFFF8), 0);
    const auto now = *sim::read_partition(board.root(), "ubootenv");
    EXPECT_TRUE(std::all_of(now.begin(), now.begin() + 0x20000, [](auto b) { return b == 0xFF; }));
    EXPECT_NE(now[0x20000], 0xFF);
}

TEST(FlashGeometry, EraseSizeThatIsNotAPowerOfTwoIsRefused) {
    auto c = TempBoard::test_config();
    c.partitions[MTD_KERNEL] = {0x30000, 0x18000};
    TempBoard board(c);
    mtd_open_all();
    const Bytes data = {1};
    auto [out, rc] =
        console_of([&] { return partition_write(data.data(), mtd_fd(MTD_KERNEL), 0, 1, 1); });
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(out, "MTD erase size 0x18000 is not a power of two\n");
    auto [out2, rc2] = console_of([&] { return partition_erase(mtd_fd(MTD_KERNEL), 1, 0); });
    EXPECT_EQ(rc2, -1);
    EXPECT_EQ(out2, out);
}

TEST(FlashMissing, UnopenedPartitionFailsAtTheGeometryQuery) {
    auto c = TempBoard::test_config();
    c.faults.missing = {"devicetree"};
    TempBoard board(c);
    mtd_open_all();
    EXPECT_EQ(mtd_fd(MTD_DEVICETREE), -1);
    EXPECT_GE(mtd_fd(MTD_KERNEL), 0);
    Bytes buf(4, 0xAB);
    auto [out, rc] = console_of([&] { return partition_read(buf.data(), -1, 0, 4); });
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(out, "Could not get MTD device info \n");
    auto [out2, rc2] =
        console_of([&] { return partition_write(buf.data(), mtd_fd(MTD_DEVICETREE), 0, 4, 1); });
    EXPECT_EQ(rc2, -1);
    EXPECT_EQ(out2, "Could not get MTD device info \n");
    EXPECT_EQ(buf, Bytes(4, 0xAB));
}

TEST_F(Flash, RangeWrappingPastFourGigabytesIsRefused) {
    const Bytes data(0x20, 0);
    auto [out, rc] = console_of(
        [&] { return partition_write(data.data(), mtd_fd(MTD_RFS), 0xFFFFFFF0u, 0x20, 0); });
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(out, "Flash Write range 0xfffffff0 + 0x20 is outside the device\n");
    // Up to the last byte of the 32-bit space: every block is touched, none is skipped.
    auto [out2, rc2] = console_of([&] { return partition_erase(mtd_fd(MTD_RFS), 0xFFFFFFFFu, 0); });
    EXPECT_EQ(rc2, -1);
    EXPECT_EQ(out2, "Flash Erase mtd erase failed.\n");
}

}  // namespace
