// Private keys that never leave a hardware token, reached through a PKCS#11 module (libp11).
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

struct evp_pkey_st;

namespace imgtool {

// The key a PKCS#11 URI names (object=, id=, token=, pin-value=, pin-source=, module-path=).
struct token_key_request {
    std::string uri;                    // as given, PIN included
    std::string module;                 // --pkcs11-module, empty when not given
    std::optional<std::string> passin;  // the PIN's source when the URI holds none
};

struct token_key {
    std::shared_ptr<void> session;  // module, slots and login: outlives `key`
    evp_pkey_st* key = nullptr;     // owned by the caller once returned
    std::string name;               // the URI without its PIN, for messages
};

bool is_token_uri(std::string_view key);

// Opens the token, logs in and finds the private key; on failure says why on standard error.
std::optional<token_key> load_token_key(const token_key_request& request);

}  // namespace imgtool
