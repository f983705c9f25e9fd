#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "scratch.hpp"
#include "sim/board.hpp"
#include "temp_board.hpp"

namespace {

using Bytes = std::vector<std::uint8_t>;
using testsupport::read_file;

TEST(BoardState, CreateWritesErasedPartitionsOfTheConfiguredSizes) {
    sim::BoardConfig c;  // defaults
    c.time_scale = 0;
    TempBoard board(c);
    const std::uint32_t sizes[] = {0x80000,  0x20000,  0x40000, 0x300000,
                                   0xF00000, 0xA00000, 0x100000};
    for (std::size_t i = 0; i < sim::partition_names.size(); ++i) {
        const auto content = sim::read_partition(board.root(), sim::partition_names[i]);
        ASSERT_TRUE(content) << sim::partition_names[i];
        EXPECT_EQ(*content, Bytes(sizes[i], 0xFF));
        const auto wear = sim::read_flash_wear(board.root(), sim::partition_names[i]);
        EXPECT_EQ(wear->erase_counts, std::vector<std::uint32_t>(sizes[i] / 0x10000, 0));
        EXPECT_EQ(wear->program_without_erase, 0u);
    }
}

TEST(BoardState, RefusesGeometryTheFlashCannotHave) {
    for (std::uint32_t erase : {0u, 0x30000u}) {
        auto c = TempBoard::test_config();
        c.partitions[4].erase_size = erase;
        const testsupport::TempDir dir("board-refused");
        EXPECT_FALSE(sim::create_board_state(dir.path(), c)) << erase;
    }
}

TEST(BoardState, ConfigurationSurvivesARoundTrip) {
    TempBoard board;
    auto c = TempBoard::test_config();
    c.partitions[3] = {0x200000, 0x20000};
    c.rtc_base = "2031-12-31 23:59:58";
    c.rtc_host_clock = true;
    c.rtc_control = {0x80, 0, 0x40, 0, 0, 0, 0};
    c.time_scale = 0.001;
    c.faults.missing = {"bus1", "led", "rescue"};
    c.faults.io_errors = {{"rfs", sim::IoFault::Op::erase, 3},
                          {"kernel", sim::IoFault::Op::any, 1}};
    c.faults.power_cut_after = 12;
    ASSERT_TRUE(sim::save_board_config(board.root(), c));
    const std::string saved = read_file(board.root() / "sim/board.conf");
    EXPECT_NE(saved.find("kernel.size = 0x200000\nkernel.erase_size = 0x20000\n"),
              std::string::npos);
    EXPECT_NE(saved.find("rtc.base = 2031-12-31 23:59:58\nrtc.host_clock = 1\n"
                         "rtc.control = 0x80 0x00 0x40 0x00 0x00 0x00 0x00\ntime.scale = 0.001\n"
                         "fault.missing = bus1 led rescue\nfault.io = rfs erase 3\n"
                         "fault.io = kernel any 1\nfault.power_cut = 12\n"),
              std::string::npos);
    // Read back and written again, nothing changes.
    ASSERT_TRUE(sim::save_board_config(board.root(), *sim::load_board_config(board.root())));
    EXPECT_EQ(read_file(board.root() / "sim/board.conf"), saved);
}

TEST(BoardState, HandWrittenConfigurationWithCommentsAndHexIsRead) {
    TempBoard board;
    std::ofstream(board.root() / "sim/board.conf")
        << "# a board\n\n  kernel.size = 0x100000   # 1 MiB\nkernel.erase_size=65536\n"
           "time.scale = 0\nfault.missing = mem eeprom\n";
    const auto c = sim::load_board_config(board.root());
    ASSERT_TRUE(c);
    EXPECT_EQ(c->partitions[3].size, 0x100000u);
    EXPECT_EQ(c->partitions[3].erase_size, 0x10000u);
    EXPECT_EQ(c->partitions[0].size, 0x80000u);  // unset keys keep their defaults
    EXPECT_EQ(c->faults.missing, (std::vector<std::string>{"mem", "eeprom"}));
}

TEST(BoardState, BadConfigLinesAreRejected) {
    TempBoard board;
    for (const char* line :
         {"kernel.size 0x1000\n", "kernel.colour = red\n", "nosuch = 1\n", "kernel.size = -1\n",
          "kernel.size = 0x100000000\n", "rtc.base = 2026-02-30 00:00:00\n",
          "rtc.base = 2026-01-01 24:00:00\n", "rtc.control = 1 2 3\n",
          "rtc.control = 1 2 3 4 5 6 0x100\n", "time.scale = fast\n", "time.scale = -1\n",
          "fault.missing = bus2\n", "fault.io = rfs erase 0\n", "fault.io = nand erase 1\n",
          "fault.io = rfs wipe 1\n", "rtc.host_clock = 2\n"}) {
        std::ofstream(board.root() / "sim/board.conf") << line;
        EXPECT_FALSE(sim::load_board_config(board.root())) << line;
    }
}

TEST(BoardState, FaultPlanCanBeSetAndCleared) {
    TempBoard board;
    sim::FaultPlan plan;
    plan.power_cut_after = 4;
    plan.missing = {"bus0"};
    ASSERT_TRUE(sim::set_fault_plan(board.root(), plan));  // the hw tests see it take effect
    ASSERT_TRUE(sim::clear_fault_plan(board.root()));
    EXPECT_EQ(read_file(board.root() / "sim/board.conf").find("fault."), std::string::npos);
}

TEST(BoardState, WritesPadPartitionsWithErasedBytesAndStayInside) {
    TempBoard board;
    ASSERT_TRUE(sim::write_partition(board.root(), "kernel", {1, 2, 3}));
    const auto k = *sim::read_partition(board.root(), "kernel");
    ASSERT_EQ(k.size(), 0x40000u);
    EXPECT_EQ(Bytes(k.begin(), k.begin() + 4), (Bytes{1, 2, 3, 0xFF}));
    EXPECT_FALSE(sim::write_partition(board.root(), "kernel", Bytes(0x40001)));
    EXPECT_FALSE(sim::write_partition(board.root(), "nand", {1}));
    EXPECT_TRUE(sim::write_eeprom(board.root(), 0x1FFE, {7, 8}));
    EXPECT_FALSE(sim::write_eeprom(board.root(), 0x1FFF, {7, 8}));
    EXPECT_EQ((*sim::read_eeprom(board.root()))[0x1FFF], 8);
    EXPECT_TRUE(sim::write_cpld(board.root(), 0x20, 0x10));
    EXPECT_FALSE(sim::write_cpld(board.root(), 0x100, 0x10));
    EXPECT_EQ((*sim::read_cpld(board.root()))[0x20], 0x10);
}

}  // namespace
