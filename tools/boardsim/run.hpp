// `boardsim run`: boots a board one or more times with the caller's console.
#pragma once

#include <filesystem>
#include <optional>

namespace boardsim {

// How the last boot of a run ended; the values are boardsim's exit status.
enum class Outcome : int {
    application_started = 0,
    rebooted = 3,
    power_cut = 4,
    crashed = 5,
    timed_out = 6,
    unreadable_config = 7,  // sim/board.conf does not read: not booted, faults would be lost
};

struct RunOptions {
    unsigned boots = 1;
    std::optional<double> timeout_seconds;
    // The one-line front panel under the console, drawn only when standard input and output
    // are terminals.
    bool panel = true;
    // Real seconds per board second for these boots instead of board.conf's (left unchanged).
    std::optional<double> time_scale;
};

// Returns the outcome, or nullopt when the board could not be started (message on stderr).
std::optional<Outcome> run_board(const std::filesystem::path& root, const RunOptions& options);

}  // namespace boardsim
