// imgtool extract: writes the payload of one sub-image, or of each, to files.
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "files.hpp"
#include "names.hpp"
#include "scan.hpp"
#include "subimages.hpp"
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

int usage() {
    std::fprintf(stderr,
                 "imgtool: extract wants BUNDLE INDEX OUT, BUNDLE --type TYPE OUT or "
                 "BUNDLE --all DIR\n");
    return exit_usage;
}

int run(arguments args) {
    if (args.size() < 3 || args[0].starts_with("-")) {
        return usage();
    }
    const std::string path(args[0]);
    std::optional<std::uint32_t> index;
    std::optional<std::uint32_t> type;
    const bool all = args[1] == "--all";
    if (args[1] == "--type") {
        if (args.size() != 4) {
            return usage();
        }
        type = parse_type(args[2]);
        if (!type) {
            std::fprintf(stderr, "imgtool: --type: unknown image type '%.*s'\n",
                         static_cast<int>(args[2].size()), args[2].data());
            return exit_usage;
        }
        args = args.subspan(1);
    } else if (args[1].starts_with("-") && !all) {
        std::fprintf(stderr, "imgtool: extract: unknown option '%.*s'\n",
                     static_cast<int>(args[1].size()), args[1].data());
        return exit_usage;
    } else if (!all) {
        index = parse_number(args[1]);
        if (!index) {
            std::fprintf(stderr, "imgtool: INDEX must be a number\n");
            return exit_usage;
        }
    }
    if (args.size() != 3) {
        return usage();
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
    const std::string out(args[2]);
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
                std::to_string(i) + "-" + type_label(scan->subimages[i].header.type());
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
                         found.size(), type_label(*type).c_str(),
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

const verb extract_verb = {
    "extract",
    "BUNDLE INDEX OUT | BUNDLE --type TYPE OUT | BUNDLE --all DIR",
    "write the payload of a sub-image (from 0), or of each, to files",
    "INDEX counts from 0 as info shows the sub-images; --type TYPE takes the one sub-image\n"
    "of that type (a bundle with several wants the INDEX). --all writes every payload into\n"
    "DIR, made if missing, as INDEX-TYPE (0-kernel, 1-application, ...). A payload is written\n"
    "as stored, whatever its CRC; a bad CRC is reported as a warning on standard error. An\n"
    "output is never the bundle itself, and appears only once complete.\n",
    run,
};

}  // namespace imgtool
