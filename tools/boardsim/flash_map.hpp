// The flash map of a board as an SVG picture.
#pragma once

#include <filesystem>
#include <string>

#include "board_view.hpp"

namespace boardsim {

// Draws every partition and image slot file on one scale, each sub-image in its place coloured by
// its CRC, and under each partition one cell per erase block shaded by its erase count. Says why
// on standard error when FILE cannot be written.
bool write_flash_map(const board_view& board, const std::string& title,
                     const std::filesystem::path& file);

}  // namespace boardsim
