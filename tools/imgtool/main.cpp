// imgtool: makes and reads image bundles.
#include "cli.hpp"
#include "verbs.hpp"

int main(int argc, char** argv) {
    return tools::verb_main(
        argc, argv, "imgtool",
        "Makes and inspects image bundles: files of concatenated sub-images, each an image\n"
        "header and its payload.",
        "Exit status: 0 done, 1 the command failed or found a fault (the reason on standard\n"
        "error), 2 usage error (an unknown option, a missing or ill-formed value: the message\n"
        "names it). imgtool COMMAND --help describes a command. `--` ends the options.",
        imgtool::add_verbs);
}
