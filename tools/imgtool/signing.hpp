// Signing version-3 sub-images with a private key (OpenSSL's libcrypto; the boot manager only
// ever verifies).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

struct evp_pkey_st;

namespace imgtool {

class private_key {
public:
    // Reads a PEM private key; on failure says why on standard error.
    static std::optional<private_key> load(const std::string& path);

    // RSASSA-PKCS1-v1_5 over SHA-256 of data.
    std::optional<std::vector<std::uint8_t>> sign(std::span<const std::uint8_t> data) const;

private:
    explicit private_key(evp_pkey_st* key);
    std::shared_ptr<evp_pkey_st> key_;
};

// The sub-image with its signature records replaced by one signature over its payload, the
// lengths and CRC fixed. Nothing for a header that is not version 3 or whose records do not
// walk cleanly.
std::optional<std::vector<std::uint8_t>> sign_subimage(std::span<const std::uint8_t> subimage,
                                                       const private_key& key);

}  // namespace imgtool
