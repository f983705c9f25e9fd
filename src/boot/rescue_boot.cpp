#include <array>
#include <cstdio>
#include <new>
#include <span>
#include <vector>

#include "boot/app_start.hpp"
#include "hw/i2c.hpp"
#include "hw/mtd.hpp"
#include "image/crc.hpp"
#include "image/header.hpp"
#include "platform/files.hpp"
#include "sys/shell.hpp"

namespace {

// The booted-image byte of a boot from the rescue partition.
constexpr std::uint8_t booted_rescue = 4;

bool write_file(const char* path, std::span<const std::uint8_t> bytes) {
    const platform::unique_file file = platform::open_file(path, "w");
    if (!file) {
        return false;
    }
    std::fwrite(bytes.data(), 1, bytes.size(), file.get());
    return true;
}

// The whole sub-image at the start of the partition, when its lengths fit the partition, it
// can be held in memory and its CRC holds.
bool read_intact(int fd, const image::image_header& header, std::vector<std::uint8_t>& data) {
    mtd_geometry geometry{};
    if (mtd_get_info(fd, &geometry) == 0 ||
        image::check_image_lengths(header, geometry.total_size) != image::header_fault::none) {
        return false;
    }
    try {
        data.resize(header.total());
    } catch (const std::bad_alloc&) {
        return false;
    }
    return partition_read(data.data(), fd, 0, header.total()) == 0 &&
           image::image_crc_mismatch(std::span(data).subspan(4), header.crc) == 0;
}

// Offers to keep the recovery application in a slot before it boots.
void ask_to_install_recovery(std::span<const std::uint8_t> subimage) {
    std::fputs("Install recovery image as image 1 or 2 (hit return to just boot image): ", stdout);
    std::fflush(stdout);
    std::array<char, 8> answer{};
    if (std::fgets(answer.data(), answer.size(), stdin) == nullptr) {
        return;
    }
    const char slot = answer[0];
    if (slot != '1' && slot != '2') {
        std::puts(
            "\nBooting recovery image. You will need to download and install an image before "
            "rebooting");
        nvram_set_booted_image(booted_rescue);
        return;
    }
    std::printf("\nInstalling recovery image as image%c...\n", slot);
    if (!write_file("/tmp/image", subimage)) {
        std::fputs("Failed to open image file.\n", stderr);
        reboot_board();
    }
    sys::run_command("mkdir /user/images &> /dev/null");
    std::array<char, 64> command{};
    std::snprintf(command.data(), command.size(), "cp /tmp/image /user/images/image%c\n", slot);
    sys::run_command(command.data());
    const int number = slot - '0';
    std::printf("Setting boot image to %d\n", number);
    nvram_set_boot_slot(static_cast<std::uint8_t>(number));
    nvram_set_booted_image(static_cast<std::uint8_t>(number));
}

}  // namespace

int boot_rescue_partition() {
    constexpr const char* tarball_path = "/tmp/varosimage.tar.gz";
    platform::unique_file tarball = platform::open_file(tarball_path, "w");
    if (!tarball) {
        std::fputs("Failed to open AppOS tarfile.\n", stderr);
        reboot_board();
    }
    const int fd = mtd_fd(MTD_RESCUE);
    // An unreadable partition shows as erased flash: no image type.
    std::array<std::uint8_t, image::header_probe_size> probe{};
    probe.fill(0xFF);
    partition_read(probe.data(), fd, 0, probe.size());
    const image::image_header header = image::parse_image_header(probe);
    const std::uint32_t type = header.type();
    if (type != image::TYPE_APPLICATION && type != image::TYPE_DIAGNOSTICS) {
        std::fputs("Image not found... \n", stderr);
        return 0;
    }
    std::vector<std::uint8_t> data;
    if (!read_intact(fd, header, data)) {
        std::fputs("Image CRC failed. Quitting\n", stderr);
        return 0;
    }
    const auto payload = std::span(data).subspan(header.header_length, header.payload_length);
    std::fwrite(payload.data(), 1, payload.size(), tarball.get());
    tarball.reset();

    if (type == image::TYPE_DIAGNOSTICS) {
        std::puts("Launching diagnostics image");
        if (!write_file(tarball_path, payload)) {
            std::fputs("Failed to open diags image file.\n", stderr);
            reboot_board();
        }
        nvram_set_booted_image(booted_rescue);
    } else {
        ask_to_install_recovery(data);
    }
    std::vector<std::uint8_t>().swap(data);
    start_application(type == image::TYPE_DIAGNOSTICS ? 1 : 0);
}
