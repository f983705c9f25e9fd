// imgtool extract: writes the payload of one sub-image to a file.
#include <cstdio>
#include <string>
#include <vector>

#include "files.hpp"
#include "image/crc.hpp"
#include "names.hpp"
#include "scan.hpp"
#include "verbs.hpp"

namespace imgtool {
namespace {

int run(arguments args) {
    if (args.size() != 3) {
        std::fprintf(stderr, "imgtool: extract wants BUNDLE INDEX OUT\n");
        return exit_usage;
    }
    const auto index = parse_number(args[1]);
    if (!index) {
        std::fprintf(stderr, "imgtool: INDEX must be a number\n");
        return exit_usage;
    }
    const std::string path(args[0]);
    const unique_fd fd = open_input(path);
    if (!fd) {
        return exit_failure;
    }
    const bundle_scan scan = scan_bundle(fd.get());
    if (*index >= scan.subimages.size()) {
        std::fprintf(stderr, "imgtool: %s has no sub-image %u\n", path.c_str(),
                     static_cast<unsigned>(*index));
        return exit_failure;
    }
    const auto& sub = scan.subimages[*index];
    std::vector<std::uint8_t> bytes;
    if (sub.fault != image::header_fault::none) {
        std::fprintf(stderr, "imgtool: sub-image %u has an invalid header\n",
                     static_cast<unsigned>(*index));
        return exit_failure;
    }
    if (!image::read_subimage(fd.get(), sub, bytes)) {
        std::fprintf(stderr, "imgtool: cannot read %s\n", path.c_str());
        return exit_failure;
    }
    if (image::image_crc_mismatch(std::span(bytes).subspan(4), sub.header.crc)) {
        std::fprintf(stderr, "imgtool: warning: sub-image %u has a bad CRC\n",
                     static_cast<unsigned>(*index));
    }
    const auto payload = std::span(bytes).subspan(sub.header.header_length);
    return write_whole_file(std::string(args[2]), payload) ? exit_ok : exit_failure;
}

}  // namespace

const verb extract_verb = {
    "extract",
    "BUNDLE INDEX OUT",
    "write the payload of sub-image INDEX (from 0) to OUT",
    "The payload is written as stored, whatever its CRC; a bad CRC is reported as a\n"
    "warning on standard error.\n",
    run,
};

}  // namespace imgtool
