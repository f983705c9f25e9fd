// The test cases of a Wycheproof JSON file, read in document order. Each case holds the last
// value seen of every string or number field up to its "result", so a group's fields (its key)
// reach the tests that follow them; arrays and objects are skipped.
#pragma once

#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace wycheproof {

using Case = std::map<std::string, std::string>;

inline std::vector<Case> read(const std::string& path) {
    std::ifstream in(path);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const auto stringEnd = [&text](std::size_t open) {
        std::size_t at = open + 1;
        while (at < text.size() && text[at] != '"') {
            at += text[at] == '\\' ? 2 : 1;
        }
        return at;
    };
    std::vector<Case> cases;
    Case fields;
    std::size_t at = text.find('"');
    while (at < text.size()) {
        std::size_t next = stringEnd(at);
        const std::string name = text.substr(at + 1, next - at - 1);
        std::size_t value = text.find_first_not_of(" \t\r\n", next + 1);
        if (value < text.size() && text[value] == ':') {
            value = text.find_first_not_of(" \t\r\n", value + 1);
            const bool quoted = value < text.size() && text[value] == '"';
            const std::size_t end = quoted ? stringEnd(value) : text.find_first_of(",}]\n", value);
            if (end >= text.size()) {
                break;
            }
            fields[name] = text.substr(value + (quoted ? 1 : 0), end - value - (quoted ? 1 : 0));
            if (name == "result") {
                cases.push_back(fields);
            }
            next = end;
        }
        at = text.find('"', next + 1);
    }
    return cases;
}

}  // namespace wycheproof
