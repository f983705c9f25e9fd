// Trace output of the signing layer, gated by a mask that starts as the library's fixed one.
#pragma once

#include <cstdint>

namespace imgsign_trace {

bool enabled(std::uint32_t category);
void text(std::uint32_t category, const char* text);
void end_line(std::uint32_t category);
// "status = " , the status in decimal, a line end.
void status(std::uint32_t category, std::int32_t status);
// The value in decimal and a line end.
void status_value(std::uint32_t category, std::int32_t status);

}  // namespace imgsign_trace
