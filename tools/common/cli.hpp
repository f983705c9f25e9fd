// Command-line conventions of the host tools: --help and --version end with status 0; every usage
// error (unknown option, missing or ill-typed value, value out of range, missing argument) prints
// "TOOL: what, naming the option and the value" and ends with status 2, whatever CLI11's own code.
#pragma once

#include <CLI/CLI.hpp>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>

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

}  // namespace tools
