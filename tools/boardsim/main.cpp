// boardsim: creates, runs, inspects and faults simulated boards.
#include "cli.hpp"
#include "commands.hpp"

int main(int argc, char** argv) {
    return tools::guarded_main("boardsim", [&] {
        CLI::App app{"Creates, runs, inspects and faults simulated boards."};
        tools::setup_app(app, "boardsim");
        app.require_subcommand(1);
        app.footer(
            "Exit status: 0 done, 1 the verb failed (the reason on standard error), 2 usage error\n"
            "(an unknown option, a missing or ill-formed value: the message names it); `run` adds\n"
            "the outcomes of a boot (boardsim run --help). `--` ends the options.");
        const auto run = boardsim::add_verbs(app);
        if (const auto status = tools::parse_command_line(app, argc, argv)) {
            return *status;
        }
        return run();
    });
}
