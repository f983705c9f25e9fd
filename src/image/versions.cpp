#include "image/versions.hpp"

#include <cstdio>

#include "image/installed.hpp"

namespace image {
namespace {

struct listed_image {
    std::uint32_t type;
    std::uint32_t slot;
    const char* format;
};

constexpr listed_image listing[] = {
    {TYPE_BOOTLOADER, 0, "\tBoot image  : %d.%d.%d.%d\n"},
    {TYPE_RFS, 0, "\tRFS image   : %d.%d.%d.%d\n"},
    {TYPE_KERNEL, 0, "\tKernel image: %d.%d.%d.%d\n"},
    {TYPE_DEVICETREE, 0, "\tDFT image   : %d.%d.%d.%d\n"},
    {TYPE_APPLICATION, 1, "\tOS image 1  : %d.%d.%d.%d\n"},
    {TYPE_APPLICATION, 2, "\tOS image 2  : %d.%d.%d.%d\n"},
};

}  // namespace

int list_installed_versions() {
    std::printf("Installed images versions: \n");
    installed_header header{};
    for (const auto& row : listing) {
        // A failed read has left zeros, which is what the row should show.
        read_installed_header(row.type, &header, row.slot);
        const std::uint8_t* v = header.data() + 12;
        std::printf(row.format, int{v[0]}, int{v[1]}, int{v[2]}, int{v[3]});
    }
    return 0;
}

}  // namespace image
