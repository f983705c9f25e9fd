// imgtool sign: adds or replaces the signature of version-3 sub-images in a bundle.
#include <cstdio>
#include <memory>
#include <optional>
#include <string>

#include "files.hpp"
#include "image/crc.hpp"
#include "names.hpp"
#include "scan.hpp"
#include "signing.hpp"
#include "verb_support.hpp"
#include "verbs.hpp"

namespace imgtool {
namespace {

std::optional<std::vector<std::uint8_t>> read_header(int fd, const image::subimage_ref& sub,
                                                     const std::string& path) {
    std::vector<std::uint8_t> header;
    if (!read_chunks(fd, sub.offset, sub.header.header_length, path, [&](auto chunk) {
            header.insert(header.end(), chunk.begin(), chunk.end());
            return true;
        })) {
        return std::nullopt;
    }
    return header;
}

struct SignArgs {
    std::string bundle;
    std::string key;
    std::optional<std::string> passin;
    std::string module;
    std::optional<std::uint32_t> index;
};

int run(const SignArgs& args) {
    const std::string& path = args.bundle;
    const std::optional<std::uint32_t> index = args.index;
    const auto key = private_key::load(args.key, args.passin, args.module);
    if (!key) {
        return exit_failure;
    }
    const auto input = open_sized_input(path);
    if (!input) {
        return exit_failure;
    }
    const int fd = input->fd.get();
    const auto scan = scan_bundle(fd, input->size, path);
    if (!scan || !is_bundle(*scan, path)) {
        return exit_failure;
    }
    if (index && *index >= scan->subimages.size()) {
        std::fprintf(stderr, "imgtool: %s has no sub-image %u\n", path.c_str(), *index);
        return exit_failure;
    }
    auto out = output_file::create(path);
    if (!out) {
        return exit_failure;
    }
    std::size_t signed_count = 0;
    for (std::size_t i = 0; i < scan->subimages.size(); ++i) {
        const auto& sub = scan->subimages[i];
        if (sub.fault != image::header_fault::none) {
            std::fprintf(stderr, "imgtool: %s: sub-image %zu has a faulty header (%s)\n",
                         path.c_str(), i, fault_text(sub.fault));
            return exit_failure;
        }
        const bool v3 = sub.header.header_version == 3;
        if (index ? i != *index : !v3) {
            const auto copy = [&](auto chunk) { return out->append(chunk); };
            if (!read_chunks(fd, sub.offset, sub.header.total(), path, copy)) {
                return exit_failure;
            }
            continue;
        }
        const auto header = read_header(fd, sub, path);
        if (!header) {
            return exit_failure;
        }
        const auto stripped = v3 ? strip_signatures(*header) : std::nullopt;
        if (!stripped) {
            std::fprintf(stderr, "imgtool: sub-image %zu cannot carry a signature\n", i);
            return exit_failure;
        }
        std::uint32_t payload_crc = 0;
        const payload_source payload{fd, sub.offset + sub.header.header_length,
                                     sub.header.payload_length, path};
        if (!write_subimage(*out, *stripped, payload, &*key, &payload_crc)) {
            return exit_failure;
        }
        const std::uint32_t header_crc =
            image::image_crc(std::span(*header).subspan(4), image::crc_initial);
        if (crc_of_both(header_crc, payload_crc, payload.length) != sub.header.crc) {
            std::fprintf(stderr, "imgtool: sub-image %zu has a bad CRC: its payload is damaged\n",
                         i);
            return exit_failure;
        }
        ++signed_count;
    }
    if (signed_count == 0) {
        std::fprintf(stderr, "imgtool: %s has no version-3 sub-image to sign\n", path.c_str());
        return exit_failure;
    }
    if (!read_chunks(fd, scan->end_offset, scan->size - scan->end_offset, path,
                     [&](auto chunk) { return out->append(chunk); })) {
        return exit_failure;
    }
    return out->commit() ? exit_ok : exit_failure;
}

}  // namespace

Verb add_sign(CLI::App& app) {
    auto g = std::make_shared<SignArgs>();
    CLI::App* const sub = verb(
        app, "sign", "Signs the version-3 sub-images of a bundle in place.",
        "Each version-3 sub-image (or only sub-image N, counted from 0 as info shows them) gets\n"
        "one signature record: RSASSA-PKCS1-v1_5 with SHA-256 over its payload, made with the\n"
        "RSA-2048 private key in PRIVATE.pem (the switch verifies no other size). Signature\n"
        "records already present are replaced; other records are kept. Header length, length\n"
        "field and CRC are fixed to match; a sub-image whose CRC is already bad is not signed.\n"
        "The bundle is replaced only once the signed copy is complete.\n"
        "--passin gives the pass phrase of an encrypted key as OpenSSL does: pass:TEXT,\n"
        "env:VAR, file:PATH (its first line) or stdin; without it, the terminal asks once.\n"
        "A key held in a hardware token is named by a PKCS#11 URI instead of a file:\n"
        "  --key 'pkcs11:object=LABEL[;token=TOKEN][;pin-value=PIN]'\n"
        "its PIN from pin-value, pin-source=FILE or --passin; the module is --pkcs11-module,\n"
        "else PKCS11_MODULE_PATH, else the p11-kit proxy.\n"
        "Exit status: 0 signed, 1 failed (the bundle unchanged), 2 usage error.");
    sub->add_option("BUNDLE", g->bundle, "the bundle to sign in place")->required()->type_name("");
    sub->add_option("--key", g->key, "the RSA-2048 private key: a file or a pkcs11: URI")
        ->type_name("PRIVATE.pem")
        ->required();
    sub->add_option("--pkcs11-module", g->module, "the PKCS#11 module for a pkcs11: key")
        ->type_name("PATH");
    sub->add_option("--passin", g->passin,
                    "the key's pass phrase: pass:TEXT, env:VAR, file:PATH, stdin")
        ->type_name("SOURCE")
        ->check(passin_source());
    sub->add_option("--index", g->index, "sign only this sub-image, counted from 0")
        ->type_name("N")
        ->transform(whole_number());
    return {sub, [g] { return run(*g); }};
}

}  // namespace imgtool
