// A release described in one reviewed TOML file instead of a long build command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace imgtool {

struct manifest_subimage {
    std::uint32_t type;
    std::uint32_t version;
    std::uint8_t header_version = 3;
    std::optional<std::uint32_t> alternative_type;
    std::string payload;  // relative paths resolved against the manifest's directory
};

struct manifest {
    std::vector<manifest_subimage> subimages;
    std::optional<std::string> key;     // [sign] key, resolved like the payloads
    std::optional<std::string> passin;  // [sign] passin, as --passin takes it
};

// Nothing, with the file, the entry and the reason on standard error, when the file cannot be
// read, is not TOML or holds anything build would not take, unknown keys included.
std::optional<manifest> read_manifest(const std::string& path);

}  // namespace imgtool
