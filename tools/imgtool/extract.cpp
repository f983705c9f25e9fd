// imgtool extract: writes the payload of one sub-image, or of each, to files.
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli.hpp"
#include "files.hpp"
#include "names.hpp"
#include "scan.hpp"
#include "subimages.hpp"
#include "verb_support.hpp"
#include "verbs.hpp"

namespace imgtool {
namespace {

bool extract_one(int fd, const std::string& bundle, const bundle_scan& scan, std::size_t index,
                 const std::string& out_path) {
    const auto& sub = scan.subimages[index];
    if (sub.fault != image::header_fault::none) {
        std::fprintf(stderr, "imgtool: sub-image %zu has an invalid header\n", index);
        return false;
    }
    if (is_an_input(out_path, {bundle})) {
        return false;
    }
    auto out = output_file::create(out_path);
    if (!out) {
        return false;
    }
    const auto pass =
        pass_subimage(fd, sub, bundle, [&](auto chunk) { return out->append(chunk); });
    if (!pass) {
        return false;
    }
    if (!pass->crc_good) {
        std::fprintf(stderr, "imgtool: warning: sub-image %zu has a bad CRC\n", index);
    }
    return out->commit();
}

struct ExtractArgs {
    std::string bundle;
    // INDEX and OUT by position: with --type or --all, the one given (OUT or DIR) is the first.
    std::optional<std::string> first;
    std::optional<std::string> second;
    std::optional<std::uint32_t> type;
    bool all = false;
};

int run(const ExtractArgs& args) {
    const char* const tool = "imgtool extract";
    const std::string& path = args.bundle;
    const bool all = args.all;
    const std::optional<std::uint32_t> type = args.type;
    std::vector<std::string> rest;
    for (const auto* given : {&args.first, &args.second}) {
        if (*given) {
            rest.push_back(**given);
        }
    }
    std::optional<std::uint32_t> index;
    if (all || type) {
        const std::string out_name = all ? "DIR" : "OUT";
        if (rest.empty()) {
            return tools::usage_error(tool, out_name + " is required");
        }
        if (rest.size() != 1) {
            return tools::usage_error(tool, std::string(all ? "--all" : "--type") +
                                                " takes the place of INDEX: give only " + out_name +
                                                ", not also '" + rest[0] + "'");
        }
    } else if (rest.size() != 2) {
        return tools::usage_error(tool,
                                  "INDEX and OUT are required, or --type TYPE OUT, or "
                                  "--all DIR");
    } else {
        std::string text = rest[0];
        if (const std::string why = whole_number()(text); !why.empty()) {
            return tools::usage_error(tool, "INDEX: " + why);
        }
        index = static_cast<std::uint32_t>(std::stoul(text));
    }
    const auto input = open_sized_input(path);
    if (!input) {
        return exit_failure;
    }
    const auto scan = scan_bundle(input->fd.get(), input->size, path);
    if (!scan || !is_bundle(*scan, path)) {
        return exit_failure;
    }
    const int fd = input->fd.get();
    const std::string& out = rest.back();
    if (all) {
        std::error_code error;
        std::filesystem::create_directories(out, error);
        if (error) {
            std::fprintf(stderr, "imgtool: cannot make %s: %s\n", out.c_str(),
                         error.message().c_str());
            return exit_failure;
        }
        for (std::size_t i = 0; i < scan->subimages.size(); ++i) {
            const std::string name =
                std::to_string(i) + "-" + tools::type_label(scan->subimages[i].header.type());
            if (!extract_one(fd, path, *scan, i, (std::filesystem::path(out) / name).string())) {
                return exit_failure;
            }
        }
        return exit_ok;
    }
    if (type) {
        std::vector<std::size_t> found;
        for (std::size_t i = 0; i < scan->subimages.size(); ++i) {
            const auto& sub = scan->subimages[i];
            if (sub.fault == image::header_fault::none && sub.header.type() == *type) {
                found.push_back(i);
            }
        }
        if (found.size() != 1) {
            std::fprintf(stderr, "imgtool: %s has %zu sub-images of type %s%s\n", path.c_str(),
                         found.size(), tools::type_label(*type).c_str(),
                         found.empty() ? "" : ": give the INDEX (see imgtool info)");
            return exit_failure;
        }
        index = static_cast<std::uint32_t>(found[0]);
    }
    if (*index >= scan->subimages.size()) {
        std::fprintf(stderr, "imgtool: %s has no sub-image %u\n", path.c_str(),
                     static_cast<unsigned>(*index));
        return exit_failure;
    }
    return extract_one(fd, path, *scan, *index, out) ? exit_ok : exit_failure;
}

}  // namespace

Verb add_extract(CLI::App& app) {
    auto e = std::make_shared<ExtractArgs>();
    CLI::App* const sub = verb(
        app, "extract", "Writes the payload of a sub-image (from 0), or of each, to files.",
        "Forms: BUNDLE INDEX OUT, BUNDLE --type TYPE OUT, BUNDLE --all DIR.\n"
        "INDEX counts from 0 as info shows the sub-images; --type TYPE takes the one sub-image\n"
        "of that type (a bundle with several wants the INDEX). --all writes every payload into\n"
        "DIR, made if missing, as INDEX-TYPE (0-kernel, 1-application, ...). A payload is written\n"
        "as stored, whatever its CRC; a bad CRC is reported as a warning on standard error. An\n"
        "output is never the bundle itself, and appears only once complete.\n"
        "Exit status: 0 written, 1 failed (no such sub-image, an invalid header, the file no\n"
        "bundle), 2 usage error.");
    sub->add_option("BUNDLE", e->bundle, "a bundle or flash dump")->required()->type_name("");
    sub->add_option("INDEX", e->first,
                    "the sub-image, from 0 (decimal or 0x-hex); not with --type, --all")
        ->type_name("");
    sub->add_option("OUT", e->second, "the file to write (with --all, the folder DIR)")
        ->type_name("");
    CLI::Option* const type =
        sub->add_option("--type", e->type, "the one sub-image of this type (a name or a code)")
            ->type_name("TYPE")
            ->transform(image_type());
    sub->add_flag("--all", e->all, "every payload into DIR as INDEX-TYPE")->excludes(type);
    return {sub, [e] { return run(*e); }};
}

}  // namespace imgtool
