#include "scan.hpp"

#include <algorithm>
#include <array>
#include <cstdio>

#include "files.hpp"
#include "subimage_checks.hpp"

namespace imgtool {
namespace {

bool all_of(std::span<const std::uint8_t> bytes, std::uint8_t value) {
    return std::all_of(bytes.begin(), bytes.end(), [value](auto b) { return b == value; });
}

// The first byte from `offset` on that is not `fill`.
std::optional<std::optional<std::uint64_t>> first_other_byte(int fd, std::uint64_t offset,
                                                             std::uint64_t size, std::uint8_t fill,
                                                             const std::string& path) {
    std::optional<std::uint64_t> found;
    std::uint64_t at = offset;
    const bool read = read_chunks(fd, offset, size - offset, path, [&](auto chunk) {
        const auto other =
            std::find_if(chunk.begin(), chunk.end(), [fill](auto b) { return b != fill; });
        if (other != chunk.end()) {
            found = at + static_cast<std::uint64_t>(other - chunk.begin());
            return false;
        }
        at += chunk.size();
        return true;
    });
    if (!read && !found) {
        return std::nullopt;
    }
    return found;
}

}  // namespace

const char* bundle_scan::padding_name() const {
    return end == bundle_end::erased_flash ? "erased flash" : "zero padding";
}

std::optional<bundle_scan> scan_bundle(int fd, std::uint64_t size, const std::string& path) {
    bundle_scan scan;
    scan.size = size;
    std::uint64_t offset = 0;
    while (size - offset >= image::header_probe_size) {
        std::array<std::uint8_t, image::header_probe_size> probe{};
        if (!read_chunks(fd, offset, probe.size(), path, [&](auto chunk) {
                std::copy(chunk.begin(), chunk.end(), probe.begin());
                return true;
            })) {
            return std::nullopt;
        }
        for (const auto& [fill, end] : {std::pair{std::uint8_t{0xFF}, bundle_end::erased_flash},
                                        std::pair{std::uint8_t{0x00}, bundle_end::zero_padding}}) {
            if (all_of(probe, fill)) {
                scan.end = end;
                scan.end_offset = offset;
                const auto other = first_other_byte(fd, offset, size, fill, path);
                if (!other) {
                    return std::nullopt;
                }
                scan.data_after_padding = *other;
                return scan;
            }
        }
        image::subimage_ref sub{offset, image::parse_image_header(probe), {}};
        sub.fault = image::check_image_lengths(sub.header, size - offset);
        scan.subimages.push_back(sub);
        if (sub.fault != image::header_fault::none) {
            scan.end = bundle_end::faulty_header;
            scan.end_offset = offset;
            return scan;
        }
        offset += sub.header.total();
    }
    scan.end_offset = offset;
    return scan;
}

bool is_bundle(const bundle_scan& scan, const std::string& path) {
    const char* const p = path.c_str();
    if (!scan.subimages.empty() && scan.subimages[0].fault == image::header_fault::none) {
        return true;
    }
    if (scan.size == 0) {
        std::fprintf(stderr, "imgtool: %s is empty: no sub-image\n", p);
    } else if (scan.size < image::header_probe_size) {
        std::fprintf(stderr, "imgtool: %s is no bundle: %llu bytes, too few for an image header\n",
                     p, static_cast<unsigned long long>(scan.size));
    } else if (scan.end == bundle_end::faulty_header) {
        std::fprintf(stderr, "imgtool: %s is no bundle: its first header is invalid (%s)\n", p,
                     fault_text(scan.subimages[0].fault));
    } else {
        std::fprintf(stderr, "imgtool: %s is no bundle: it starts with %s\n", p,
                     scan.padding_name());
    }
    return false;
}

const char* fault_text(image::header_fault fault) {
    return fault == image::header_fault::past_end ? "runs past the end of the file"
                                                  : tools::header_fault_text(fault);
}

}  // namespace imgtool
