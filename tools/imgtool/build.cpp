// imgtool build: makes a bundle from payload files.
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "files.hpp"
#include "image/header.hpp"
#include "image/writer.hpp"
#include "names.hpp"
#include "signing.hpp"
#include "verbs.hpp"

namespace imgtool {
namespace {

struct added {
    image::subimage_layout layout;
    std::string payload_path;
};

// TYPE:VERSION:PAYLOAD followed by any of :hdr=N and :alt=TYPE. The options are taken from
// the end, so a payload path may itself contain colons.
std::optional<added> parse_add(std::string_view text) {
    added a;
    const std::size_t c1 = text.find(':');
    const std::size_t c2 = c1 == std::string_view::npos ? c1 : text.find(':', c1 + 1);
    if (c2 == std::string_view::npos) {
        std::fprintf(stderr, "imgtool: --add wants TYPE:VERSION:PAYLOAD, not '%.*s'\n",
                     static_cast<int>(text.size()), text.data());
        return std::nullopt;
    }
    const auto type = parse_type(text.substr(0, c1));
    const auto version = parse_version(text.substr(c1 + 1, c2 - c1 - 1));
    if (!type || (*type & image::type_v2_flag)) {
        std::fprintf(stderr, "imgtool: unknown image type '%.*s'\n", static_cast<int>(c1),
                     text.data());
        return std::nullopt;
    }
    if (!version) {
        std::fprintf(stderr, "imgtool: version must be a.b.c.d with each part 0-255\n");
        return std::nullopt;
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
            const auto hv = parse_number(option.substr(4));
            if (!hv || *hv < 1 || *hv > 3) {
                std::fprintf(stderr, "imgtool: hdr= takes 1, 2 or 3\n");
                return std::nullopt;
            }
            a.layout.header_version = static_cast<std::uint8_t>(*hv);
        } else if (option.starts_with("alt=")) {
            alt = parse_type(option.substr(4));
            if (!alt) {
                std::fprintf(stderr, "imgtool: unknown alternative type '%.*s'\n",
                             static_cast<int>(option.size() - 4), option.data() + 4);
                return std::nullopt;
            }
        } else {
            break;
        }
        rest = rest.substr(0, colon);
    }
    if (alt) {
        if (a.layout.header_version != 3) {
            std::fprintf(stderr, "imgtool: only a version-3 header carries records (alt=)\n");
            return std::nullopt;
        }
        a.layout.records.push_back(image::alternative_type_record(*alt));
    }
    a.payload_path = std::string(rest);
    return a;
}

int run(arguments args) {
    if (args.empty() || args[0].starts_with("-")) {
        std::fprintf(stderr, "imgtool: build wants OUT first (see imgtool build --help)\n");
        return exit_usage;
    }
    const std::string out_path(args[0]);
    std::vector<added> subimages;
    std::optional<private_key> signer;
    for (std::size_t i = 1; i < args.size(); ++i) {
        if (args[i] == "--sign" && i + 1 < args.size()) {
            signer = private_key::load(std::string(args[++i]));
            if (!signer) {
                return exit_failure;
            }
            continue;
        }
        if (args[i] != "--add" || i + 1 == args.size()) {
            std::fprintf(stderr, "imgtool: expected --add TYPE:VERSION:PAYLOAD, got '%.*s'\n",
                         static_cast<int>(args[i].size()), args[i].data());
            return exit_usage;
        }
        auto a = parse_add(args[++i]);
        if (!a) {
            return exit_usage;
        }
        subimages.push_back(std::move(*a));
    }
    if (subimages.empty()) {
        std::fprintf(stderr, "imgtool: build wants at least one --add\n");
        return exit_usage;
    }

    std::vector<std::uint8_t> bundle;
    for (auto& a : subimages) {
        const auto payload = read_whole_file(a.payload_path);
        if (!payload) {
            return exit_failure;
        }
        a.layout.payload = *payload;
        auto made = image::make_subimage(a.layout);
        if (!made) {
            std::fprintf(stderr, "imgtool: %s is too large for a sub-image\n",
                         a.payload_path.c_str());
            return exit_failure;
        }
        if (signer && a.layout.header_version == 3) {
            made = sign_subimage(*made, *signer);
            if (!made) {
                std::fprintf(stderr, "imgtool: cannot sign %s\n", a.payload_path.c_str());
                return exit_failure;
            }
        }
        bundle.insert(bundle.end(), made->begin(), made->end());
    }
    return write_whole_file(out_path, bundle) ? exit_ok : exit_failure;
}

}  // namespace

const verb build_verb = {
    "build",
    "OUT --add TYPE:VERSION:PAYLOAD[:hdr=1|2|3][:alt=TYPE] ... [--sign PRIVATE.pem]",
    "make a bundle from payload files",
    "Each --add appends one sub-image, in order, whose payload is the file PAYLOAD.\n"
    "  TYPE     application, bootloader, kernel, rfs, devicetree, diagnostics, kxos,\n"
    "           or a type code (decimal or 0x-hexadecimal)\n"
    "  VERSION  a.b.c.d, each part 0-255\n"
    "  hdr=N    header version 1, 2 or 3 (default 3)\n"
    "  alt=TYPE an alternative type record (version 3 only): a boot takes an\n"
    "           application-family type from it instead of TYPE\n"
    "--sign PRIVATE.pem signs every version-3 sub-image as imgtool sign does\n",
    run,
};

}  // namespace imgtool
