// Sub-images signed with OpenSSL and the sample private keys, as a release engineer makes them.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sectest {

// What `openssl ARGUMENTS` writes to standard output with input on its standard input.
std::vector<std::uint8_t> openssl(const std::string& arguments,
                                  const std::vector<std::uint8_t>& input);

// RSASSA-PKCS1-v1_5 SHA-256 signature of data with the sample key "production" or "development".
std::vector<std::uint8_t> sign(const std::string& key, const std::vector<std::uint8_t>& data);

// A sealed version-3 sub-image with one signature record per signature (none: no record).
std::vector<std::uint8_t> v3_sub_image(const std::vector<std::uint8_t>& payload,
                                       const std::vector<std::vector<std::uint8_t>>& signatures);
// A version-3 sub-image whose payload is signed with the named sample key.
std::vector<std::uint8_t> signed_sub_image(const std::string& key,
                                           const std::vector<std::uint8_t>& payload);

}  // namespace sectest
