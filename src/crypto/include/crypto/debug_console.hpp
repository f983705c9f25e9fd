// Debug output gated by a fixed category mask. A print happens only when every bit of its
// category is set in the mask; category 0 always prints.
#pragma once

#include <cstdint>

#include "crypto/status.hpp"

constexpr std::uint32_t DEBUG_CONSOLE_MASK = 0x00400002;

// Writes text to standard output and flushes, whatever the mask; text must not be null.
void DEBUG_CONSOLE_write(const char* text);
// The gated prints; a null text prints nothing of itself. Lines end in "\r\n".
// printString: text. printLine: text, then the line end.
void DEBUG_CONSOLE_printString(std::uint32_t category, const char* text);
void DEBUG_CONSOLE_printLine(std::uint32_t category, const char* text);
// The low 8 bits as two lower-case hex digits; the value in decimal.
void DEBUG_CONSOLE_printHexByte(std::uint32_t category, std::int32_t value);
void DEBUG_CONSOLE_printInt(std::uint32_t category, std::int32_t value);
// text, the value in decimal, then the line end.
void DEBUG_CONSOLE_printError(std::uint32_t category, const char* text, std::int32_t value);
