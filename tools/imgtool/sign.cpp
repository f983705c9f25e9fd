// imgtool sign: adds or replaces the signature of version-3 sub-images in a bundle.
#include <cstdio>
#include <optional>
#include <string>

#include "files.hpp"
#include "names.hpp"
#include "signing.hpp"
#include "subimages.hpp"
#include "verbs.hpp"

namespace imgtool {
namespace {

bool is_v3(const std::vector<std::uint8_t>& subimage) {
    return subimage.size() >= 24 && subimage[16] == 'H' && subimage[17] == 'D' &&
           subimage[18] == 'R' && subimage[19] == '3';
}

int run(arguments args) {
    if (args.empty() || args[0].starts_with("-")) {
        std::fprintf(stderr, "imgtool: sign wants BUNDLE first (see imgtool sign --help)\n");
        return exit_usage;
    }
    const std::string path(args[0]);
    std::optional<std::string> key_path;
    std::optional<std::uint32_t> index;
    for (std::size_t i = 1; i < args.size(); i += 2) {
        if (i + 1 == args.size()) {
            std::fprintf(stderr, "imgtool: %.*s wants a value\n", static_cast<int>(args[i].size()),
                         args[i].data());
            return exit_usage;
        }
        if (args[i] == "--key") {
            key_path = std::string(args[i + 1]);
        } else if (args[i] == "--index") {
            index = parse_number(args[i + 1]);
            if (!index) {
                std::fprintf(stderr, "imgtool: --index wants a number\n");
                return exit_usage;
            }
        } else {
            std::fprintf(stderr, "imgtool: sign takes --key PRIVATE.pem [--index N], not '%.*s'\n",
                         static_cast<int>(args[i].size()), args[i].data());
            return exit_usage;
        }
    }
    if (!key_path) {
        std::fprintf(stderr, "imgtool: sign wants --key PRIVATE.pem\n");
        return exit_usage;
    }
    const auto key = private_key::load(*key_path);
    auto bundle = load_bundle(path);
    if (!key || !bundle) {
        return exit_failure;
    }
    if (index && *index >= bundle->subimages.size()) {
        std::fprintf(stderr, "imgtool: %s has no sub-image %u\n", path.c_str(), *index);
        return exit_failure;
    }
    std::size_t signed_count = 0;
    std::vector<std::uint8_t> out;
    for (std::size_t i = 0; i < bundle->subimages.size(); ++i) {
        auto& sub = bundle->subimages[i];
        const bool wanted = index ? i == *index : is_v3(sub);
        if (wanted) {
            auto made = sign_subimage(sub, *key);
            if (!made) {
                std::fprintf(stderr, "imgtool: sub-image %zu cannot carry a signature\n", i);
                return exit_failure;
            }
            sub = std::move(*made);
            ++signed_count;
        }
        out.insert(out.end(), sub.begin(), sub.end());
    }
    if (signed_count == 0) {
        std::fprintf(stderr, "imgtool: %s has no version-3 sub-image to sign\n", path.c_str());
        return exit_failure;
    }
    out.insert(out.end(), bundle->trailing.begin(), bundle->trailing.end());
    return write_whole_file(path, out) ? exit_ok : exit_failure;
}

}  // namespace

const verb sign_verb = {
    "sign",
    "BUNDLE --key PRIVATE.pem [--index N]",
    "sign the version-3 sub-images of a bundle in place",
    "Each version-3 sub-image (or only sub-image N, counted from 0 as info shows them) gets\n"
    "one signature record: RSASSA-PKCS1-v1_5 with SHA-256 over its payload, made with the\n"
    "RSA private key in PRIVATE.pem. Signature records already present are replaced; other\n"
    "records are kept. Header length, length field and CRC are fixed to match.\n",
    run,
};

}  // namespace imgtool
