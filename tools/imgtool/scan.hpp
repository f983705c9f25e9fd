// The sub-images of a bundle file, located once for the commands that read them. A flash dump
// holds a bundle followed by erased flash or zeros; the walk ends there instead of reading the
// padding as headers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "image/bundle.hpp"

namespace imgtool {

enum class bundle_end {
    end_of_file,    // the last sub-image ends the file, or fewer than 24 bytes follow it
    erased_flash,   // 24 bytes of 0xFF where a header would start
    zero_padding,   // 24 zero bytes where a header would start
    faulty_header,  // the last entry's lengths describe no sub-image
};

struct bundle_scan {
    std::uint64_t size = 0;
    // In file order; a faulty header, if any, is the last entry.
    std::vector<image::subimage_ref> subimages;
    bundle_end end = bundle_end::end_of_file;
    std::uint64_t end_offset = 0;  // where the sub-images stop
    // For padding: the first byte after it that is not the padding byte, if any.
    std::optional<std::uint64_t> data_after_padding;

    std::uint64_t trailing_bytes() const {
        return end == bundle_end::faulty_header ? 0 : size - end_offset;
    }
    const char* padding_name() const;
};

// Nothing when the file cannot be read (said on standard error).
std::optional<bundle_scan> scan_bundle(int fd, std::uint64_t size, const std::string& path);

// True when the scan found at least one sub-image at the start; otherwise says on standard
// error why the file is no bundle.
bool is_bundle(const bundle_scan& scan, const std::string& path);

// Why a header's lengths describe no sub-image, worded for a file (tools::header_fault_text
// otherwise).
const char* fault_text(image::header_fault fault);

}  // namespace imgtool
