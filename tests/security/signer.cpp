#include "signer.hpp"

#include <stdexcept>

#include "image/writer.hpp"
#include "scratch.hpp"

namespace sectest {

// The openssl command rather than its library: the board tests also run in the cross build,
// whose tool chain has no libcrypto.
std::vector<std::uint8_t> openssl(const std::string& arguments,
                                  const std::vector<std::uint8_t>& input) {
    const testsupport::TempDir dir("openssl");
    std::ofstream(dir / "in", std::ios::binary)
        .write(reinterpret_cast<const char*>(input.data()),
               static_cast<std::streamsize>(input.size()));
    const std::string command = "openssl " + arguments + " <'" + (dir / "in").string() + "'";
    const auto result = testsupport::capture(command);
    if (result.status != 0) {
        throw std::runtime_error(command + " failed");
    }
    return {result.output.begin(), result.output.end()};
}

std::vector<std::uint8_t> sign(const std::string& key, const std::vector<std::uint8_t>& data) {
    return openssl(
        "dgst -sha256 -sign " + std::string(BM_SECURITY_KEYS) + "/sample_" + key + "_key.pem",
        data);
}

std::vector<std::uint8_t> v3_sub_image(const std::vector<std::uint8_t>& payload,
                                       const std::vector<std::vector<std::uint8_t>>& signatures) {
    image::subimage_layout layout{0x03706774, 0x01020304, 3, {}, payload};
    for (const auto& signature : signatures) {
        std::vector<std::uint8_t> body{static_cast<std::uint8_t>(signature.size() >> 8),
                                       static_cast<std::uint8_t>(signature.size())};
        body.insert(body.end(), signature.begin(), signature.end());
        layout.records.push_back({3, body});
    }
    return *image::make_subimage(layout);
}

std::vector<std::uint8_t> signed_sub_image(const std::string& key,
                                           const std::vector<std::uint8_t>& payload) {
    return v3_sub_image(payload, {sign(key, payload)});
}

}  // namespace sectest
