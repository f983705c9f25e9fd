// board.conf text <-> BoardConfig.
#pragma once

#include <optional>
#include <string>

#include "sim/board.hpp"

namespace sim::detail {

// nullopt with a reason in *error when a line is malformed or a value out of range.
std::optional<BoardConfig> parse_board_conf(const std::string& text, std::string* error);
std::string format_board_conf(const BoardConfig& config);

}  // namespace sim::detail
