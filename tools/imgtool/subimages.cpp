#include "subimages.hpp"

#include <cstdio>

#include "files.hpp"
#include "image/bundle.hpp"
#include "scan.hpp"

namespace imgtool {

std::optional<loaded_bundle> load_bundle(const std::string& path) {
    const unique_fd fd = open_input(path);
    if (!fd) {
        return std::nullopt;
    }
    const bundle_scan scan = scan_bundle(fd.get());
    if (scan.read_error) {
        std::fprintf(stderr, "imgtool: cannot read %s\n", path.c_str());
        return std::nullopt;
    }
    loaded_bundle bundle;
    std::uint64_t end = 0;
    for (const auto& sub : scan.subimages) {
        if (sub.fault != image::header_fault::none) {
            std::fprintf(stderr, "imgtool: %s: sub-image %zu has a faulty header\n", path.c_str(),
                         bundle.subimages.size());
            return std::nullopt;
        }
        std::vector<std::uint8_t> bytes;
        if (!image::read_subimage(fd.get(), sub, bytes)) {
            std::fprintf(stderr, "imgtool: cannot read %s\n", path.c_str());
            return std::nullopt;
        }
        end = sub.offset + bytes.size();
        bundle.subimages.push_back(std::move(bytes));
    }
    if (scan.trailing_bytes != 0 &&
        !image::read_file_range(fd.get(), end, static_cast<std::uint32_t>(scan.trailing_bytes),
                                bundle.trailing)) {
        std::fprintf(stderr, "imgtool: cannot read %s\n", path.c_str());
        return std::nullopt;
    }
    return bundle;
}

}  // namespace imgtool
