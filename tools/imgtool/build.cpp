// imgtool build: makes a bundle from payload files.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "cli.hpp"
#include "files.hpp"
#include "image/header.hpp"
#include "image/writer.hpp"
#include "manifest.hpp"
#include "names.hpp"
#include "signing.hpp"
#include "verb_support.hpp"
#include "verbs.hpp"

namespace imgtool {
namespace {

struct added {
    image::subimage_layout layout;
    std::string payload_path;
};

// TYPE:VERSION:PAYLOAD followed by any of :hdr=N and :alt=TYPE, or why the text is not that.
// The options are taken from the end, so a payload path may itself contain colons.
std::variant<added, std::string> parse_add(std::string_view text) {
    added a;
    const std::size_t c1 = text.find(':');
    const std::size_t c2 = c1 == std::string_view::npos ? c1 : text.find(':', c1 + 1);
    if (c2 == std::string_view::npos) {
        return std::string("not TYPE:VERSION:PAYLOAD");
    }
    const std::string_view type_text = text.substr(0, c1);
    const std::string_view version_text = text.substr(c1 + 1, c2 - c1 - 1);
    const auto type = tools::parse_type(type_text);
    const auto version = tools::parse_version(version_text);
    if (!type || (*type & image::type_v2_flag)) {
        return "unknown image type '" + std::string(type_text) + "'";
    }
    if (!version) {
        return "version '" + std::string(version_text) + "' is not a.b.c.d with each part 0-255";
    }
    a.layout.type = *type;
    a.layout.version = *version;
    std::string_view rest = text.substr(c2 + 1);
    std::optional<std::uint32_t> alt;
    for (;;) {
        const std::size_t colon = rest.rfind(':');
        if (colon == std::string_view::npos) {
            break;
        }
        const std::string_view option = rest.substr(colon + 1);
        if (option.starts_with("hdr=")) {
            const auto hv = tools::parse_number(option.substr(4));
            if (!hv || *hv < 1 || *hv > 3) {
                return "hdr= takes 1, 2 or 3, not '" + std::string(option.substr(4)) + "'";
            }
            a.layout.header_version = static_cast<std::uint8_t>(*hv);
        } else if (option.starts_with("alt=")) {
            alt = tools::parse_type(option.substr(4));
            if (!alt) {
                return "unknown alternative type '" + std::string(option.substr(4)) + "'";
            }
        } else {
            break;
        }
        rest = rest.substr(0, colon);
    }
    if (alt) {
        if (a.layout.header_version != 3) {
            return std::string("only a version-3 header carries records (alt=)");
        }
        a.layout.records.push_back(image::alternative_type_record(*alt));
    }
    a.payload_path = std::string(rest);
    return a;
}

// Why the board could not read the sub-image back, if it could not: every reader takes 24
// header bytes first and ends the bundle where fewer remain, and decides the header version
// from them.
std::optional<std::string> unreadable(const added& a, std::uint64_t payload_size,
                                      std::span<const std::uint8_t> payload_start) {
    const std::uint64_t header = a.layout.header_version == 1   ? image::header_common_size
                                 : a.layout.header_version == 2 ? 20
                                                                : image::v3_records_offset;
    if (header + payload_size < image::header_probe_size) {
        return "a version-" + std::to_string(a.layout.header_version) + " sub-image of " +
               std::to_string(payload_size) + " payload bytes is " +
               std::to_string(header + payload_size) +
               " bytes long, and a reader takes 24 header bytes first: give a payload of at "
               "least " +
               std::to_string(image::header_probe_size - header) + " bytes or hdr=3";
    }
    if (a.layout.header_version == 1 && payload_start.size() >= 4 && payload_start[0] == 'H' &&
        payload_start[1] == 'D' && payload_start[2] == 'R' && payload_start[3] == '3') {
        return "its payload starts with \"HDR3\", which a reader takes for a version-3 header: "
               "use hdr=2 or hdr=3";
    }
    return std::nullopt;
}

int build(const std::string& out_path, const std::vector<added>& subimages,
          const std::optional<std::string>& key_path, const std::optional<std::string>& passin,
          const std::string& module) {
    std::vector<std::string> inputs;
    bool signable = false;
    for (const auto& a : subimages) {
        inputs.push_back(a.payload_path);
        signable = signable || a.layout.header_version == 3;
    }
    if (key_path) {
        inputs.push_back(*key_path);
        if (!signable) {
            std::fprintf(stderr,
                         "imgtool: --sign: no version-3 sub-image to sign (only a version-3 "
                         "header carries a signature)\n");
            return exit_failure;
        }
    }
    if (is_an_input(out_path, inputs)) {
        return exit_failure;
    }
    std::optional<private_key> signer;
    if (key_path) {
        signer = private_key::load(*key_path, passin, module);
        if (!signer) {
            return exit_failure;
        }
    }
    std::vector<sized_input> payloads;
    for (const auto& a : subimages) {
        auto input = open_sized_input(a.payload_path);
        if (!input) {
            return exit_failure;
        }
        std::vector<std::uint8_t> start;
        if (!read_chunks(input->fd.get(), 0, std::min<std::uint64_t>(input->size, 4),
                         a.payload_path, [&](auto chunk) {
                             start.assign(chunk.begin(), chunk.end());
                             return true;
                         })) {
            return exit_failure;
        }
        if (const auto why = unreadable(a, input->size, start)) {
            std::fprintf(stderr, "imgtool: %s: %s\n", a.payload_path.c_str(), why->c_str());
            return exit_failure;
        }
        payloads.push_back(std::move(*input));
    }
    auto out = output_file::create(out_path);
    if (!out) {
        return exit_failure;
    }
    for (std::size_t i = 0; i < subimages.size(); ++i) {
        const auto& a = subimages[i];
        const auto header = image::make_subimage(a.layout);
        if (!header) {
            std::fprintf(stderr, "imgtool: %s: the header records pass 64 KiB\n",
                         a.payload_path.c_str());
            return exit_failure;
        }
        const payload_source payload{payloads[i].fd.get(), 0, payloads[i].size, a.payload_path};
        const bool sign = signer && a.layout.header_version == 3;
        if (!write_subimage(*out, *header, payload, sign ? &*signer : nullptr)) {
            return exit_failure;
        }
    }
    return out->commit() ? exit_ok : exit_failure;
}

struct BuildArgs {
    std::string out;
    std::optional<std::string> manifest;
    std::vector<std::string> adds;  // each already accepted by parse_add
    std::optional<std::string> key;
    std::optional<std::string> passin;
    std::string module;
};

int run(const BuildArgs& args) {
    if (!args.manifest && args.adds.empty()) {
        return tools::usage_error("imgtool build",
                                  "at least one --add or a --manifest is required");
    }
    std::vector<added> subimages;
    std::optional<std::string> key_path = args.key;
    std::optional<std::string> passin = args.passin;
    if (args.manifest) {
        const auto m = read_manifest(*args.manifest);
        if (!m) {
            return exit_failure;
        }
        for (const auto& entry : m->subimages) {
            added a;
            a.layout.type = entry.type;
            a.layout.version = entry.version;
            a.layout.header_version = entry.header_version;
            if (entry.alternative_type) {
                a.layout.records.push_back(image::alternative_type_record(*entry.alternative_type));
            }
            a.payload_path = entry.payload;
            subimages.push_back(std::move(a));
        }
        // A key given on the command line wins over the manifest's.
        key_path = key_path ? key_path : m->key;
        passin = passin ? passin : m->passin;
    }
    for (const auto& add : args.adds) {
        subimages.push_back(std::get<added>(parse_add(add)));
    }
    return build(args.out, subimages, key_path, passin, args.module);
}

}  // namespace

Verb add_build(CLI::App& app) {
    auto b = std::make_shared<BuildArgs>();
    CLI::App* const sub = verb(
        app, "build", "Makes a bundle from payload files.",
        "Each --add appends one sub-image, in order, whose payload is the file PAYLOAD.\n"
        "  TYPE     application, bootloader, kernel, rfs, devicetree, diagnostics, kxos,\n"
        "           or a type code (decimal or 0x-hexadecimal)\n"
        "  VERSION  a.b.c.d, each part 0-255\n"
        "  hdr=N    header version 1, 2 or 3 (default 3)\n"
        "  alt=TYPE an alternative type record (version 3 only): a boot takes an\n"
        "           application-family type from it instead of TYPE\n"
        "--sign PRIVATE.pem signs every version-3 sub-image as imgtool sign does (an error\n"
        "when there is none); --passin SOURCE gives its pass phrase as sign takes it. A\n"
        "pkcs11: URI names a key in a hardware token as sign --key takes it.\n"
        "--manifest FILE.toml gives the sub-images (before any --add) and the signing key in one\n"
        "file; paths in it are relative to it, and a --sign on the command line wins:\n"
        "  [sign]\n"
        "  key = \"release.pem\"          # optional; passin = \"env:VAR\" as --passin takes it\n"
        "  [[subimage]]                  # one table per sub-image, in order\n"
        "  type = \"application\"\n"
        "  version = \"1.0.0.1\"\n"
        "  payload = \"app.tar.gz\"\n"
        "  header = 3                    # optional, as hdr=\n"
        "  alternative_type = \"diagnostics\"   # optional, as alt=\n"
        "A sub-image the board could not read back is refused: one shorter than the 24 bytes a\n"
        "reader takes first, or a version-1 payload starting with \"HDR3\". OUT is written\n"
        "only once complete, and is never one of the inputs.\n"
        "Exit status: 0 built, 1 failed (an input unreadable or refused, nothing written),\n"
        "2 usage error.");
    sub->add_option("OUT", b->out, "the bundle to write")->required()->type_name("");
    sub->add_option("--manifest", b->manifest, "the sub-images and signing key in one TOML file")
        ->type_name("FILE.toml");
    sub->add_option("--add", b->adds, "append a sub-image (repeatable)")
        ->type_name("TYPE:VERSION:PAYLOAD[:hdr=1|2|3][:alt=TYPE]")
        ->allow_extra_args(false)
        ->check(CLI::Validator(
            [](std::string& text) -> std::string {
                const auto parsed = parse_add(text);
                const auto* why = std::get_if<std::string>(&parsed);
                return why ? "'" + text + "': " + *why : std::string();
            },
            ""));
    sub->add_option("--sign", b->key, "sign every version-3 sub-image with this RSA-2048 key")
        ->type_name("PRIVATE.pem");
    sub->add_option("--pkcs11-module", b->module, "the PKCS#11 module for a pkcs11: key")
        ->type_name("PATH");
    sub->add_option("--passin", b->passin,
                    "the key's pass phrase: pass:TEXT, env:VAR, file:PATH, stdin")
        ->type_name("SOURCE")
        ->check(passin_source());
    return {sub, [b] { return run(*b); }};
}

}  // namespace imgtool
