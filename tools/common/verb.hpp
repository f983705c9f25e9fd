// The tools' commands are verbs, one file each: add_X registers the subcommand with its options
// and help and returns it with what runs it.
#pragma once

#include <functional>
#include <utility>

namespace CLI {
class App;
}

namespace tools {

// A verb's subcommand, and what runs it once a command line has chosen it.
using Verb = std::pair<CLI::App*, std::function<int()>>;

}  // namespace tools
