// imgtool's commands, one file each: add_X registers the subcommand with its options and help.
#pragma once

#include <functional>

#include "verb.hpp"

namespace imgtool {

// Exit statuses shared by every command; usage errors end with tools::usage_status (2).
inline constexpr int exit_ok = 0;
inline constexpr int exit_failure = 1;  // the command ran and found a fault; reason on stderr

using tools::Verb;

Verb add_build(CLI::App& app);
Verb add_info(CLI::App& app);
Verb add_extract(CLI::App& app);
Verb add_sign(CLI::App& app);
Verb add_verify(CLI::App& app);
Verb add_keyfile(CLI::App& app);

// Adds every command to APP as a subcommand; returns what runs the one a parsed command line
// chose.
std::function<int()> add_verbs(CLI::App& app);

}  // namespace imgtool
