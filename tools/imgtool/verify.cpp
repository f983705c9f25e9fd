// imgtool verify: checks each sub-image's CRC and signature the way the boot manager does.
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "files.hpp"
#include "image/header.hpp"
#include "image/records.hpp"
#include "keys.hpp"
#include "names.hpp"
#include "scan.hpp"
#include "subimages.hpp"
#include "verb_support.hpp"
#include "verbs.hpp"

namespace imgtool {
namespace {

// Prints the sub-image's line; true when both checks pass.
bool check(std::size_t index, const image::subimage_ref& sub, const subimage_pass& pass,
           const std::vector<public_key>& keys) {
    const auto& header = sub.header;
    std::printf("%zu %s %s: crc %s, ", index, tools::type_label(header.type()).c_str(),
                image::version_text(header.version).data(), pass.crc_good ? "good" : "bad");
    const image::header_signature found = image::find_signature(pass.header);
    bool signature_good = false;
    switch (found.what) {
        case image::header_signature::kind::unsigned_image:
            std::puts("unsigned");
            break;
        case image::header_signature::kind::malformed:
            std::puts("signature records malformed");
            break;
        case image::header_signature::kind::signed_image:
            if (const public_key* key = accepting_key(pass.sha256, found.signature, keys)) {
                std::printf("signature verified with %s%s\n", key->path.c_str(),
                            key->sample ? " (sample key)" : "");
                signature_good = true;
            } else {
                std::puts("signature rejected");
            }
            break;
    }
    return pass.crc_good && signature_good;
}

struct VerifyArgs {
    std::string bundle;
    std::vector<std::string> key_paths;
};

int run(const VerifyArgs& args) {
    const std::string& path = args.bundle;
    const auto input = open_sized_input(path);
    if (!input) {
        return exit_failure;
    }
    const auto scan = scan_bundle(input->fd.get(), input->size, path);
    if (!scan || !is_bundle(*scan, path)) {
        return exit_failure;
    }
    // Key decoding needs the library's Base64 tables, as at the boot manager's start-up.
    if (!start_crypto()) {
        return exit_failure;
    }
    std::vector<public_key> keys;
    for (const auto& key_path : args.key_paths) {
        auto key = load_public_key(key_path);
        if (!key) {
            return exit_failure;
        }
        keys.push_back(std::move(*key));
    }
    bool all_good = true;
    for (std::size_t i = 0; i < scan->subimages.size(); ++i) {
        const auto& sub = scan->subimages[i];
        if (sub.fault != image::header_fault::none) {
            std::printf("%zu invalid header at 0x%08llx: %s\n", i,
                        static_cast<unsigned long long>(sub.offset), fault_text(sub.fault));
            all_good = false;
            continue;
        }
        const auto pass = pass_subimage(input->fd.get(), sub, path);
        if (!pass) {
            return exit_failure;
        }
        all_good = check(i, sub, *pass, keys) && all_good;
    }
    return all_good ? exit_ok : exit_failure;
}

}  // namespace

Verb add_verify(CLI::App& app) {
    auto v = std::make_shared<VerifyArgs>();
    CLI::App* const sub = verb(
        app, "verify", "Checks the CRC and signature of every sub-image.",
        "Prints one line per sub-image. A signature counts when one of the keys verifies it\n"
        "through the boot manager's own check: RSASSA-PKCS1-v1_5 with SHA-256, encoded exactly,\n"
        "over the payload. Give only the production key to see what a secured switch accepts,\n"
        "and both keys for one in low security mode. A key that is one of the repository's\n"
        "sample keys, under any name, is marked \"(sample key)\": anyone can sign with those,\n"
        "so never ship what they verify.\n"
        "Exit status: 0 every sub-image good, 1 any CRC bad or any sub-image unsigned,\n"
        "malformed or rejected (or the file no bundle), 2 usage error.");
    sub->add_option("BUNDLE", v->bundle, "the bundle to check")->required()->type_name("");
    sub->add_option("--key", v->key_paths, "a public key that may verify signatures (repeatable)")
        ->type_name("PUBLIC.pem")
        ->allow_extra_args(false)
        ->required();
    return {sub, [v] { return run(*v); }};
}

}  // namespace imgtool
