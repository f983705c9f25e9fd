#include "scan.hpp"

namespace imgtool {

bundle_scan scan_bundle(int fd) {
    bundle_scan scan;
    image::bundle_walk walk(fd);
    image::subimage_ref sub{};
    image::walk_step step;
    while ((step = walk.next(sub)) == image::walk_step::subimage) {
        scan.subimages.push_back(sub);
    }
    scan.read_error = step == image::walk_step::read_error;
    const bool faulty =
        !scan.subimages.empty() && scan.subimages.back().fault != image::header_fault::none;
    if (!scan.read_error && !faulty) {
        scan.trailing_bytes = walk.trailing_bytes();
    }
    return scan;
}

}  // namespace imgtool
