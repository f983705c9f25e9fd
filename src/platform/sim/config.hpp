// board.conf text <-> BoardConfig.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "sim/board.hpp"

namespace sim::detail {

// nullopt with a reason in *error when a line is malformed or a value out of range.
std::optional<BoardConfig> parse_board_conf(const std::string& text, std::string* error);
std::string format_board_conf(const BoardConfig& config);
// Why the reader would refuse what format_board_conf makes of CONFIG ("KEY = VALUE: reason"),
// empty when it would read it back.
std::string config_error(const BoardConfig& config);
// Why the reader refuses VALUE for KEY, empty when it accepts it.
std::string config_value_error(std::string_view key, std::string_view value);

}  // namespace sim::detail
