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

// Fills the record with the key of path (PRODUCTION_KEY_PATH or DEVELOPMENT_KEY_PATH; any other
// path gives 0). A unit without a serial number uses the built-in key and writes no file, with a
// warning. Otherwise the file is created from the built-in key when missing, and rewritten (the
// record then holds the built-in key, "Updating system ... key...." on the console) when its
// plaintext is not exactly that key. 1 loaded; 0 when the file is missing after that, larger
// than SYSTEM_KEY_FILE_MAX (both said on the console) or cannot be opened. On 1 the record holds
// an empty text after a failed decryption, which has deleted the key files.
int load_system_key(system_key* record, const char* path);
// 1 when both keys load (load_system_key for each, with its repairs and messages).
int check_system_keys();
// Encrypts the plaintext under the key material and writes it to path (created or truncated).
// 1 written, 0 when the encryption fails or the file cannot be created ("ERROR creating file"
// on the console). A short write is not detected.
int write_key_file(std::span<const std::uint8_t> plaintext, const char* path,
                   std::span<const std::uint8_t> key_material);
// AES-128-CBC under the unit key made from key_material (its first 16 bytes, zero-padded), zero
// vector; the plaintext zero-padded to whole blocks. out_length receives the ciphertext length.
// Nothing when the cipher fails (said on the console).
std::optional<std::vector<std::uint8_t>> imgsign_encrypt(std::span<const std::uint8_t> key_material,
                                                         std::span<const std::uint8_t> plaintext,
                                                         std::uint32_t* out_length);
// The plaintext, as long as the ciphertext; text_length receives the bytes before the first
// zero. Nothing for a length that is not whole blocks or a cipher failure: the reason is said on
// the console and every .pem file on /user is deleted (the next load writes the keys again).
std::optional<std::vector<std::uint8_t>> imgsign_decrypt(std::span<const std::uint8_t> key_material,
                                                         std::span<const std::uint8_t> ciphertext,
                                                         std::uint32_t* text_length);
// imgsign_decrypt for tools: the same plaintext, but silent and touching no file on failure.
std::optional<std::vector<std::uint8_t>> decrypt_key_text(
    std::span<const std::uint8_t> key_material, std::span<const std::uint8_t> ciphertext,
    std::uint32_t* text_length);
