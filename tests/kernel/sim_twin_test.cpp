// The VM's multi-block write, run on the simulated board: both must print the same transcript.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <vector>

#include "capture.hpp"
#include "hw/mtd.hpp"
#include "sim/board.hpp"
#include "three_block_write.hpp"

namespace {

class SimBoard {
public:
    SimBoard() {
        char name[] = "/tmp/kernel-twin-XXXXXX";
        if (mkdtemp(name) != nullptr)
            root_ = name;
    }
    ~SimBoard() {
        std::error_code ec;
        std::filesystem::remove_all(root_, ec);
    }
    SimBoard(const SimBoard&) = delete;
    SimBoard& operator=(const SimBoard&) = delete;

    const std::filesystem::path& root() const { return root_; }

private:
    std::filesystem::path root_;
};

TEST(SimTwin, ThreeBlockWriteTranscriptMatchesTheVm) {
    SimBoard board;
    ASSERT_FALSE(board.root().empty());
    ASSERT_TRUE(sim::create_board_state(board.root(), sim::BoardConfig{}));
    sim::use_board(board.root());
    ASSERT_EQ(flash_init(), 1);

    const std::vector<std::uint8_t> data(kvm::three_block_length, 0x5A);
    int result = -2;
    const std::string console = kvm::capture_stdout([&] {
        result = partition_write(data.data(), mtd_fd(MTD_KERNEL), kvm::three_block_offset,
                                 kvm::three_block_length, 1);
    });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(console, kvm::three_block_transcript);
}

}  // namespace
