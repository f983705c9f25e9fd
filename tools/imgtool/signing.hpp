// Writing sub-images, signed with a private key when asked (OpenSSL's libcrypto; the boot
// manager only ever verifies).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "files.hpp"

struct evp_pkey_st;

namespace imgtool {

// A --passin value as OpenSSL spells it: pass:TEXT, env:VAR, file:PATH or stdin. Nothing for
// any other form.
std::optional<std::string> parse_passin(std::string_view text);

// The pass phrase or PIN a --passin value names; says why on standard error when there is none.
std::optional<std::string> resolve_passin(const std::string& passin);

// Overwrites a pass phrase or PIN before its memory is given back.
void wipe(std::string& secret);

class private_key {
public:
    // Reads a PEM RSA-2048 private key, asking for the pass phrase of an encrypted one once
    // (from `passin` when given, else at the terminal); on failure says why on standard error.
    // A pkcs11: URI names a key in a token instead, reached through `module` (when empty,
    // PKCS11_MODULE_PATH or the p11-kit proxy); `passin` then gives the PIN.
    static std::optional<private_key> load(const std::string& path,
                                           const std::optional<std::string>& passin,
                                           const std::string& module = {});

    std::size_t signature_size() const;
    const std::string& path() const { return path_; }
    evp_pkey_st* get() const { return key_.get(); }

private:
    private_key(evp_pkey_st* key, std::string path, std::shared_ptr<void> token = {});
    std::shared_ptr<void> token_;  // the token's session: must outlive key_
    std::shared_ptr<evp_pkey_st> key_;
    std::string path_;
};

struct payload_source {
    int fd;
    std::uint64_t offset;
    std::uint64_t length;
    std::string path;  // for messages
};

// Appends one sub-image to `out`: `header` (whole but for its crc, lengths and, on version 3,
// signature records, which it must not hold) followed by the payload copied a chunk at a time.
// With a key, a signature record over the payload is added to a version-3 header. Says why on
// standard error when it fails, including a sub-image too large for the 32-bit length field.
// `payload_crc`, when given, receives the image CRC of the payload alone.
bool write_subimage(output_file& out, std::vector<std::uint8_t> header,
                    const payload_source& payload, const private_key* key,
                    std::uint32_t* payload_crc = nullptr);

// The image CRC of bytes A followed by bytes B, from the image CRC of each.
std::uint32_t crc_of_both(std::uint32_t crc_a, std::uint32_t crc_b, std::uint64_t length_b);

// The header without its signature records; nothing when its records do not walk cleanly.
std::optional<std::vector<std::uint8_t>> strip_signatures(std::span<const std::uint8_t> header);

}  // namespace imgtool
