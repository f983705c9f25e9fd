// boardsim: creates, runs, inspects and faults simulated boards.
#include "cli.hpp"
#include "commands.hpp"

int main(int argc, char** argv) {
    return tools::verb_main(
        argc, argv, "boardsim", "Creates, runs, inspects and faults simulated boards.",
        "Exit status: 0 done, 1 the verb failed (the reason on standard error), 2 usage error\n"
        "(an unknown option, a missing or ill-formed value: the message names it); `run` adds\n"
        "the outcomes of a boot (boardsim run --help). `--` ends the options.",
        boardsim::add_verbs);
}
