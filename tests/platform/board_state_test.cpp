#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>

#include "sim/board.hpp"
#include "temp_board.hpp"

namespace {

std::string read_conf(const std::filesystem::path& root) {
    std::ifstream in(root / "sim/board.conf");
    return {std::istreambuf_iterator<char>(in), {}};
}

void write_conf(const std::filesystem::path& root, const std::string& text) {
    std::ofstream(root / "sim/board.conf") << text;
}

TEST(BoardState, CreateWritesErasedPartitionsOfTheConfiguredSizes) {
    sim::BoardConfig c;  // defaults
    c.time_scale = 0;
    TempBoard board(c);
    const std::uint32_t sizes[] = {0x80000,  0x20000,  0x40000, 0x300000,
                                   0xF00000, 0xA00000, 0x100000};
    for (std::size_t i = 0; i < sim::partition_names.size(); ++i) {
        auto content = sim::read_partition(board.root(), sim::partition_names[i]);
        ASSERT_TRUE(content) << sim::partition_names[i];
        EXPECT_EQ(content->size(), sizes[i]);
        EXPECT_TRUE(
            std::all_of(content->begin(), content->end(), [](auto b) { return b == 0xFF; }));
        auto wear = sim::read_flash_wear(board.root(), sim::partition_names[i]);
        ASSERT_TRUE(wear);
        EXPECT_EQ(wear->erase_counts.size(), sizes[i] / 0x10000);
        EXPECT_EQ(wear->program_without_erase, 0u);
    }
    EXPECT_EQ(sim::read_cpld(board.root())->size(), sim::cpld_size);
    EXPECT_EQ(sim::read_clock_us(board.root()), 0u);
    EXPECT_TRUE(sim::read_led_log(board.root()).empty());
}

TEST(BoardState, CreateSetsOnlyTheRequestedEepromFields) {
    auto c = TempBoard::test_config();
    c.serial = "SN12345";
    c.boot_slot = 2;
    c.usb_enable = 0xD5;
    TempBoard board(c);
    auto e = *sim::read_eeprom(board.root());
    ASSERT_EQ(e.size(), sim::eeprom_size);
    const std::vector<std::uint8_t> serial(e.begin() + 0x0D, e.begin() + 0x19);
    EXPECT_EQ(serial,
              (std::vector<std::uint8_t>{'S', 'N', '1', '2', '3', '4', '5', 0, 0, 0, 0, 0}));
    EXPECT_EQ(e[0x0100], 2);
    EXPECT_EQ(e[0x013A], 0xFF);
    EXPECT_EQ(e[0x013B], 0xD5);
    EXPECT_EQ(e[0x0C], 0xFF);
    EXPECT_EQ(e[0x19], 0xFF);
}

TEST(BoardState, RefusesGeometryTheFlashCannotHave) {
    for (std::uint32_t erase : {0u, 0x30000u}) {
        auto c = TempBoard::test_config();
        c.partitions[4].erase_size = erase;
        auto dir = std::filesystem::temp_directory_path() / "board-refused";
        EXPECT_FALSE(sim::create_board_state(dir, c)) << erase;
        std::filesystem::remove_all(dir);
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
    auto back = sim::load_board_config(board.root());
    ASSERT_TRUE(back);
    EXPECT_EQ(back->partitions[3].size, 0x200000u);
    EXPECT_EQ(back->partitions[3].erase_size, 0x20000u);
    EXPECT_EQ(back->rtc_base, c.rtc_base);
    EXPECT_TRUE(back->rtc_host_clock);
    EXPECT_EQ(back->rtc_control, c.rtc_control);
    EXPECT_DOUBLE_EQ(back->time_scale, 0.001);
    EXPECT_EQ(back->faults.missing, c.faults.missing);
    ASSERT_EQ(back->faults.io_errors.size(), 2u);
    EXPECT_EQ(back->faults.io_errors[0].partition, "rfs");
    EXPECT_EQ(back->faults.io_errors[0].op, sim::IoFault::Op::erase);
    EXPECT_EQ(back->faults.io_errors[0].nth, 3u);
    EXPECT_EQ(back->faults.io_errors[1].op, sim::IoFault::Op::any);
    EXPECT_EQ(back->faults.power_cut_after, 12u);
}

TEST(BoardState, HandWrittenConfigurationWithCommentsAndHexIsRead) {
    TempBoard board;
    write_conf(board.root(),
               "# a board\n\n  kernel.size = 0x100000   # 1 MiB\nkernel.erase_size=65536\n"
               "time.scale = 0\nfault.missing = mem eeprom\n");
    auto c = sim::load_board_config(board.root());
    ASSERT_TRUE(c);
    EXPECT_EQ(c->partitions[3].size, 0x100000u);
    EXPECT_EQ(c->partitions[3].erase_size, 0x10000u);
    EXPECT_EQ(c->partitions[0].size, 0x80000u);  // unset keys keep their defaults
    EXPECT_EQ(c->faults.missing, (std::vector<std::string>{"mem", "eeprom"}));
}

class BadConfigLine : public ::testing::TestWithParam<const char*> {};

TEST_P(BadConfigLine, IsRejected) {
    TempBoard board;
    write_conf(board.root(), GetParam());
    EXPECT_FALSE(sim::load_board_config(board.root()));
}

INSTANTIATE_TEST_SUITE_P(
    Lines, BadConfigLine,
    ::testing::Values("kernel.size 0x1000\n", "kernel.colour = red\n", "nosuch = 1\n",
                      "kernel.size = -1\n", "kernel.size = 0x100000000\n",
                      "rtc.base = 2026-02-30 00:00:00\n", "rtc.base = 2026-01-01 24:00:00\n",
                      "rtc.control = 1 2 3\n", "rtc.control = 1 2 3 4 5 6 0x100\n",
                      "time.scale = fast\n", "time.scale = -1\n", "fault.missing = bus2\n",
                      "fault.io = rfs erase 0\n", "fault.io = nand erase 1\n",
                      "fault.io = rfs wipe 1\n", "rtc.host_clock = 2\n"));

TEST(BoardState, FaultPlanCanBeSetAndCleared) {
    TempBoard board;
    sim::FaultPlan plan;
    plan.power_cut_after = 4;
    plan.missing = {"bus0"};
    ASSERT_TRUE(sim::set_fault_plan(board.root(), plan));
    EXPECT_NE(read_conf(board.root()).find("fault.power_cut = 4\n"), std::string::npos);
    EXPECT_NE(read_conf(board.root()).find("fault.missing = bus0\n"), std::string::npos);
    ASSERT_TRUE(sim::clear_fault_plan(board.root()));
    EXPECT_EQ(read_conf(board.root()).find("fault."), std::string::npos);
}

TEST(BoardState, PartitionWritePadsWithErasedBytesAndRefusesOversize) {
    TempBoard board;
    ASSERT_TRUE(sim::write_partition(board.root(), "kernel", {1, 2, 3}));
    auto k = *sim::read_partition(board.root(), "kernel");
    ASSERT_EQ(k.size(), 0x40000u);
    EXPECT_EQ(k[2], 3);
    EXPECT_EQ(k[3], 0xFF);
    EXPECT_FALSE(sim::write_partition(board.root(), "kernel", std::vector<std::uint8_t>(0x40001)));
    EXPECT_FALSE(sim::write_partition(board.root(), "nand", {1}));
}

TEST(BoardState, EepromAndCpldPatchesStayInside) {
    TempBoard board;
    EXPECT_TRUE(sim::write_eeprom(board.root(), 0x1FFE, {7, 8}));
    EXPECT_FALSE(sim::write_eeprom(board.root(), 0x1FFF, {7, 8}));
    EXPECT_EQ((*sim::read_eeprom(board.root()))[0x1FFF], 8);
    EXPECT_TRUE(sim::write_cpld(board.root(), 0x20, 0x10));
    EXPECT_FALSE(sim::write_cpld(board.root(), 0x100, 0x10));
    EXPECT_EQ((*sim::read_cpld(board.root()))[0x20], 0x10);
}

}  // namespace
