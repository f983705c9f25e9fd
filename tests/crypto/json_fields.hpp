// Reads the "name": value pairs of a JSON test-vector file in document order (string and number
// values only; arrays of strings such as "flags" are kept as one comma-joined value). Enough
// for the flat structure of the Wycheproof files.
#pragma once

#include <string>
#include <utility>
#include <vector>

using JsonField = std::pair<std::string, std::string>;

inline std::vector<JsonField> jsonFields(const std::string& text) {
    std::vector<JsonField> out;
    std::size_t i = 0;
    auto readString = [&](std::size_t& p) {
        std::string s;
        for (++p; p < text.size() && text[p] != '"'; ++p) {
            if (text[p] == '\\' && p + 1 < text.size()) {
                ++p;
            }
            s += text[p];
        }
        ++p;
        return s;
    };
    auto skipSpace = [&](std::size_t& p) {
        while (p < text.size() &&
               (text[p] == ' ' || text[p] == '\n' || text[p] == '\r' || text[p] == '\t')) {
            ++p;
        }
    };
    while (i < text.size()) {
        if (text[i] != '"') {
            ++i;
            continue;
        }
        std::string name = readString(i);
        skipSpace(i);
        if (i >= text.size() || text[i] != ':') {
            continue;  // a string inside an array, seen on its own
        }
        ++i;
        skipSpace(i);
        if (i < text.size() && text[i] == '"') {
            out.emplace_back(name, readString(i));
        } else if (i < text.size() && text[i] == '[') {
            std::string joined;
            ++i;
            skipSpace(i);
            while (i < text.size() && text[i] == '"') {
                joined += (joined.empty() ? "" : ",") + readString(i);
                skipSpace(i);
                if (i < text.size() && text[i] == ',') {
                    ++i;
                    skipSpace(i);
                }
            }
            out.emplace_back(name, joined);
        } else {
            std::size_t start = i;
            while (i < text.size() && text[i] != ',' && text[i] != '}' && text[i] != '\n') {
                ++i;
            }
            out.emplace_back(name, text.substr(start, i - start));
        }
    }
    return out;
}
