// What the scenarios shared by the emulators (hw_tests) and the kernel's drivers (the VM test)
// need from each: a board whose devices are ready, their sizes, and the wear only an emulator
// can count.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace rig {

// The devices named in `missing` ("onie", "bus0") are absent while it lives. On the emulators a
// fresh board is made; in the VM, init.sh arranges the devices for each phase.
class Devices {
public:
    explicit Devices(const std::vector<std::string>& missing = {});
    ~Devices();
    Devices(const Devices&) = delete;
    Devices& operator=(const Devices&) = delete;

private:
    struct State;
    std::unique_ptr<State> state_;
};

std::uint32_t partition_size(int slot);

struct Wear {
    std::vector<std::uint32_t> erases;  // per erase block
    std::uint64_t program_without_erase;
};
// The kernel partition's wear since the board was made; the kernel's drivers keep none.
std::optional<Wear> kernel_wear();

// Whether plain i2c transfers reach the settings memory (the VM's SMBus stub refuses them).
extern const bool plain_i2c;

}  // namespace rig
