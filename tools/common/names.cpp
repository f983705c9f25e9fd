#include "names.hpp"

#include <charconv>
#include <cstdio>

#include "image/header.hpp"

namespace tools {
namespace {

struct named_type {
    std::string_view name;
    std::uint32_t code;
};

constexpr named_type type_names[] = {
    {"application", image::TYPE_APPLICATION},
    {"bootloader", image::TYPE_BOOTLOADER},
    {"kernel", image::TYPE_KERNEL},
    {"rfs", image::TYPE_RFS},
    {"devicetree", image::TYPE_DEVICETREE},
    {"diagnostics", image::TYPE_DIAGNOSTICS},
    {"kxos", image::TYPE_KXOS},
};

std::optional<std::uint32_t> parse_digits(std::string_view text, int base) {
    std::uint32_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || ec != std::errc{} || end != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

}  // namespace

std::optional<std::uint32_t> parse_number(std::string_view text) {
    if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
        return parse_digits(text.substr(2), 16);
    }
    return parse_digits(text, 10);
}

std::optional<std::uint32_t> parse_type(std::string_view text) {
    for (const auto& t : type_names) {
        if (t.name == text) {
            return t.code;
        }
    }
    return parse_number(text);
}

std::string type_label(std::uint32_t type) {
    for (const auto& t : type_names) {
        if (t.code == type) {
            return std::string(t.name);
        }
    }
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", static_cast<unsigned>(type));
    return text;
}

std::optional<std::uint32_t> parse_version(std::string_view text) {
    std::uint32_t version = 0;
    for (int part = 0; part < 4; ++part) {
        const bool last = part == 3;
        const std::size_t dot = text.find('.');
        if (last != (dot == std::string_view::npos)) {
            return std::nullopt;
        }
        const auto number = parse_digits(text.substr(0, dot), 10);
        if (!number || *number > 255) {
            return std::nullopt;
        }
        version = (version << 8) | *number;
        text = last ? std::string_view{} : text.substr(dot + 1);
    }
    return version;
}

}  // namespace tools
