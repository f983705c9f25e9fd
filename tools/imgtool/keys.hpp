// Public keys as verify and info take them: checked with the boot manager's own code.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace imgtool {

struct public_key {
    std::string path;
    std::vector<std::uint8_t> text;
    bool sample = false;  // one of the repository's sample keys
};

// Starts the crypto library (its Base64 tables) once; says so when it cannot.
bool start_crypto();

// On failure says why on standard error.
std::optional<public_key> load_public_key(const std::string& path);

// The first key whose check of the signature over the payload's SHA-256 succeeds, or nothing.
const public_key* accepting_key(const std::array<std::uint8_t, 32>& payload_sha256,
                                std::span<const std::uint8_t> signature,
                                const std::vector<public_key>& keys);

}  // namespace imgtool
