// The sub-images of a bundle file, located once for the commands that read them.
#pragma once

#include <cstdint>
#include <vector>

#include "image/bundle.hpp"

namespace imgtool {

struct bundle_scan {
    // In file order; a faulty header, if any, is the last entry.
    std::vector<image::subimage_ref> subimages;
    std::uint64_t trailing_bytes = 0;  // after the last sub-image, when no header was faulty
    bool read_error = false;
};

bundle_scan scan_bundle(int fd);

}  // namespace imgtool
