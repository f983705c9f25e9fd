// The verbs of boardsim, one file each.
#pragma once

#include <functional>

#include "verb.hpp"

namespace boardsim {

// Exit statuses shared by the verbs (run adds the outcomes of a boot, see run.hpp).
inline constexpr int status_ok = 0;
inline constexpr int status_failed = 1;  // the verb could not do its work; message on stderr

using tools::Verb;

Verb add_create(CLI::App& app);
Verb add_run(CLI::App& app);
Verb add_env(CLI::App& app);
Verb add_eeprom(CLI::App& app);
Verb add_flash(CLI::App& app);
Verb add_usb(CLI::App& app);
Verb add_fault(CLI::App& app);
Verb add_show(CLI::App& app);
Verb add_panel(CLI::App& app);

// Adds every verb to APP as a subcommand; returns what runs the one a parsed command line chose.
std::function<int()> add_verbs(CLI::App& app);

}  // namespace boardsim
