// The shared scenarios' devices on the emulators: a fresh board for each.
#include "rig.hpp"
#include "sim/board.hpp"
#include "temp_board.hpp"

namespace rig {

struct Devices::State {
    TempBoard board;
};

namespace {
sim::BoardConfig config_missing(const std::vector<std::string>& missing) {
    auto c = TempBoard::test_config();
    c.faults.missing = missing;
    return c;
}
const TempBoard* current = nullptr;
}  // namespace

Devices::Devices(const std::vector<std::string>& missing)
    : state_(new State{TempBoard(config_missing(missing))}) {
    current = &state_->board;
}

Devices::~Devices() {
    current = nullptr;
}

std::uint32_t partition_size(int /*slot*/) {
    return 0x40000;
}

std::optional<Wear> kernel_wear() {
    const auto wear = sim::read_flash_wear(current->root(), "kernel");
    return Wear{wear->erase_counts, wear->program_without_erase};
}

const bool plain_i2c = true;

}  // namespace rig
