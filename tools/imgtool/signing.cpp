#include "signing.hpp"

#include <openssl/evp.h>
#include <openssl/pem.h>
#include <unistd.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>

#include "image/byte_order.hpp"
#include "image/crc.hpp"
#include "image/header.hpp"
#include "image/records.hpp"
#include "token_key.hpp"

namespace imgtool {
namespace {

// The switch holds RSA keys with 2048-bit moduli: any other signature can never verify there.
constexpr int board_key_bits = 2048;

std::optional<std::string> first_line(std::istream& in) {
    std::string line;
    if (!std::getline(in, line)) {
        return std::nullopt;
    }
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return line;
}

}  // namespace

std::optional<std::string> resolve_passin(const std::string& passin) {
    const std::string_view source(passin);
    if (source.starts_with("pass:")) {
        return std::string(source.substr(5));
    }
    if (source.starts_with("env:")) {
        const char* value = std::getenv(passin.c_str() + 4);
        if (value == nullptr) {
            std::fprintf(stderr, "imgtool: --passin %s: %s is not set\n", passin.c_str(),
                         passin.c_str() + 4);
            return std::nullopt;
        }
        return value;
    }
    std::optional<std::string> line;
    if (source.starts_with("file:")) {
        std::ifstream in(passin.substr(5));
        line = first_line(in);
    } else {
        line = first_line(std::cin);
    }
    if (!line) {
        std::fprintf(stderr, "imgtool: --passin %s: no pass phrase to read\n", passin.c_str());
    }
    return line;
}

namespace {

struct phrase_request {
    const std::string& path;
    const std::optional<std::string>& passin;
    std::optional<std::string> phrase;  // kept: the decoder may ask more than once
    bool asked = false;
};

int pass_phrase(char* buf, int size, int, void* user) {
    auto& request = *static_cast<phrase_request*>(user);
    if (!request.asked) {
        request.asked = true;
        if (request.passin) {
            request.phrase = resolve_passin(*request.passin);
        } else if (::isatty(STDIN_FILENO)) {
            char text[1024];
            const std::string prompt = "Enter pass phrase for " + request.path + ":";
            if (EVP_read_pw_string(text, sizeof text, prompt.c_str(), 0) == 0) {
                request.phrase = text;
            }
            OPENSSL_cleanse(text, sizeof text);
        } else {
            std::fprintf(stderr, "imgtool: %s is encrypted: give its pass phrase with --passin\n",
                         request.path.c_str());
        }
    }
    if (!request.phrase || request.phrase->size() > static_cast<std::size_t>(size)) {
        return -1;
    }
    request.phrase->copy(buf, request.phrase->size());
    return static_cast<int>(request.phrase->size());
}

}  // namespace

// The header's bytes are known only once the payload behind them has been signed, so its CRC
// is joined to the payload's afterwards.
std::uint32_t crc_of_both(std::uint32_t crc_a, std::uint32_t crc_b, std::uint64_t length_b) {
    return ~static_cast<std::uint32_t>(
        crc32_combine64(~crc_a, ~crc_b, static_cast<z_off64_t>(length_b)));
}

void wipe(std::string& secret) {
    OPENSSL_cleanse(secret.data(), secret.size());
}

std::optional<std::string> parse_passin(std::string_view text) {
    if (text.starts_with("pass:") || text.starts_with("env:") || text.starts_with("file:") ||
        text == "stdin") {
        return std::string(text);
    }
    return std::nullopt;
}

private_key::private_key(evp_pkey_st* key, std::string path, std::shared_ptr<void> token)
    : token_(std::move(token)), key_(key, EVP_PKEY_free), path_(std::move(path)) {}

namespace {

// The size check of every key, whether read from a file or a token.
std::optional<private_key> board_key(EVP_PKEY* key, const std::string& name,
                                     const std::function<private_key(EVP_PKEY*)>& make) {
    if (EVP_PKEY_base_id(key) != EVP_PKEY_RSA) {
        EVP_PKEY_free(key);
        std::fprintf(stderr, "imgtool: %s holds no RSA private key\n", name.c_str());
        return std::nullopt;
    }
    if (const int bits = EVP_PKEY_get_bits(key); bits != board_key_bits) {
        EVP_PKEY_free(key);
        std::fprintf(stderr,
                     "imgtool: %s is a %d-bit RSA key: the switch verifies signatures with "
                     "%d-bit RSA keys only\n",
                     name.c_str(), bits, board_key_bits);
        return std::nullopt;
    }
    return make(key);
}

}  // namespace

std::optional<private_key> private_key::load(const std::string& path,
                                             const std::optional<std::string>& passin,
                                             const std::string& module) {
    if (is_token_uri(path)) {
        auto found = load_token_key({path, module, passin});
        if (!found) {
            return std::nullopt;
        }
        return board_key(found->key, found->name, [&](EVP_PKEY* key) {
            return private_key(key, found->name, found->session);
        });
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "r"),
                                                         std::fclose);
    if (!file) {
        std::fprintf(stderr, "imgtool: cannot open key %s\n", path.c_str());
        return std::nullopt;
    }
    phrase_request request{path, passin, {}};
    EVP_PKEY* key = PEM_read_PrivateKey(file.get(), nullptr, pass_phrase, &request);
    if (request.phrase) {
        wipe(*request.phrase);
    }
    if (key == nullptr && request.phrase) {
        std::fprintf(stderr, "imgtool: cannot decrypt %s: wrong pass phrase?\n", path.c_str());
        return std::nullopt;
    }
    if (key == nullptr) {
        if (!request.asked || request.phrase) {
            std::fprintf(stderr, "imgtool: %s holds no RSA private key\n", path.c_str());
        }
        return std::nullopt;
    }
    return board_key(key, path, [&](EVP_PKEY* k) { return private_key(k, path); });
}

std::size_t private_key::signature_size() const {
    return static_cast<std::size_t>(EVP_PKEY_get_size(key_.get()));
}

bool write_subimage(output_file& out, std::vector<std::uint8_t> header,
                    const payload_source& payload, const private_key* key,
                    std::uint32_t* payload_crc_out) {
    const bool v3 = header.size() >= image::v3_records_offset &&
                    image::load_be32(header.data() + 16) == image::hdr3_magic;
    const bool v2 = !v3 && (image::load_be32(header.data() + 8) & image::type_v2_flag);
    std::size_t signature_at = 0;
    std::size_t signature_size = 0;
    if (key && v3) {
        signature_size = key->signature_size();
        signature_at = header.size() + 6;
        const std::size_t at = header.size();
        header.resize(signature_at + signature_size);
        image::store_be16(header.data() + at, image::record_signature);
        image::store_be16(header.data() + at + 2, static_cast<std::uint16_t>(6 + signature_size));
        image::store_be16(header.data() + at + 4, static_cast<std::uint16_t>(signature_size));
    }
    if (v3 && header.size() > UINT16_MAX) {
        std::fprintf(stderr, "imgtool: %s: the header records pass 64 KiB\n", payload.path.c_str());
        return false;
    }
    const std::uint64_t total = header.size() + payload.length;
    if (total > UINT32_MAX) {
        std::fprintf(stderr,
                     "imgtool: %s is %llu bytes: a sub-image's 32-bit length field describes at "
                     "most %u bytes, header included\n",
                     payload.path.c_str(), static_cast<unsigned long long>(payload.length),
                     UINT32_MAX);
        return false;
    }
    if (v3) {
        image::store_be16(header.data() + 22, static_cast<std::uint16_t>(header.size()));
        image::store_be32(header.data() + 4,
                          static_cast<std::uint32_t>(total - image::header_common_size));
    } else {
        image::store_be32(header.data() + 4, static_cast<std::uint32_t>(payload.length));
        if (v2) {
            image::store_be16(header.data() + 18, static_cast<std::uint16_t>(header.size()));
        }
    }

    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> ctx(nullptr, EVP_MD_CTX_free);
    if (signature_size) {
        ctx.reset(EVP_MD_CTX_new());
        if (!ctx ||
            EVP_DigestSignInit(ctx.get(), nullptr, EVP_sha256(), nullptr, key->get()) != 1) {
            std::fprintf(stderr, "imgtool: cannot sign with %s\n", key->path().c_str());
            return false;
        }
    }
    const std::uint64_t start = out.size();
    if (!out.append(header)) {
        return false;
    }
    std::uint32_t payload_crc = image::crc_initial;
    bool signed_ok = true;
    if (!read_chunks(payload.fd, payload.offset, payload.length, payload.path, [&](auto chunk) {
            payload_crc = image::image_crc(chunk, payload_crc);
            if (ctx) {
                signed_ok =
                    signed_ok && EVP_DigestSignUpdate(ctx.get(), chunk.data(), chunk.size()) == 1;
            }
            return out.append(chunk);
        })) {
        return false;
    }
    if (ctx) {
        std::size_t length = signature_size;
        if (!signed_ok ||
            EVP_DigestSignFinal(ctx.get(), header.data() + signature_at, &length) != 1 ||
            length != signature_size) {
            std::fprintf(stderr, "imgtool: cannot sign %s with %s\n", payload.path.c_str(),
                         key->path().c_str());
            return false;
        }
    }
    const std::uint32_t header_crc =
        image::image_crc(std::span(header).subspan(4), image::crc_initial);
    if (payload_crc_out) {
        *payload_crc_out = payload_crc;
    }
    image::store_be32(header.data(), crc_of_both(header_crc, payload_crc, payload.length));
    return out.write_at(start, header);
}

std::optional<std::vector<std::uint8_t>> strip_signatures(std::span<const std::uint8_t> header) {
    std::vector<std::uint8_t> out(header.begin(), header.begin() + image::v3_records_offset);
    image::record_walk walk(header);
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
    return out;
}

}  // namespace imgtool
