// The sample keys, and the library set up as start-up leaves it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "crypto/base64.hpp"
#include "hex.hpp"
#include "scratch.hpp"

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

}  // namespace sectest
