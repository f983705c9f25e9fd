// Image types and versions as people write them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tools {

// A type by name (application, bootloader, kernel, rfs, devicetree, diagnostics, kxos) or as a
// number (decimal or 0x-hexadecimal).
std::optional<std::uint32_t> parse_type(std::string_view text);
// The name of a known type, else its code as 0x%08x.
std::string type_label(std::uint32_t type);

// "a.b.c.d", four numbers 0-255, into the 32-bit version field.
std::optional<std::uint32_t> parse_version(std::string_view text);

// A whole unsigned number, decimal or 0x-hexadecimal.
std::optional<std::uint32_t> parse_number(std::string_view text);

}  // namespace tools
