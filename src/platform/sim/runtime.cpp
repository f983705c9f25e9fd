#include "runtime.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "config.hpp"
#include "files.hpp"
#include "sim/coverage.hpp"

namespace sim::detail {
namespace {

Runtime& storage() {
    static Runtime rt;
    return rt;
}

void load(Runtime& rt) {
    std::error_code ec;
    rt.persistent = std::filesystem::is_directory(state_path(rt.root, ""), ec);
    reload_config(rt);
    rt.clock_us = 0;
    if (auto text = read_text(state_path(rt.root, "clock"))) {
        rt.clock_us = std::strtoull(text->c_str(), nullptr, 10);
    }
    rt.loaded = true;
}

}  // namespace

std::filesystem::path state_path(const std::filesystem::path& root, std::string_view rel) {
    return root / "sim" / rel;
}

Runtime& runtime() {
    Runtime& rt = storage();
    if (!rt.loaded) {
        load(rt);
    }
    return rt;
}

void reload_config(Runtime& rt) {
    rt.config = BoardConfig{};
    if (rt.persistent) {
        if (auto c = load_board_config(rt.root)) {
            rt.config = std::move(*c);
        }
    }
    rt.power_events = 0;
    rt.erase_ops = {};
    rt.program_ops = {};
    rt.read_ops = {};
    rt.wear = {};
}

bool device_missing(const Runtime& rt, std::string_view name) {
    const auto& m = rt.config.faults.missing;
    return std::find(m.begin(), m.end(), name) != m.end();
}

bool power_cut_due(Runtime& rt) {
    ++rt.power_events;
    if (rt.persistent) {
        write_text(state_path(rt.root, "power-events"), std::to_string(rt.power_events) + "\n");
    }
    return rt.config.faults.power_cut_after != 0 &&
           rt.power_events == rt.config.faults.power_cut_after;
}

void lose_power(Runtime& rt) {
    // One-shot: the next boot runs without it.
    if (auto config = load_board_config(rt.root)) {
        config->faults.power_cut_after = 0;
        save_board_config(rt.root, *config);
    }
    // What was printed had already left on the serial line.
    std::fflush(stdout);
    write_coverage_counters();
    ::_exit(power_cut_exit_status);
}

std::uint64_t clock_now_us() {
    return runtime().clock_us;
}

void clock_advance_us(std::uint64_t us) {
    Runtime& rt = runtime();
    rt.clock_us += us;
    if (rt.persistent) {
        // Written in place: the text only grows, and truncating first makes the file system
        // flush the file on close, which costs milliseconds per board millisecond of polling.
        const std::string text = std::to_string(rt.clock_us) + "\n";
        unique_fd fd(
            ::open(state_path(rt.root, "clock").c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
        if (fd) {
            pwrite_all(fd.get(), text.data(), text.size(), 0);
        }
    }
}

}  // namespace sim::detail

namespace sim {

void use_board(const std::filesystem::path& root) {
    // Descriptors of the previous board stay open (their owners will close them) but are no
    // longer emulated devices.
    detail::Runtime& rt = detail::storage();
    rt = detail::Runtime{};
    rt.root = root;
}

const std::filesystem::path& board_root() {
    return detail::storage().root;
}

}  // namespace sim
