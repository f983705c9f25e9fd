// imgtool's commands. Each lives in its own file and defines one `verb`; verbs.cpp lists them.
#pragma once

#include <span>
#include <string_view>

namespace imgtool {

using arguments = std::span<const std::string_view>;

struct verb {
    std::string_view name;
    std::string_view synopsis;  // the arguments, as shown after the name
    std::string_view summary;   // one line for the command list
    std::string_view details;   // the rest of `imgtool VERB --help`
    int (*run)(arguments args);
};

// Exit statuses shared by every command.
inline constexpr int exit_ok = 0;
inline constexpr int exit_failure = 1;  // the command ran and found a fault
inline constexpr int exit_usage = 2;

std::span<const verb* const> verbs();

extern const verb build_verb;
extern const verb info_verb;
extern const verb extract_verb;
extern const verb sign_verb;
extern const verb verify_verb;
extern const verb keyfile_verb;

}  // namespace imgtool
