// Port expander: a register file in ROOT/sim/port.bin.
#include "i2c_chips.hpp"

namespace sim::detail {

ssize_t port_write(Runtime& rt, std::span<const std::uint8_t> bytes) {
    return register_file_write(state_path(rt.root, "port.bin"), rt.chips.port_pointer, bytes, {});
}

ssize_t port_read(Runtime& rt, std::span<std::uint8_t> out) {
    return register_file_read(state_path(rt.root, "port.bin"), rt.chips.port_pointer, out);
}

}  // namespace sim::detail
