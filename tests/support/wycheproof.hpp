// The test cases of a Wycheproof JSON file as the project ships it, one field to a line, read in
// document order. Each case holds the last value seen of every field up to its "result", so a
// group's fields (its key) reach the tests that follow them; a nested value's opening bracket
// stands for it.
#pragma once

#include <fstream>
#include <map>
#include <string>
#include <vector>

namespace wycheproof {

using Case = std::map<std::string, std::string>;

inline std::vector<Case> read(const std::string& path) {
    std::ifstream in(path);
    std::vector<Case> cases;
    Case fields;
    for (std::string line; std::getline(in, line);) {
        const std::size_t open = line.find('"');
        const std::size_t colon = line.find("\": ", open + 1);
        if (open == std::string::npos || colon == std::string::npos) {
            continue;
        }
        std::string value = line.substr(colon + 3);
        if (value.ends_with(',')) {
            value.pop_back();
        }
        if (value.size() >= 2 && value.front() == '"') {
            value = value.substr(1, value.size() - 2);
        }
        const std::string name = line.substr(open + 1, colon - open - 1);
        fields[name] = value;
        if (name == "result") {
            cases.push_back(fields);
        }
    }
    return cases;
}

}  // namespace wycheproof
