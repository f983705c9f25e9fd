// The process-wide state of the simulated board: its root, its configuration, the virtual clock,
// the fault counters and the table of emulated descriptors.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string_view>

#include "sim/board.hpp"

namespace sim::detail {

enum class DeviceKind { mtd, i2c, mem };

struct Device {
    DeviceKind kind = DeviceKind::mtd;
    int access = 0;             // O_RDONLY, O_WRONLY or O_RDWR as opened
    std::size_t partition = 0;  // mtd
    int bus = 0;                // i2c
    unsigned address = 0;       // i2c: selected 7-bit address
};

// Address pointers of the I2C chips and the clock chip's RAM: chip state that a power cycle of
// the board (a new process) resets.
struct ChipState {
    std::uint16_t eeprom_pointer = 0;
    std::uint8_t rtc_pointer = 0;
    std::uint8_t led_pointer = 0;
    std::uint8_t port_pointer = 0;
    std::array<std::uint8_t, 64> rtc_ram{};
};

struct Runtime {
    std::filesystem::path root{"/"};
    bool loaded = false;
    bool persistent = false;  // ROOT/sim exists: state files may be written
    BoardConfig config;
    std::uint64_t clock_us = 0;
    std::uint32_t power_events = 0;  // flash operations and writes under /user, in one count
    std::array<std::uint32_t, 7> erase_ops{};
    std::array<std::uint32_t, 7> program_ops{};
    std::array<std::uint32_t, 7> read_ops{};
    std::array<std::optional<FlashWear>, 7> wear;
    std::map<int, Device> devices;
    ChipState chips;
};

// The board of this process, loaded on first use.
Runtime& runtime();
// Re-reads board.conf and restarts the fault counters; devices stay registered.
void reload_config(Runtime& rt);

std::filesystem::path state_path(const std::filesystem::path& root, std::string_view rel);
bool device_missing(const Runtime& rt, std::string_view name);

// Counts one event the board may lose power at (a flash erase or program, a write under
// /user); true when the fault plan's power cut falls on it. The caller then leaves in place
// what survives and calls lose_power.
bool power_cut_due(Runtime& rt);
// Disarms the one-shot cut in board.conf and ends the process as a board without power.
[[noreturn]] void lose_power(Runtime& rt);

// Virtual clock; advancing it persists it.
std::uint64_t clock_now_us();
void clock_advance_us(std::uint64_t us);

}  // namespace sim::detail
