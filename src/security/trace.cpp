#include "trace.hpp"

#include <cstdio>

#include "crypto/debug_console.hpp"
#include "security/imgsign.hpp"

namespace {

std::uint32_t trace_mask = DEBUG_CONSOLE_MASK;

}  // namespace

// Declared beside the tests, which widen the mask to see the trace; the boot manager keeps the
// library's fixed mask.
std::uint32_t IMGSIGN_setTraceMask(std::uint32_t mask) {
    const std::uint32_t previous = trace_mask;
    trace_mask = mask;
    return previous;
}

namespace imgsign_trace {

bool enabled(std::uint32_t category) {
    return (category & trace_mask) == category;
}

void text(std::uint32_t category, const char* text) {
    if (enabled(category)) {
        DEBUG_CONSOLE_write(text);
    }
}

void end_line(std::uint32_t category) {
    text(category, "\r\n");
}

void status(std::uint32_t category, std::int32_t status) {
    text(category, "status = ");
    status_value(category, status);
}

void status_value(std::uint32_t category, std::int32_t status) {
    if (!enabled(category)) {
        return;
    }
    char number[16];
    std::snprintf(number, sizeof number, "%d", static_cast<int>(status));
    DEBUG_CONSOLE_write(number);
    DEBUG_CONSOLE_write("\r\n");
}

}  // namespace imgsign_trace
