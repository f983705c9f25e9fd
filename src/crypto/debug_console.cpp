#include "crypto/debug_console.hpp"

#include <cstdio>

namespace {

std::FILE* g_debugStream = nullptr;

bool enabled(std::uint32_t category) {
    return (category & DEBUG_CONSOLE_MASK) == category;
}

}  // namespace

void DEBUG_CONSOLE_write(const char* text) {
    if (g_debugStream == nullptr) {
        g_debugStream = stdout;
    }
    std::fprintf(g_debugStream, "%s", text);
    std::fflush(g_debugStream);
}

void DEBUG_CONSOLE_printString(std::uint32_t category, const char* text) {
    if (enabled(category) && text != nullptr) {
        DEBUG_CONSOLE_write(text);
    }
}

void DEBUG_CONSOLE_printLine(std::uint32_t category, const char* text) {
    if (!enabled(category)) {
        return;
    }
    if (text != nullptr) {
        DEBUG_CONSOLE_write(text);
    }
    DEBUG_CONSOLE_write("\r\n");
}

void DEBUG_CONSOLE_printHexByte(std::uint32_t category, std::int32_t value) {
    if (!enabled(category)) {
        return;
    }
    char text[3];
    std::snprintf(text, sizeof text, "%02x", static_cast<unsigned>(value & 0xFF));
    DEBUG_CONSOLE_write(text);
}

void DEBUG_CONSOLE_printInt(std::uint32_t category, std::int32_t value) {
    if (!enabled(category)) {
        return;
    }
    char text[16];
    std::snprintf(text, sizeof text, "%d", static_cast<int>(value));
    DEBUG_CONSOLE_write(text);
}

void DEBUG_CONSOLE_printError(std::uint32_t category, const char* text, std::int32_t value) {
    if (!enabled(category)) {
        return;
    }
    if (text != nullptr) {
        DEBUG_CONSOLE_write(text);
    }
    DEBUG_CONSOLE_printInt(category, value);
    DEBUG_CONSOLE_write("\r\n");
}
