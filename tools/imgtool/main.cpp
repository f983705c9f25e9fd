// imgtool: makes and reads image bundles.
#include "cli.hpp"
#include "verbs.hpp"

int main(int argc, char** argv) {
    return tools::guarded_main("imgtool", [&] {
        CLI::App app{
            "Makes and inspects image bundles: files of concatenated sub-images, each an image\n"
            "header and its payload."};
        tools::setup_app(app, "imgtool");
        app.require_subcommand(1);
        app.footer(
            "Exit status: 0 done, 1 the command failed or found a fault (the reason on standard\n"
            "error), 2 usage error (an unknown option, a missing or ill-formed value: the message\n"
            "names it). imgtool COMMAND --help describes a command. `--` ends the options.");
        const auto run = imgtool::add_verbs(app);
        if (const auto status = tools::parse_command_line(app, argc, argv)) {
            return *status;
        }
        return run();
    });
}
