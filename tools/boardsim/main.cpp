// boardsim: creates, runs, inspects and faults simulated boards.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "commands.hpp"

namespace {

struct Verb {
    const char* usage;
    std::function<int(const std::vector<std::string>&)> run;
};

const std::map<std::string, Verb>& verbs() {
    static const std::map<std::string, Verb> table = {
        {"create", {boardsim::create_usage, boardsim::cmd_create}},
        {"run", {boardsim::run_usage, boardsim::cmd_run}},
        {"env", {boardsim::env_usage, boardsim::cmd_env}},
        {"eeprom", {boardsim::eeprom_usage, boardsim::cmd_eeprom}},
        {"flash", {boardsim::flash_usage, boardsim::cmd_flash}},
        {"usb", {boardsim::usb_usage, boardsim::cmd_usb}},
        {"fault", {boardsim::fault_usage, boardsim::cmd_fault}},
        {"show", {boardsim::show_usage, boardsim::cmd_show}},
    };
    return table;
}

void overview(FILE* out) {
    std::fputs("usage: boardsim VERB DIR [ARGS...]   (boardsim VERB --help for details)\n\n", out);
    for (const auto& [name, verb] : verbs()) {
        std::fprintf(out, "%s\n", verb.usage);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2 || std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0) {
        overview(argc < 2 ? stderr : stdout);
        return argc < 2 ? 2 : 0;
    }
    const auto it = verbs().find(argv[1]);
    if (it == verbs().end()) {
        std::fprintf(stderr, "boardsim: unknown verb '%s'\n", argv[1]);
        overview(stderr);
        return 2;
    }
    const std::vector<std::string> args(argv + 2, argv + argc);
    for (const std::string& arg : args) {
        if (arg == "--help" || arg == "-h") {
            std::printf("%s\n", it->second.usage);
            return 0;
        }
    }
    return it->second.run(args);
}
