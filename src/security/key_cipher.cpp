// Encryption and decryption of system key files under the unit key.
#include <algorithm>
#include <array>
#include <cstdio>

#include "crypto/mem.hpp"
#include "security/imgsign_aes.hpp"
#include "security/key_store.hpp"
#include "sys/shell.hpp"

namespace {

constexpr std::size_t kBlock = 16;

// The unit key: the key material over 16 zero bytes; wiped when it goes.
class UnitKey {
public:
    explicit UnitKey(std::span<const std::uint8_t> material) {
        std::copy_n(material.begin(), std::min(material.size(), bytes_.size()), bytes_.begin());
    }
    UnitKey(const UnitKey&) = delete;
    UnitKey& operator=(const UnitKey&) = delete;
    ~UnitKey() { MEM_set(bytes_.data(), 0, static_cast<std::int32_t>(bytes_.size())); }
    const std::uint8_t* data() const { return bytes_.data(); }

private:
    std::array<std::uint8_t, kBlock> bytes_{};
};

void delete_key_files() {
    sys::system_command("rm /user/*.pem");
}

}  // namespace

std::optional<std::vector<std::uint8_t>> imgsign_encrypt(std::span<const std::uint8_t> key_material,
                                                         std::span<const std::uint8_t> plaintext,
                                                         std::uint32_t* out_length) {
    const std::size_t padded = (plaintext.size() + kBlock - 1) / kBlock * kBlock;
    std::array<std::uint8_t, kBlock> iv{};
    const UnitKey key(key_material);
    std::vector<std::uint8_t> buffer(padded, 0);
    std::copy(plaintext.begin(), plaintext.end(), buffer.begin());
    AesContext* ctx = CreateAESCtx(key.data(), kBlock, 1);
    if (ctx == nullptr) {
        std::puts("CreateAESCtx(encrypt) failed!");
        return std::nullopt;
    }
    const CryptoStatus status =
        DoAES(ctx, buffer.data(), static_cast<std::int32_t>(padded), 1, iv.data());
    DeleteAESCtx(&ctx);
    if (status < 0) {
        std::printf("Do aes encryption failed. rc=%d", static_cast<int>(status));
        return std::nullopt;
    }
    *out_length = static_cast<std::uint32_t>(padded);
    return buffer;
}

namespace {

enum class decrypt_fault { none, length, context, cipher };

decrypt_fault cbc_decrypt(std::span<const std::uint8_t> key_material,
                          std::vector<std::uint8_t>& buffer, CryptoStatus& status) {
    if (buffer.size() % kBlock != 0) {
        return decrypt_fault::length;
    }
    std::array<std::uint8_t, kBlock> iv{};
    const UnitKey key(key_material);
    AesContext* ctx = CreateAESCtx(key.data(), kBlock, 0);
    if (ctx == nullptr) {
        return decrypt_fault::context;
    }
    status = DoAES(ctx, buffer.data(), static_cast<std::int32_t>(buffer.size()), 0, iv.data());
    DeleteAESCtx(&ctx);
    return status < 0 ? decrypt_fault::cipher : decrypt_fault::none;
}

std::uint32_t text_length_of(const std::vector<std::uint8_t>& buffer) {
    return static_cast<std::uint32_t>(std::find(buffer.begin(), buffer.end(), std::uint8_t{0}) -
                                      buffer.begin());
}

}  // namespace

std::optional<std::vector<std::uint8_t>> imgsign_decrypt(std::span<const std::uint8_t> key_material,
                                                         std::span<const std::uint8_t> ciphertext,
                                                         std::uint32_t* text_length) {
    std::vector<std::uint8_t> buffer(ciphertext.begin(), ciphertext.end());
    CryptoStatus status = OK;
    switch (cbc_decrypt(key_material, buffer, status)) {
        case decrypt_fault::none:
            *text_length = text_length_of(buffer);
            return buffer;
        case decrypt_fault::length:
            std::puts("Input data is not AES size correct");
            break;
        case decrypt_fault::context:
            std::printf("%s: CreateAESCtx(decrypt) failed!\n", "imgsign_decrypt");
            break;
        case decrypt_fault::cipher:
            std::printf("Do aes failed. rc=%d", static_cast<int>(status));
            break;
    }
    delete_key_files();
    return std::nullopt;
}

std::optional<std::vector<std::uint8_t>> decrypt_key_text(
    std::span<const std::uint8_t> key_material, std::span<const std::uint8_t> ciphertext,
    std::uint32_t* text_length) {
    std::vector<std::uint8_t> buffer(ciphertext.begin(), ciphertext.end());
    CryptoStatus status = OK;
    if (cbc_decrypt(key_material, buffer, status) != decrypt_fault::none) {
        return std::nullopt;
    }
    *text_length = text_length_of(buffer);
    return buffer;
}
