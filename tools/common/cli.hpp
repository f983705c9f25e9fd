// Command-line conventions of the host tools: --help and --version end with status 0; every usage
// error (unknown option, missing or ill-typed value, value out of range, missing argument) prints
// "TOOL: what, naming the option and the value" and ends with status 2, whatever CLI11's own code.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <vector>

#include "verb.hpp"

namespace tools {

inline constexpr int usage_status = 2;

// An App named TOOL with --version and the shared error convention.
inline void setup_app(CLI::App& app, const std::string& tool) {
    app.name(tool);
    app.set_version_flag("--version", tool + " " BM_TOOLS_VERSION);
    app.option_defaults()->always_capture_default(false);
}

// A usage error found after parsing (a value whose meaning depends on another argument).
inline int usage_error(const std::string& tool, const std::string& what) {
    std::fprintf(stderr, "%s: %s\nRun '%s --help' for more information.\n", tool.c_str(),
                 what.c_str(), tool.c_str());
    return usage_status;
}

// Runs a tool's main body: an exception that escapes it (out of memory, a library's own) ends
// the tool with status 1 and its message, never with an abort.
template <typename Body>
int guarded_main(const char* tool, Body body) noexcept {
    try {
        return body();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "%s: %s\n", tool, e.what());
    } catch (...) {
        std::fprintf(stderr, "%s: unexpected error\n", tool);
    }
    return 1;
}

// Parses the command line into APP: nullopt when the tool should go on, otherwise the status to
// exit with once help, the version or the usage error is printed.
inline std::optional<int> parse_command_line(CLI::App& app, int argc, const char* const* argv) {
    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e) == 0 ? 0 : usage_status;
    } catch (const CLI::CallForAllHelp& e) {
        return app.exit(e) == 0 ? 0 : usage_status;
    } catch (const CLI::CallForVersion& e) {
        return app.exit(e) == 0 ? 0 : usage_status;
    } catch (const CLI::ParseError& e) {
        if (app.get_require_subcommand_min() > 0 && app.get_subcommands().empty() &&
            !app.remaining().empty()) {
            return usage_error(app.get_name(), "unknown command '" + app.remaining().front() + "'");
        }
        std::string where = app.get_name();
        for (const CLI::App* sub = &app; !sub->get_subcommands().empty();) {
            sub = sub->get_subcommands().front();
            where += " " + sub->get_name();
        }
        return usage_error(where, e.what());
    }
    return std::nullopt;
}

// A verb's subcommand with its description and the footer of its help.
inline CLI::App* verb(CLI::App& app, const char* name, const char* what, const char* footer) {
    CLI::App* sub = app.add_subcommand(name, what);
    sub->footer(footer);
    return sub;
}

// What runs the verb a parsed command line chose (usage_status when none was).
inline std::function<int()> run_chosen(std::vector<Verb> verbs) {
    return [verbs = std::move(verbs)] {
        for (const auto& [sub, run] : verbs) {
            if (sub->parsed()) {
                return run();
            }
        }
        return usage_status;
    };
}

// The main of a tool of verbs: exactly one verb, the shared conventions, and the exit status of
// the verb that ran. add_verbs adds every verb to the App and returns what runs the chosen one.
template <typename AddVerbs>
int verb_main(int argc, const char* const* argv, const char* tool, const std::string& description,
              const std::string& footer, AddVerbs add_verbs) {
    return guarded_main(tool, [&] {
        CLI::App app{description};
        setup_app(app, tool);
        app.require_subcommand(1);
        app.footer(footer);
        const std::function<int()> run = add_verbs(app);
        if (const auto status = parse_command_line(app, argc, argv)) {
            return *status;
        }
        return run();
    });
}

}  // namespace tools
