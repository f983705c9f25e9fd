#include "panel_state.hpp"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>

#include "sim/board.hpp"

namespace boardsim {

namespace fs = std::filesystem;

namespace {

constexpr const char* blue_on = "\033[1;97;44m";
constexpr const char* dim = "\033[2m";
constexpr const char* plain = "\033[0m";

fs::file_time_type mtime(const fs::path& path) {
    std::error_code ec;
    const auto t = fs::last_write_time(path, ec);
    return ec ? fs::file_time_type{} : t;
}

std::optional<std::uint8_t> led_register(const fs::path& root) {
    std::ifstream in(root / "sim/led.bin", std::ios::binary);
    char bytes[blue_led_register + 1];
    if (!in.read(bytes, sizeof bytes)) {
        return std::nullopt;
    }
    return static_cast<std::uint8_t>(bytes[blue_led_register]);
}

}  // namespace

PanelProbe::PanelProbe(fs::path root, std::chrono::milliseconds hold)
    : root_(std::move(root)), hold_(hold) {}

PanelState PanelProbe::poll() {
    PanelState state;
    if (const auto reg = led_register(root_)) {
        state.led_register = *reg;
        state.blue_lit = (*reg & 1) == 0;
    }
    // An erase rewrites the partition's wear counts, a program only its content.
    FlashActivity now;
    for (std::size_t i = 0; i < sim::partition_names.size(); ++i) {
        const std::string name(sim::partition_names[i]);
        const auto flash = mtime(root_ / "sim/flash" / (name + ".bin"));
        const auto wear = mtime(root_ / "sim/wear" / name);
        if (!first_ && now.op == FlashActivity::Op::none) {
            if (wear != wear_seen_[i]) {
                now = {FlashActivity::Op::erasing, name};
            } else if (flash != flash_seen_[i]) {
                now = {FlashActivity::Op::programming, name};
            }
        }
        flash_seen_[i] = flash;
        wear_seen_[i] = wear;
    }
    first_ = false;
    const auto t = std::chrono::steady_clock::now();
    if (now.op != FlashActivity::Op::none) {
        last_ = now;
        last_at_ = t;
    } else if (t - last_at_ < hold_) {
        now = last_;
    }
    state.flash = now;
    std::error_code ec;
    state.usb_present = fs::exists(root_ / "tmp/usb", ec);
    state.clock_us = sim::read_clock_us(root_);
    return state;
}

std::string panel_line(const PanelState& state, std::size_t width, bool colour) {
    // Pieces of text, each with the colour it is drawn in; cut at width columns.
    struct Piece {
        std::string text;
        const char* sgr = nullptr;
    };
    const char* led_text = !state.blue_lit ? "[  ?  ]" : *state.blue_lit ? "[ LIT ]" : "[ off ]";
    const char* led_sgr = state.blue_lit && *state.blue_lit ? blue_on : dim;
    std::string flash = "idle";
    if (state.flash.op != FlashActivity::Op::none) {
        flash = (state.flash.op == FlashActivity::Op::erasing ? "erasing " : "programming ") +
                state.flash.partition;
    }
    char clock[48];
    std::snprintf(clock, sizeof clock, "%.1f s", static_cast<double>(state.clock_us) / 1e6);
    const Piece pieces[] = {{" blue LED "},
                            {led_text, led_sgr},
                            {" | flash: " + flash + " | usb: "},
                            {state.usb_present ? "drive" : "none"},
                            {std::string(" | clock: ") + clock}};
    std::string line;
    std::size_t used = 0;
    for (const Piece& piece : pieces) {
        if (used >= width) {
            break;
        }
        const std::string text = piece.text.substr(0, width - used);
        used += text.size();
        if (colour && piece.sgr != nullptr) {
            line += piece.sgr + text + plain;
        } else {
            line += text;
        }
    }
    return line;
}

fs::path running_marker(const fs::path& root) {
    return root / "sim/running";
}

std::optional<pid_t> running_pid(const fs::path& root) {
    long pid = 0;
    std::ifstream in(running_marker(root));
    if (!(in >> pid) || pid <= 0) {
        return std::nullopt;
    }
    if (kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) {
        return std::nullopt;
    }
    return static_cast<pid_t>(pid);
}

RunningMarker::RunningMarker(fs::path root) : root_(std::move(root)) {
    std::ofstream(running_marker(root_)) << getpid() << '\n';
}

RunningMarker::~RunningMarker() {
    std::error_code ec;
    fs::remove(running_marker(root_), ec);
}

}  // namespace boardsim
