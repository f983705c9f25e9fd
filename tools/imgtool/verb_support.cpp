#include "verb_support.hpp"

#include <string>

#include "names.hpp"
#include "signing.hpp"

namespace imgtool {

CLI::Validator image_type() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            const auto type = tools::parse_type(text);
            if (!type) {
                return "unknown image type '" + text + "'";
            }
            text = std::to_string(*type);
            return {};
        },
        "");
}

CLI::Validator whole_number() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            const auto number = tools::parse_number(text);
            if (!number) {
                return "'" + text + "' is not a number from 0 to 4294967295 (decimal or 0x-hex)";
            }
            text = std::to_string(*number);
            return {};
        },
        "");
}

CLI::Validator passin_source() {
    return CLI::Validator(
        [](std::string& text) -> std::string {
            return parse_passin(text)
                       ? std::string()
                       : "'" + text + "' is not pass:TEXT, env:VAR, file:PATH or stdin";
        },
        "");
}

}  // namespace imgtool
