// What a board's front panel shows, read from its state files while it runs: the blue location
// LED, flash activity, the USB drive and the board clock; and the marker of a running board.
#pragma once

#include <sys/types.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace boardsim {

// The LED controller register that drives the blue location LED (bit 0: 0 lit, 1 dark).
inline constexpr std::size_t blue_led_register = 5;

struct FlashActivity {
    enum class Op { none, erasing, programming } op = Op::none;
    std::string partition;
};

struct PanelState {
    std::optional<bool> blue_lit;  // nullopt when the register file does not read
    std::uint8_t led_register = 0;
    FlashActivity flash;
    bool usb_present = false;  // the drive is seen by the board (its readiness marker exists)
    std::uint64_t clock_us = 0;
};

// Polls a board's state files; flash activity is a partition whose file changed since the
// previous poll, or within hold of it, so that a short write stays visible.
class PanelProbe {
public:
    explicit PanelProbe(std::filesystem::path root,
                        std::chrono::milliseconds hold = std::chrono::milliseconds(700));
    PanelState poll();

private:
    using Time = std::filesystem::file_time_type;
    std::filesystem::path root_;
    std::chrono::milliseconds hold_;
    std::array<Time, 7> flash_seen_{};
    std::array<Time, 7> wear_seen_{};
    bool first_ = true;
    FlashActivity last_;
    std::chrono::steady_clock::time_point last_at_{};
};

// The one-line panel, at most width columns of text; with colour, the lit LED in blue.
std::string panel_line(const PanelState& state, std::size_t width, bool colour);

// ROOT/sim/running holds the pid of the `boardsim run` that boots the board, while it does.
std::filesystem::path running_marker(const std::filesystem::path& root);
// The pid of the run booting the board, or nullopt when none is (a stale marker included).
std::optional<pid_t> running_pid(const std::filesystem::path& root);

class RunningMarker {
public:
    explicit RunningMarker(std::filesystem::path root);
    RunningMarker(const RunningMarker&) = delete;
    RunningMarker& operator=(const RunningMarker&) = delete;
    ~RunningMarker();

private:
    std::filesystem::path root_;
};

}  // namespace boardsim
