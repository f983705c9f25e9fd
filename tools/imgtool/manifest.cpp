#include "manifest.hpp"

#include <toml++/toml.h>
#include <cstdio>
#include <filesystem>
#include <initializer_list>
#include <string_view>

#include "names.hpp"
#include "signing.hpp"

namespace imgtool {
namespace {

class reader {
public:
    explicit reader(const std::string& path)
        : path_(path), dir_(std::filesystem::path(path).parent_path()) {}

    bool fail(const std::string& where, const std::string& why) const {
        std::fprintf(stderr, "imgtool: %s: %s%s%s\n", path_.c_str(), where.c_str(),
                     where.empty() ? "" : ": ", why.c_str());
        return false;
    }

    // Catches misspelt keys, which would otherwise be silently ignored.
    bool only_keys(const toml::table& table, const std::string& where,
                   std::initializer_list<std::string_view> known) const {
        for (const auto& [key, value] : table) {
            bool found = false;
            for (const auto k : known) {
                found = found || key.str() == k;
            }
            if (!found) {
                return fail(where, "unknown key '" + std::string(key.str()) + "'");
            }
        }
        return true;
    }

    std::string resolve(std::string_view file) const {
        const std::filesystem::path p(file);
        return p.is_absolute() || dir_.empty() ? p.string() : (dir_ / p).string();
    }

    std::optional<manifest_subimage> subimage(const toml::table& t,
                                              const std::string& where) const {
        if (!only_keys(t, where, {"type", "version", "payload", "header", "alternative_type"})) {
            return std::nullopt;
        }
        manifest_subimage s{};
        const auto type = t["type"].value<std::string>();
        const auto version = t["version"].value<std::string>();
        const auto payload = t["payload"].value<std::string>();
        if (!type || !version || !payload) {
            fail(where, "wants type, version and payload as strings");
            return std::nullopt;
        }
        const auto code = tools::parse_type(*type);
        if (!code || (*code & 0x80000000U)) {
            fail(where, "unknown image type '" + *type + "'");
            return std::nullopt;
        }
        const auto number = tools::parse_version(*version);
        if (!number) {
            fail(where, "version must be a.b.c.d with each part 0-255, not '" + *version + "'");
            return std::nullopt;
        }
        s.type = *code;
        s.version = *number;
        s.payload = resolve(*payload);
        if (t.contains("header")) {
            const auto hv = t["header"].value<std::int64_t>();
            if (!hv || *hv < 1 || *hv > 3) {
                fail(where, "header takes 1, 2 or 3");
                return std::nullopt;
            }
            s.header_version = static_cast<std::uint8_t>(*hv);
        }
        if (t.contains("alternative_type")) {
            const auto alt = t["alternative_type"].value<std::string>();
            const auto alt_code = alt ? tools::parse_type(*alt) : std::nullopt;
            if (!alt_code) {
                fail(where, "unknown alternative type");
                return std::nullopt;
            }
            if (s.header_version != 3) {
                fail(where, "only a version-3 header carries records (alternative_type)");
                return std::nullopt;
            }
            s.alternative_type = alt_code;
        }
        return s;
    }

private:
    std::string path_;
    std::filesystem::path dir_;
};

}  // namespace

std::optional<manifest> read_manifest(const std::string& path) {
    const reader r(path);
    toml::table doc;
    try {
        doc = toml::parse_file(path);
    } catch (const toml::parse_error& e) {
        const auto& at = e.source().begin;
        r.fail("line " + std::to_string(at.line) + ", column " + std::to_string(at.column),
               std::string(e.description()));
        return std::nullopt;
    }
    if (!r.only_keys(doc, "", {"subimage", "sign"})) {
        return std::nullopt;
    }
    manifest m;
    const auto* list = doc["subimage"].as_array();
    if (list == nullptr || list->empty()) {
        r.fail("", "wants at least one [[subimage]]");
        return std::nullopt;
    }
    for (std::size_t i = 0; i < list->size(); ++i) {
        const std::string where = "subimage " + std::to_string(i);
        const auto* table = (*list)[i].as_table();
        if (table == nullptr) {
            r.fail(where, "is not a table");
            return std::nullopt;
        }
        auto s = r.subimage(*table, where);
        if (!s) {
            return std::nullopt;
        }
        m.subimages.push_back(std::move(*s));
    }
    if (doc.contains("sign")) {
        const auto* sign = doc["sign"].as_table();
        if (sign == nullptr || !r.only_keys(*sign, "sign", {"key", "passin"})) {
            return sign ? std::nullopt : (r.fail("sign", "is not a table"), std::nullopt);
        }
        const auto key = (*sign)["key"].value<std::string>();
        if (!key) {
            r.fail("sign", "wants key, the private key file");
            return std::nullopt;
        }
        m.key = key->starts_with("pkcs11:") ? *key : r.resolve(*key);
        if (sign->contains("passin")) {
            const auto passin = (*sign)["passin"].value<std::string>();
            m.passin = passin ? parse_passin(*passin) : std::nullopt;
            if (!m.passin) {
                r.fail("sign", "passin takes pass:TEXT, env:VAR, file:PATH or stdin");
                return std::nullopt;
            }
        }
    }
    return m;
}

}  // namespace imgtool
