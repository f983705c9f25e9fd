#include "signer.hpp"

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cstdio>
#include <memory>
#include <stdexcept>

#include "platform/files.hpp"

namespace sectest {

std::vector<std::uint8_t> sign(const std::string& key, const std::vector<std::uint8_t>& data) {
    const std::string path = std::string(BM_SECURITY_KEYS) + "/sample_" + key + "_key.pem";
    const platform::unique_file file = platform::open_file(path.c_str(), "r");
    if (!file) {
        throw std::runtime_error("no key " + path);
    }
    std::unique_ptr<EVP_PKEY, void (*)(EVP_PKEY*)> pkey(
        PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr), EVP_PKEY_free);
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    std::size_t length = 0;
    if (!pkey || EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, pkey.get()) != 1 ||
        EVP_DigestSign(ctx.get(), nullptr, &length, data.data(), data.size()) != 1) {
        throw std::runtime_error("signing failed");
    }
    std::vector<std::uint8_t> signature(length);
    EVP_DigestSign(ctx.get(), signature.data(), &length, data.data(), data.size());
    signature.resize(length);
    return signature;
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
