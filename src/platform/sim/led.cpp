// LED controller: a register file in ROOT/sim/led.bin whose every write is also logged with
// the board's virtual time, so tests and tools can replay what the LED showed.
#include <cstdio>

#include "files.hpp"
#include "i2c_chips.hpp"

namespace sim::detail {

ssize_t led_write(Runtime& rt, std::span<const std::uint8_t> bytes) {
    return register_file_write(state_path(rt.root, "led.bin"), rt.chips.led_pointer, bytes,
                               [&rt](std::uint8_t reg, std::uint8_t value) {
                                   char line[64];
                                   std::snprintf(
                                       line, sizeof line, "%llu.%06u 0x%02X 0x%02X\n",
                                       static_cast<unsigned long long>(rt.clock_us / 1000000),
                                       static_cast<unsigned>(rt.clock_us % 1000000),
                                       static_cast<unsigned>(reg), static_cast<unsigned>(value));
                                   append_text(state_path(rt.root, "led.log"), line);
                               });
}

ssize_t led_read(Runtime& rt, std::span<std::uint8_t> out) {
    return register_file_read(state_path(rt.root, "led.bin"), rt.chips.led_pointer, out);
}

}  // namespace sim::detail
