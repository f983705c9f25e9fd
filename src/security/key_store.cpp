#include "security/key_store.hpp"

#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "hw/i2c.hpp"
#include "security/builtin_keys.hpp"

namespace {

std::span<const std::uint8_t> builtin_key_for(const char* path) {
    const char* key = nullptr;
    if (std::strcmp(path, PRODUCTION_KEY_PATH) == 0) {
        key = builtin_production_key;
    } else if (std::strcmp(path, DEVELOPMENT_KEY_PATH) == 0) {
        key = builtin_development_key;
    }
    if (key == nullptr) {
        return {};
    }
    return {reinterpret_cast<const std::uint8_t*>(key), BUILTIN_KEY_SIZE};
}

void use_builtin(system_key* record, std::span<const std::uint8_t> builtin) {
    std::copy(builtin.begin(), builtin.end(), record->text.begin());
    record->length = BUILTIN_KEY_LENGTH;
}

// Size of the file, or nothing when it does not exist.
std::optional<std::uint64_t> file_size(const char* path) {
    struct stat st {};
    if (stat(path, &st) != 0) {
        return std::nullopt;
    }
    return static_cast<std::uint64_t>(st.st_size);
}

}  // namespace

int write_key_file(std::span<const std::uint8_t> plaintext, const char* path,
                   std::span<const std::uint8_t> key_material) {
    std::uint32_t length = 0;
    const auto ciphertext = imgsign_encrypt(key_material, plaintext, &length);
    if (!ciphertext) {
        return 0;
    }
    std::FILE* file = std::fopen(path, "wb");
    if (file == nullptr) {
        std::printf("ERROR creating file %s\n", path);
        return 0;
    }
    std::fwrite(ciphertext->data(), 1, length, file);
    std::fclose(file);
    return 1;
}

int load_system_key(system_key* record, const char* path) {
    if (record == nullptr) {
        return 0;
    }
    std::array<std::uint8_t, SERIAL_SIZE> serial{};
    std::memcpy(serial.data(), "quietlantern", SERIAL_SIZE);
    nvram_read_serial(serial.data());
    const auto builtin = builtin_key_for(path);
    if (std::all_of(serial.begin(), serial.end(), [](std::uint8_t b) { return b == 0; })) {
        std::puts("WARNING: Serial # not set on this unit. Built in keys must be used");
        if (builtin.empty()) {
            return 0;
        }
        use_builtin(record, builtin);
        return 1;
    }
    record->length = 0;
    if (builtin.empty()) {
        return 0;
    }
    if (!file_size(path)) {
        write_key_file(builtin, path, serial);
    }
    const auto size = file_size(path);
    if (!size) {
        std::puts("ERROR - unable to find system key");
        return 0;
    }
    if (*size > SYSTEM_KEY_FILE_MAX) {
        std::printf("ERROR loading key as length too long %d > %d\n", static_cast<int>(*size),
                    static_cast<int>(SYSTEM_KEY_FILE_MAX));
        return 0;
    }
    std::FILE* file = std::fopen(path, "rb");
    if (file == nullptr) {
        return 0;
    }
    const std::size_t read = std::fread(record->text.data(), 1, *size, file);
    std::fclose(file);
    record->length = static_cast<std::uint16_t>(read);

    std::uint32_t text_length = 0;
    const auto plaintext =
        imgsign_decrypt(serial, std::span(record->text.data(), record->length), &text_length);
    record->length = 0;
    if (plaintext) {
        std::copy(plaintext->begin(), plaintext->end(), record->text.begin());
        record->length = static_cast<std::uint16_t>(text_length);
    }
    // Only the whole built-in key is kept. An empty text or a prefix of the key (a file cut short
    // on a block boundary, by a power cut during its write) is rewritten like a foreign file:
    // kept, it would fail every verification with this key for good. A failed decryption has
    // already deleted the files and loads empty; the next load writes them again.
    const bool matches =
        !plaintext ||
        (record->length == BUILTIN_KEY_LENGTH &&
         std::equal(record->text.begin(), record->text.begin() + record->length, builtin.begin()));
    if (!matches) {
        std::puts(builtin.data() == reinterpret_cast<const std::uint8_t*>(builtin_production_key)
                      ? "Updating system key...."
                      : "Updating system development key....");
        write_key_file(builtin, path, serial);
        use_builtin(record, builtin);
    }
    return 1;
}

int check_system_keys() {
    system_key scratch{};
    return load_system_key(&scratch, PRODUCTION_KEY_PATH) == 1 &&
                   load_system_key(&scratch, DEVELOPMENT_KEY_PATH) == 1
               ? 1
               : 0;
}
