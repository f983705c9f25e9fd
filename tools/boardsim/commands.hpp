// The verbs of boardsim.
#pragma once

#include <functional>

namespace CLI {
class App;
}

namespace boardsim {

// Exit statuses shared by the verbs (run adds the outcomes of a boot, see run.hpp).
inline constexpr int status_ok = 0;
inline constexpr int status_failed = 1;  // the verb could not do its work; message on stderr

// Adds the verbs to APP as subcommands; returns what runs the one a parsed command line chose.
std::function<int()> add_verbs(CLI::App& app);

}  // namespace boardsim
