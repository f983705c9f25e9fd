// Clock chip: seven BCD time registers computed from the board's clock, then battery RAM.
#include <cstdint>
#include <ctime>

#include "civil.hpp"
#include "i2c_chips.hpp"

namespace sim::detail {
namespace {

constexpr std::uint8_t kTimeRegisters = 7;

std::uint8_t bcd(unsigned v) {
    return static_cast<std::uint8_t>((v / 10) << 4 | (v % 10));
}

std::uint8_t rtc_register(const Runtime& rt, std::uint8_t reg) {
    if (reg >= kTimeRegisters) {
        return rt.chips.rtc_ram[reg];
    }
    std::int64_t seconds = 0;
    if (rt.config.rtc_host_clock) {
        seconds = static_cast<std::int64_t>(std::time(nullptr));
    } else if (const auto base = parse_datetime(rt.config.rtc_base)) {
        seconds = to_seconds(*base) + static_cast<std::int64_t>(rt.clock_us / 1000000);
    }
    const CivilTime t = from_seconds(seconds);
    const std::uint8_t values[kTimeRegisters] = {bcd(t.second),
                                                 bcd(t.minute),
                                                 bcd(t.hour),
                                                 bcd(t.weekday + 1),
                                                 bcd(t.day),
                                                 bcd(t.month),
                                                 bcd(static_cast<unsigned>(t.year % 100))};
    return values[reg] | rt.config.rtc_control[reg];
}

}  // namespace

ssize_t rtc_write(Runtime& rt, std::span<const std::uint8_t> bytes) {
    if (bytes.empty()) {
        return 0;
    }
    ChipState& s = rt.chips;
    s.rtc_pointer = bytes[0] % s.rtc_ram.size();
    for (std::uint8_t b : bytes.subspan(1)) {
        // The time registers follow the board's clock; only the RAM keeps writes.
        if (s.rtc_pointer >= kTimeRegisters) {
            s.rtc_ram[s.rtc_pointer] = b;
        }
        s.rtc_pointer = (s.rtc_pointer + 1) % s.rtc_ram.size();
    }
    return static_cast<ssize_t>(bytes.size());
}

ssize_t rtc_read(Runtime& rt, std::span<std::uint8_t> out) {
    ChipState& s = rt.chips;
    for (auto& b : out) {
        b = rtc_register(rt, s.rtc_pointer);
        s.rtc_pointer = (s.rtc_pointer + 1) % s.rtc_ram.size();
    }
    return static_cast<ssize_t>(out.size());
}

}  // namespace sim::detail
