// The shared scenarios' devices on the emulators: a fresh board for each.
#include "rig.hpp"
#include "sim/board.hpp"
#include "temp_board.hpp"

namespace rig {

struct Devices::State {
    TempBoard board;
};

Devices::Devices(const std::vector<std::string>& missing) {
    auto c = TempBoard::test_config();
    c.faults.missing = missing;
    state_.reset(new State{TempBoard(c)});
}

Devices::~Devices() = default;

std::uint32_t partition_size(int /*slot*/) {
    return 0x40000;
}

std::optional<Wear> kernel_wear() {
    const auto wear = sim::read_flash_wear(sim::board_root(), "kernel");
    return Wear{wear->erase_counts, wear->program_without_erase};
}

const bool plain_i2c = true;

}  // namespace rig
