#include "token_key.hpp"

#include <libp11.h>
#include <openssl/crypto.h>
#include <openssl/ui.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <vector>

#include "signing.hpp"

namespace imgtool {
namespace {

struct token_uri {
    std::optional<std::string> object;
    std::optional<std::vector<unsigned char>> id;
    std::optional<std::string> token;
    std::optional<std::string> pin;
    std::optional<std::string> pin_source;
    std::optional<std::string> module;
    std::string name;  // without the PIN
};

int hex_digit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    c = static_cast<char>(c | 0x20);
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::optional<std::string> percent_decoded(std::string_view text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        if (i + 2 >= text.size()) {
            return std::nullopt;
        }
        const int high = hex_digit(text[i + 1]);
        const int low = hex_digit(text[i + 2]);
        if (high < 0 || low < 0) {
            return std::nullopt;
        }
        out += static_cast<char>(high << 4 | low);
        i += 2;
    }
    return out;
}

// Path attributes are split by ';', query attributes (after '?') by '&'; OpenSSL's tools take
// the PIN in either.
std::optional<token_uri> parse_uri(const std::string& uri) {
    token_uri parsed;
    const std::string_view body = std::string_view(uri).substr(7);
    std::vector<std::string_view> shown;
    std::size_t at = 0;
    bool query = false;
    while (at <= body.size()) {
        const char separator = query ? '&' : ';';
        std::size_t end = body.find_first_of(query ? "&" : ";?", at);
        if (end == std::string_view::npos) {
            end = body.size();
        }
        const std::string_view attribute = body.substr(at, end - at);
        const bool starts_query = end < body.size() && body[end] == '?' && separator == ';';
        at = end + 1;
        if (attribute.empty()) {
            if (starts_query) {
                query = true;
            }
            continue;
        }
        const auto equals = attribute.find('=');
        const auto value = equals == std::string_view::npos
                               ? std::nullopt
                               : percent_decoded(attribute.substr(equals + 1));
        if (!value) {
            std::fprintf(stderr, "imgtool: pkcs11: '%s' is no attribute=value\n",
                         std::string(attribute.substr(0, attribute.find('='))).c_str());
            return std::nullopt;
        }
        const std::string_view key = attribute.substr(0, equals);
        if (key == "pin-value") {
            parsed.pin = *value;
        } else {
            shown.push_back(attribute);
            if (key == "object") {
                parsed.object = *value;
            } else if (key == "id") {
                parsed.id.emplace(value->begin(), value->end());
            } else if (key == "token") {
                parsed.token = *value;
            } else if (key == "pin-source") {
                parsed.pin_source = *value;
            } else if (key == "module-path") {
                parsed.module = *value;
            } else if (key != "type") {
                std::fprintf(stderr,
                             "imgtool: pkcs11: unknown attribute '%s' (object, id, token, type, "
                             "pin-value, pin-source, module-path)\n",
                             std::string(key).c_str());
                return std::nullopt;
            }
        }
        if (starts_query) {
            query = true;
        }
    }
    parsed.name = "pkcs11:";
    for (std::size_t i = 0; i < shown.size(); ++i) {
        parsed.name += (i ? ";" : "") + std::string(shown[i]);
    }
    if (!parsed.object && !parsed.id) {
        std::fprintf(stderr, "imgtool: %s names no key: give object=LABEL or id=\n",
                     parsed.name.c_str());
        return std::nullopt;
    }
    return parsed;
}

std::string default_module() {
    if (const char* env = std::getenv("PKCS11_MODULE_PATH"); env && *env) {
        return env;
    }
    for (const char* proxy : {IMGTOOL_P11KIT_PROXY, "/usr/lib/p11-kit-proxy.so"}) {
        if (std::filesystem::exists(proxy)) {
            return proxy;
        }
    }
    return {};
}

struct open_module {
    PKCS11_CTX* ctx = nullptr;
    PKCS11_SLOT* slots = nullptr;
    unsigned int count = 0;
    bool loaded = false;

    ~open_module() {
        if (slots) {
            PKCS11_release_all_slots(ctx, slots, count);
        }
        if (loaded) {
            PKCS11_CTX_unload(ctx);
        }
        if (ctx) {
            PKCS11_CTX_free(ctx);
        }
    }
};

std::optional<std::string> read_pin(const token_uri& uri, const token_key_request& request,
                                    const std::string& token) {
    if (uri.pin) {
        return uri.pin;
    }
    if (uri.pin_source) {
        const std::string& source = *uri.pin_source;
        return resolve_passin(source.starts_with("file:") ? source : "file:" + source);
    }
    if (request.passin) {
        return resolve_passin(*request.passin);
    }
    if (::isatty(STDIN_FILENO)) {
        char text[256];
        const std::string prompt = "Enter PIN for token " + token + ":";
        std::optional<std::string> pin;
        if (EVP_read_pw_string(text, sizeof text, prompt.c_str(), 0) == 0) {
            pin = text;
        }
        OPENSSL_cleanse(text, sizeof text);
        return pin;
    }
    std::fprintf(stderr, "imgtool: token %s wants a PIN: give pin-value= in %s or --passin\n",
                 token.c_str(), uri.name.c_str());
    return std::nullopt;
}

bool same_id(const PKCS11_KEY& key, const std::vector<unsigned char>& id) {
    return key.id_len == id.size() && std::memcmp(key.id, id.data(), id.size()) == 0;
}

}  // namespace

bool is_token_uri(std::string_view key) {
    return key.starts_with("pkcs11:");
}

std::optional<token_key> load_token_key(const token_key_request& request) {
    auto uri = parse_uri(request.uri);
    if (!uri) {
        return std::nullopt;
    }
    const std::string module = !request.module.empty() ? request.module
                               : uri->module           ? *uri->module
                                                       : default_module();
    if (module.empty()) {
        std::fprintf(stderr,
                     "imgtool: %s: no PKCS#11 module: give --pkcs11-module PATH or set "
                     "PKCS11_MODULE_PATH\n",
                     uri->name.c_str());
        return std::nullopt;
    }
    // libp11 would print the loader's own complaint first.
    if (!std::filesystem::exists(module)) {
        std::fprintf(stderr, "imgtool: %s: no PKCS#11 module at %s\n", uri->name.c_str(),
                     module.c_str());
        return std::nullopt;
    }
    auto open = std::make_shared<open_module>();
    open->ctx = PKCS11_CTX_new();
    if (!open->ctx || PKCS11_CTX_load(open->ctx, module.c_str()) != 0) {
        std::fprintf(stderr, "imgtool: cannot load the PKCS#11 module %s\n", module.c_str());
        return std::nullopt;
    }
    open->loaded = true;
    if (PKCS11_enumerate_slots(open->ctx, &open->slots, &open->count) != 0) {
        std::fprintf(stderr, "imgtool: the PKCS#11 module %s lists no slots\n", module.c_str());
        return std::nullopt;
    }
    PKCS11_SLOT* slot = PKCS11_find_token(open->ctx, open->slots, open->count);
    while (slot && uri->token && std::string_view(slot->token->label) != *uri->token) {
        slot = PKCS11_find_next_token(open->ctx, open->slots, open->count, slot);
    }
    if (!slot) {
        std::fprintf(stderr, "imgtool: %s: the PKCS#11 module %s has no token%s%s\n",
                     uri->name.c_str(), module.c_str(), uri->token ? " labelled " : "",
                     uri->token ? uri->token->c_str() : "");
        return std::nullopt;
    }
    PKCS11_TOKEN* const token = slot->token;
    const std::string label = token->label;
    if (PKCS11_open_session(slot, 0) != 0) {
        std::fprintf(stderr, "imgtool: cannot open a session with token %s\n", label.c_str());
        return std::nullopt;
    }
    if (token->loginRequired) {
        auto pin = read_pin(*uri, request, label);
        if (!pin) {
            return std::nullopt;
        }
        const int failed = PKCS11_login(slot, 0, pin->c_str());
        wipe(*pin);
        if (uri->pin) {
            wipe(*uri->pin);
        }
        if (failed) {
            std::fprintf(stderr, "imgtool: cannot log in to token %s: wrong PIN?\n", label.c_str());
            return std::nullopt;
        }
    }
    PKCS11_KEY* keys = nullptr;
    unsigned int count = 0;
    if (PKCS11_enumerate_keys(token, &keys, &count) != 0) {
        count = 0;
    }
    for (unsigned int i = 0; i < count; ++i) {
        const PKCS11_KEY& key = keys[i];
        if ((uri->object && (!key.label || *uri->object != key.label)) ||
            (uri->id && !same_id(key, *uri->id))) {
            continue;
        }
        EVP_PKEY* const pkey = PKCS11_get_private_key(&keys[i]);
        if (!pkey) {
            break;
        }
        return token_key{open, pkey, uri->name};
    }
    std::fprintf(stderr, "imgtool: token %s holds no private key that %s names\n", label.c_str(),
                 uri->name.c_str());
    return std::nullopt;
}

}  // namespace imgtool
