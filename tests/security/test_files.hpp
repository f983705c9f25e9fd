// The sample keys, and the library set up as start-up leaves it.
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "crypto/base64.hpp"
#include "hex.hpp"
#include "scratch.hpp"
#include "security/imgsign.hpp"

namespace sectest {

// What start-up does for the key decoding: the Base64 tables.
class CryptoLibrary : public testing::Environment {
public:
    void SetUp() override { ASSERT_EQ(BASE64_initializeContext(), OK); }
};
// gtest owns registered environments.
inline testing::Environment* const crypto_library =
    testing::AddGlobalTestEnvironment(new CryptoLibrary);

inline std::string sample_key(const std::string& name) {
    return testsupport::read_file(std::string(BM_SECURITY_KEYS) + "/" + name);
}

inline const std::uint8_t* bytes(const std::string& text) {
    return reinterpret_cast<const std::uint8_t*>(text.data());
}

// The switch's check of a signature over data: our SHA-256, then the verification against a
// key in PEM or DER. A hash length other than 0 is passed on instead of the digest's own.
inline CryptoStatus verify(const std::vector<std::uint8_t>& data,
                           const std::vector<std::uint8_t>& signature, const std::uint8_t* key,
                           std::size_t key_size, std::int32_t hash_length = 0) {
    std::array<std::uint8_t, 32> hash{};
    std::uint32_t length = 0;
    const std::uint8_t empty = 0;
    EXPECT_EQ(IMGSIGN_computeSHA256(data.empty() ? &empty : data.data(),
                                    static_cast<std::uint32_t>(data.size()), hash.data(), &length),
              OK);
    EXPECT_EQ(length, 32U);
    return IMGSIGN_verifySignature(
        hash.data(), hash_length != 0 ? hash_length : static_cast<std::int32_t>(length),
        signature.data(), static_cast<std::int32_t>(signature.size()), key,
        static_cast<std::uint32_t>(key_size));
}

}  // namespace sectest
