#include "signer.hpp"

#include <unistd.h>

#include <array>
#include <cstdio>
#include <stdexcept>

#include "platform/files.hpp"

namespace sectest {

// The openssl command rather than its library: the board tests also run in the cross build,
// whose tool chain has no libcrypto.
std::vector<std::uint8_t> openssl(const std::string& arguments,
                                  const std::vector<std::uint8_t>& input) {
    std::string path = "/tmp/openssl-in-XXXXXX";
    const platform::unique_fd fd(mkstemp(path.data()));
    const bool written = fd.get() >= 0 && write(fd.get(), input.data(), input.size()) ==
                                              static_cast<ssize_t>(input.size());
    const std::string command = "openssl " + arguments + " <'" + path + "'";
    FILE* const pipe = written ? popen(command.c_str(), "r") : nullptr;
    std::vector<std::uint8_t> output;
    std::array<std::uint8_t, 512> buffer{};
    for (std::size_t n = 0;
         pipe != nullptr && (n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0;) {
        output.insert(output.end(), buffer.begin(), buffer.begin() + static_cast<long>(n));
    }
    const bool ok = pipe != nullptr && pclose(pipe) == 0;
    unlink(path.c_str());
    if (!ok) {
        throw std::runtime_error(command + " failed");
    }
    return output;
}

std::vector<std::uint8_t> sign(const std::string& key, const std::vector<std::uint8_t>& data) {
    return openssl(
        "dgst -sha256 -sign " + std::string(BM_SECURITY_KEYS) + "/sample_" + key + "_key.pem",
        data);
}

namespace {

void put16(std::vector<std::uint8_t>& out, std::size_t offset, std::size_t value) {
    out[offset] = static_cast<std::uint8_t>(value >> 8);
    out[offset + 1] = static_cast<std::uint8_t>(value);
}

void put32(std::vector<std::uint8_t>& out, std::size_t offset, std::size_t value) {
    put16(out, offset, value >> 16);
    put16(out, offset + 2, value & 0xFFFF);
}

}  // namespace

std::vector<std::uint8_t> v3_sub_image(const std::vector<std::uint8_t>& payload,
                                       const std::vector<std::vector<std::uint8_t>>& signatures) {
    std::vector<std::uint8_t> out(24, 0);
    for (const auto& signature : signatures) {
        const std::size_t at = out.size();
        out.resize(at + 6 + signature.size());
        put16(out, at, 3);
        put16(out, at + 2, 6 + signature.size());
        put16(out, at + 4, signature.size());
        std::copy(signature.begin(), signature.end(), out.begin() + at + 6);
    }
    const std::size_t header_length = out.size();
    out.insert(out.end(), payload.begin(), payload.end());
    put32(out, 4, out.size() - 16);
    put32(out, 8, 0x03706774);
    put32(out, 12, 0x01020304);
    put32(out, 16, 0x48445233);
    put16(out, 22, header_length);
    return out;
}

std::vector<std::uint8_t> signed_sub_image(const std::string& key,
                                           const std::vector<std::uint8_t>& payload) {
    return v3_sub_image(payload, {sign(key, payload)});
}

}  // namespace sectest
