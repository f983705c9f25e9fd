#include "keys.hpp"

#include <cstdio>

#include "crypto/crypto.hpp"
#include "files.hpp"
#include "sample_keys.hpp"
#include "security/imgsign.hpp"
#include "subimage_checks.hpp"

namespace imgtool {

bool start_crypto() {
    static const bool started = CRYPTO_initLibrary() >= 0;
    if (!started) {
        std::fprintf(stderr, "imgtool: the crypto library did not start\n");
    }
    return started;
}

std::optional<public_key> load_public_key(const std::string& path) {
    public_key key{path, {}};
    auto text = read_whole_file(path);
    if (!text) {
        return std::nullopt;
    }
    key.text = std::move(*text);
    if (CA_MGMT_convertPublicKey(key.text.data(), static_cast<std::uint32_t>(key.text.size()),
                                 nullptr) < 0) {
        std::fprintf(stderr, "imgtool: %s holds no public key\n", path.c_str());
        return std::nullopt;
    }
    key.sample = is_sample_key(key.text);
    return key;
}

const public_key* accepting_key(const std::array<std::uint8_t, 32>& payload_sha256,
                                std::span<const std::uint8_t> signature,
                                const std::vector<public_key>& keys) {
    for (const auto& key : keys) {
        if (tools::key_verifies(payload_sha256, signature, key.text)) {
            return &key;
        }
    }
    return nullptr;
}

}  // namespace imgtool
