// The system key store: the built-in public keys, kept on /user encrypted under the unit key
// (AES-128-CBC, key = the 12-byte serial number and four zero bytes, zero vector).
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

inline constexpr const char* PRODUCTION_KEY_PATH = "/user/production_key.pub.pem";
inline constexpr const char* DEVELOPMENT_KEY_PATH = "/user/development_key.pub.pem";
// Largest key file that is loaded.
inline constexpr std::uint32_t SYSTEM_KEY_FILE_MAX = 500;
inline constexpr std::size_t SERIAL_SIZE = 12;

struct system_key {
    std::uint16_t length;                // bytes of key text
    std::array<std::uint8_t, 512> text;  // PEM text, not necessarily terminated
};

// Fills the record from the key file, re-creating or rewriting the file from the built-in key
// when it is missing or differs. 1 loaded, 0 failed.
int load_system_key(system_key* record, const char* path);
// 1 when both keys load.
int check_system_keys();
// Encrypts the plaintext under the key material and writes it to path. 1 written, 0 failed.
int write_key_file(std::span<const std::uint8_t> plaintext, const char* path,
                   std::span<const std::uint8_t> key_material);
// Zero-padded to whole blocks; out_length receives the ciphertext length.
std::optional<std::vector<std::uint8_t>> imgsign_encrypt(std::span<const std::uint8_t> key_material,
                                                         std::span<const std::uint8_t> plaintext,
                                                         std::uint32_t* out_length);
// The plaintext, as long as the ciphertext; text_length receives the bytes before the first
// zero. Any failure deletes both key files.
std::optional<std::vector<std::uint8_t>> imgsign_decrypt(std::span<const std::uint8_t> key_material,
                                                         std::span<const std::uint8_t> ciphertext,
                                                         std::uint32_t* text_length);
// imgsign_decrypt for tools: the same plaintext, but silent and touching no file on failure.
std::optional<std::vector<std::uint8_t>> decrypt_key_text(
    std::span<const std::uint8_t> key_material, std::span<const std::uint8_t> ciphertext,
    std::uint32_t* text_length);
