#include "signing.hpp"

#include <openssl/evp.h>
#include <openssl/pem.h>

#include <cstdio>

#include "image/byte_order.hpp"
#include "image/header.hpp"
#include "image/records.hpp"
#include "image/writer.hpp"

namespace imgtool {

private_key::private_key(evp_pkey_st* key) : key_(key, EVP_PKEY_free) {}

std::optional<private_key> private_key::load(const std::string& path) {
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "r"),
                                                         std::fclose);
    if (!file) {
        std::fprintf(stderr, "imgtool: cannot open key %s\n", path.c_str());
        return std::nullopt;
    }
    EVP_PKEY* key = PEM_read_PrivateKey(file.get(), nullptr, nullptr, nullptr);
    if (key == nullptr || EVP_PKEY_base_id(key) != EVP_PKEY_RSA) {
        EVP_PKEY_free(key);
        std::fprintf(stderr, "imgtool: %s holds no RSA private key\n", path.c_str());
        return std::nullopt;
    }
    return private_key(key);
}

std::optional<std::vector<std::uint8_t>> private_key::sign(
    std::span<const std::uint8_t> data) const {
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx(EVP_MD_CTX_new(), EVP_MD_CTX_free);
    std::size_t length = 0;
    if (!ctx || EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key_.get()) != 1 ||
        EVP_DigestSign(ctx.get(), nullptr, &length, data.data(), data.size()) != 1) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> signature(length);
    if (EVP_DigestSign(ctx.get(), signature.data(), &length, data.data(), data.size()) != 1) {
        return std::nullopt;
    }
    signature.resize(length);
    return signature;
}

std::optional<std::vector<std::uint8_t>> sign_subimage(std::span<const std::uint8_t> subimage,
                                                       const private_key& key) {
    if (subimage.size() < image::header_probe_size ||
        image::load_be32(subimage.data() + 16) != image::hdr3_magic) {
        return std::nullopt;
    }
    const std::size_t header_length = image::load_be16(subimage.data() + 22);
    if (header_length < image::v3_records_offset || header_length > subimage.size()) {
        return std::nullopt;
    }
    const auto payload = subimage.subspan(header_length);
    const auto signature = key.sign(payload);
    if (!signature) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> out(subimage.begin(), subimage.begin() + image::v3_records_offset);
    image::record_walk walk(subimage.first(header_length));
    while (const auto record = walk.next()) {
        if (record->type == image::record_signature) {
            continue;
        }
        const std::size_t at = out.size();
        out.resize(at + 4);
        image::store_be16(out.data() + at, record->type);
        image::store_be16(out.data() + at + 2, static_cast<std::uint16_t>(4 + record->body.size()));
        out.insert(out.end(), record->body.begin(), record->body.end());
    }
    if (walk.end() != image::record_end::complete) {
        return std::nullopt;
    }
    const std::size_t at = out.size();
    out.resize(at + 6);
    image::store_be16(out.data() + at, image::record_signature);
    image::store_be16(out.data() + at + 2, static_cast<std::uint16_t>(6 + signature->size()));
    image::store_be16(out.data() + at + 4, static_cast<std::uint16_t>(signature->size()));
    out.insert(out.end(), signature->begin(), signature->end());
    if (out.size() > UINT16_MAX) {
        return std::nullopt;
    }
    image::store_be16(out.data() + 22, static_cast<std::uint16_t>(out.size()));
    out.insert(out.end(), payload.begin(), payload.end());
    if (out.size() - image::header_common_size > UINT32_MAX) {
        return std::nullopt;
    }
    image::store_be32(out.data() + 4,
                      static_cast<std::uint32_t>(out.size() - image::header_common_size));
    image::seal_subimage(out);
    return out;
}

}  // namespace imgtool
