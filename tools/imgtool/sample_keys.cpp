#include "sample_keys.hpp"

#include <cstring>
#include <optional>
#include <vector>

#include "crypto/ca_mgmt.hpp"

namespace imgtool {
namespace {

// The library's serialised form of the key: its exponent and modulus, free of the armour.
std::optional<std::vector<std::uint8_t>> key_blob(std::span<const std::uint8_t> text) {
    std::uint8_t* blob = nullptr;
    std::uint32_t length = 0;
    const auto size = static_cast<std::uint32_t>(text.size());
    if (CA_MGMT_pemPublicKeyToKeyBlob(text.data(), size, &blob, &length) < 0 &&
        CA_MGMT_publicKeyDerToKeyBlob(text.data(), size, &blob, &length) < 0) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> bytes(blob, blob + length);
    CA_MGMT_freeKeyBlob(&blob);
    return bytes;
}

std::span<const std::uint8_t> bytes_of(const char* text) {
    return {reinterpret_cast<const std::uint8_t*>(text), std::strlen(text)};
}

}  // namespace

bool is_sample_key(std::span<const std::uint8_t> key_text) {
    const auto key = key_blob(key_text);
    if (!key) {
        return false;
    }
    for (const char* sample : {sample_production_key_text, sample_development_key_text}) {
        if (key_blob(bytes_of(sample)) == key) {
            return true;
        }
    }
    return false;
}

}  // namespace imgtool
