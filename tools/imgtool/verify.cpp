// imgtool verify: checks each sub-image's CRC and signature the way the boot manager does.
#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "crypto/crypto.hpp"
#include "files.hpp"
#include "image/byte_order.hpp"
#include "image/crc.hpp"
#include "image/header.hpp"
#include "names.hpp"
#include "sample_keys.hpp"
#include "security/imgsign.hpp"
#include "security/signed_range.hpp"
#include "subimages.hpp"
#include "verbs.hpp"

namespace imgtool {
namespace {

struct public_key {
    std::string path;
    std::vector<std::uint8_t> text;
    bool sample = false;
};

// The first key whose check of the signature succeeds, or nothing.
const public_key* verifying_key(const signed_range& range, const std::vector<public_key>& keys) {
    std::array<std::uint8_t, 32> hash{};
    std::uint32_t length = 0;
    static const std::uint8_t nothing = 0;
    if (IMGSIGN_computeSHA256(range.hashed.empty() ? &nothing : range.hashed.data(),
                              static_cast<std::uint32_t>(range.hashed.size()), hash.data(),
                              &length) != OK) {
        return nullptr;
    }
    for (const auto& key : keys) {
        if (IMGSIGN_verifySignature(
                hash.data(), static_cast<std::int32_t>(hash.size()), range.signature.data(),
                static_cast<std::int32_t>(range.signature.size()), key.text.data(),
                static_cast<std::uint32_t>(key.text.size())) == OK) {
            return &key;
        }
    }
    return nullptr;
}

// Prints the sub-image's line; true when both checks pass.
bool check(std::size_t index, const std::vector<std::uint8_t>& sub,
           const std::vector<public_key>& keys) {
    const auto header = image::parse_image_header(std::span(sub).first<image::header_probe_size>());
    const bool crc_good = image::image_crc_mismatch(std::span(sub).subspan(4), header.crc) == 0;
    std::printf("%zu %s %s: crc %s, ", index, type_label(header.type()).c_str(),
                image::version_text(header.version).data(), crc_good ? "good" : "bad");
    const signed_range range = find_signed_range(sub);
    bool signature_good = false;
    switch (range.what) {
        case signed_range::kind::unsigned_image:
            std::puts("unsigned");
            break;
        case signed_range::kind::malformed:
            std::puts("signature records malformed");
            break;
        case signed_range::kind::signed_image:
            if (const public_key* key = verifying_key(range, keys)) {
                std::printf("signature verified with %s%s\n", key->path.c_str(),
                            key->sample ? " (sample key)" : "");
                signature_good = true;
            } else {
                std::puts("signature rejected");
            }
            break;
    }
    return crc_good && signature_good;
}

int run(arguments args) {
    if (args.empty() || args[0].starts_with("-")) {
        std::fprintf(stderr, "imgtool: verify wants BUNDLE first (see imgtool verify --help)\n");
        return exit_usage;
    }
    const std::string path(args[0]);
    // Key decoding needs the library's Base64 tables, as at the boot manager's start-up.
    if (CRYPTO_initLibrary() < 0) {
        std::fprintf(stderr, "imgtool: the crypto library did not start\n");
        return exit_failure;
    }
    std::vector<public_key> keys;
    for (std::size_t i = 1; i < args.size(); i += 2) {
        if (args[i] != "--key" || i + 1 == args.size()) {
            std::fprintf(stderr, "imgtool: verify takes --key PUBLIC.pem ..., not '%.*s'\n",
                         static_cast<int>(args[i].size()), args[i].data());
            return exit_usage;
        }
        public_key key{std::string(args[i + 1]), {}};
        auto text = read_whole_file(key.path);
        if (!text) {
            return exit_failure;
        }
        key.text = std::move(*text);
        if (CA_MGMT_convertPublicKey(key.text.data(), static_cast<std::uint32_t>(key.text.size()),
                                     nullptr) < 0) {
            std::fprintf(stderr, "imgtool: %s holds no public key\n", key.path.c_str());
            return exit_failure;
        }
        key.sample = is_sample_key(key.text);
        keys.push_back(std::move(key));
    }
    if (keys.empty()) {
        std::fprintf(stderr, "imgtool: verify wants at least one --key PUBLIC.pem\n");
        return exit_usage;
    }
    const auto bundle = load_bundle(path);
    if (!bundle) {
        return exit_failure;
    }
    bool all_good = !bundle->subimages.empty();
    for (std::size_t i = 0; i < bundle->subimages.size(); ++i) {
        all_good = check(i, bundle->subimages[i], keys) && all_good;
    }
    return all_good ? exit_ok : exit_failure;
}

}  // namespace

const verb verify_verb = {
    "verify",
    "BUNDLE --key PUBLIC.pem [--key PUBLIC.pem ...]",
    "check the CRC and signature of every sub-image",
    "Prints one line per sub-image. A signature counts when one of the keys verifies it\n"
    "through the boot manager's own check: RSASSA-PKCS1-v1_5 with SHA-256, encoded exactly,\n"
    "over the payload. The exit status is 1 when any CRC is bad or any sub-image is\n"
    "unsigned, malformed or rejected; give only the production key to see what a secured\n"
    "switch accepts, and both keys for one in low security mode. A key that is one of the\n"
    "repository's sample keys, under any name, is marked \"(sample key)\": anyone can sign\n"
    "with those, so never ship what they verify.\n",
    run,
};

}  // namespace imgtool
