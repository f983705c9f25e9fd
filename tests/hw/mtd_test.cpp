// Flash faults only the emulators can inject; seam_scenarios.cpp holds what the kernel's
// drivers are checked against too.
#include "hw/mtd.hpp"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "in_process.hpp"
#include "sim/board.hpp"
#include "temp_board.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;
using testsupport::console_of;

struct FailCase {
    sim::IoFault::Op op;
    std::uint32_t nth;
    const char* console;
    bool first_block_new;  // the others keep their old bytes
};

class FlashWriteFailure : public ::testing::TestWithParam<FailCase> {};

TEST_P(FlashWriteFailure, StopsAtTheFailingBlockAndSaysWhy) {
    const auto& p = GetParam();
    TempBoard board;
    const Bytes old(0x40000, 0x33);
    ASSERT_TRUE(sim::write_partition(board.root(), "rfs", old));
    sim::FaultPlan plan;
    plan.io_errors = {{"rfs", p.op, p.nth}};
    ASSERT_TRUE(sim::set_fault_plan(board.root(), plan));
    mtd_open_all();
    const Bytes data(0x30000, 0x5A);
    const auto [out, rc] =
        console_of([&] { return partition_write(data.data(), mtd_fd(MTD_RFS), 0, 0x30000, 1); });
    EXPECT_EQ(rc, -1);
    EXPECT_EQ(out, p.console);
    const auto now = *sim::read_partition(board.root(), "rfs");
    EXPECT_EQ(std::count(now.begin(), now.begin() + 0x10000, 0x5A),
              p.first_block_new ? 0x10000 : 0);
    EXPECT_TRUE(std::equal(now.begin() + 0x20000, now.end(), old.begin() + 0x20000));
}

INSTANTIATE_TEST_SUITE_P(
    Faults, FlashWriteFailure,
    ::testing::Values(FailCase{sim::IoFault::Op::erase, 2,
                               "     \b\b\b\b000%Flash Write mtd erase failed.\n\n", true},
                      // 64 pieces of 1024 bytes per block: the 70th is inside the second block.
                      FailCase{sim::IoFault::Op::program, 70,
                               "     \b\b\b\b000%Flash Write mtd write failed.\n\n", true},
                      FailCase{sim::IoFault::Op::erase, 1, "     Flash Write mtd erase failed.\n\n",
                               false},
                      // Each block is read back before it is merged and erased.
                      FailCase{sim::IoFault::Op::read, 2,
                               "     \b\b\b\b000%Flash Write mtd read failed.\n\n", true}));

TEST(FlashGeometry, EraseSizeThatIsNotAPowerOfTwoIsRefused) {
    auto c = TempBoard::test_config();
    c.partitions[MTD_KERNEL] = {0x30000, 0x18000};
    TempBoard board(c);
    mtd_open_all();
    const Bytes data = {1};
    const auto refused =
        std::pair(std::string("MTD erase size 0x18000 is not a power of two\n"), -1);
    EXPECT_EQ(console_of([&] { return partition_write(data.data(), mtd_fd(MTD_KERNEL), 0, 1, 1); }),
              refused);
    EXPECT_EQ(console_of([&] { return partition_erase(mtd_fd(MTD_KERNEL), 1, 0); }), refused);
}

}  // namespace
