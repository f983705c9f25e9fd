// boardsim run: boots a board until its application starts, it stops, or the boots run out.
#include <cstdlib>
#include <optional>
#include <string>

#include "cli.hpp"
#include "commands.hpp"
#include "run.hpp"
#include "sim/board.hpp"
#include "verb_support.hpp"

namespace boardsim {
namespace {

namespace fs = std::filesystem;

struct RunArgs {
    std::string dir;
    unsigned boots = 1;
    std::optional<double> timeout;
    bool no_panel = false;
    std::optional<std::string> time_scale;
};

int run(const RunArgs& a) {
    RunOptions options;
    options.boots = a.boots;
    options.timeout_seconds = a.timeout;
    options.panel = !a.no_panel;
    if (a.time_scale) {
        options.time_scale = std::strtod(a.time_scale->c_str(), nullptr);
    }
    const auto outcome = run_board(a.dir, options);
    return outcome ? static_cast<int>(*outcome) : status_failed;
}

}  // namespace

Verb add_run(CLI::App& app) {
    auto r = std::make_shared<RunArgs>();
    CLI::App* const sub =
        verb(app, "run",
             "Boots the board with this terminal as console, again after each reboot or power "
             "cut, up to N boots. On a terminal, the bottom line is the board's front panel: the "
             "blue location LED, flash activity, USB drive and board clock.",
             "Exit status (how the last boot ended): 0 the application started, 1 the board\n"
             "could not be started, 2 usage error, 3 rebooted, 4 power cut, 5 crashed,\n"
             "6 timed out, 7 the board's configuration (sim/board.conf) does not read: not\n"
             "booted, the reason on standard error.");
    add_dir(sub, r->dir);
    sub->add_option("--boots", r->boots, "at most N boots (1-1000000, default 1)")
        ->check(CLI::Range(1u, 1000000u));
    sub->add_option("--timeout", r->timeout, "stop the board after SECONDS of real time")
        ->check(seconds(false));
    sub->add_flag("--no-panel", r->no_panel,
                  "no front panel under the console (it is drawn only when standard input and "
                  "output are terminals)");
    sub->add_option("--time-scale", r->time_scale,
                    "real seconds per board second for this run, instead of board.conf's (which "
                    "stays as it is); 1 to watch the LED blink in the physical presence test")
        ->check(board_conf("time.scale"));
    return {sub, [r] { return run(*r); }};
}

}  // namespace boardsim
