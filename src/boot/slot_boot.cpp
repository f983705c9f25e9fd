#include "boot/slot_boot.hpp"

#include <fcntl.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "boot/app_start.hpp"
#include "boot/gdb_extract.hpp"
#include "boot/usb.hpp"
#include "hw/i2c.hpp"
#include "image/bundle.hpp"
#include "image/byte_order.hpp"
#include "image/crc.hpp"
#include "image/records.hpp"
#include "install/file_writer.hpp"
#include "platform/files.hpp"
#include "rescue/rescue.hpp"
#include "sys/console.hpp"
#include "sys/flags.hpp"
#include "sys/shell.hpp"

namespace {

using platform::unique_fd;
using platform::unique_file;

const char* slot_path(int slot) {
    return slot == 1 ? "/user/images/image1" : "/user/images/image2";
}

int other_slot(int slot) {
    return slot == 1 ? 2 : 1;
}

// The type a version-3 header's records give the sub-image instead of its own.
std::uint32_t record_type(int source, const image::subimage_ref& sub) {
    std::vector<std::uint8_t> header;
    if (!image::read_header_bytes(source, sub, header)) {
        return sub.header.raw_type;
    }
    const image::alternative_type alternative = image::find_alternative_type(header);
    if (alternative.type) {
        return *alternative.type;
    }
    if (alternative.end == image::record_end::bad_length) {
        std::puts("Image header error");
    }
    return sub.header.raw_type;
}

// Opens the chosen slot file, or the other one when it is missing (the choice follows). When
// neither opens there is nothing left to boot.
unique_fd open_slot(int& choice) {
    unique_fd source(::open(slot_path(choice), O_RDONLY | O_CLOEXEC));
    if (source) {
        return source;
    }
    const int other = other_slot(choice);
    std::fprintf(stderr, "Failed to open Application image %d. Trying image %d.\n", choice, other);
    choice = other;
    source.reset(::open(slot_path(choice), O_RDONLY | O_CLOEXEC));
    if (!source) {
        std::fprintf(stderr, "Failed to open Application image %d.\n", choice);
        rescue_menu();
        shell_then_reboot();
    }
    return source;
}

// Opens the drive's image. Its first boot puts it on the rejected list; every later boot of
// the same content needs the operator's yes.
unique_fd open_usb_image() {
    unique_fd source(::open(usb_os_image_path, O_RDONLY | O_CLOEXEC));
    if (!source) {
        std::fputs("Failed to open application image from USB.\n", stderr);
        return source;
    }
    if (in_rejected_list(usb_os_image_path) == 0) {
        add_to_rejected_list(usb_os_image_path);
    } else if (ask_yes_no_timeout("USB image is in rejected list.\nWould you still like to load "
                                  "it? ") == 0) {
        source.reset();
    } else {
        std::puts("Continuing to load USB image...");
    }
    return source;
}

}  // namespace

int find_bootable_image(int source, bootable_image& found) {
    image::bundle_walk walk(source);
    image::subimage_ref sub{};
    while (walk.next(sub) == image::walk_step::subimage) {
        found.type = sub.header.type();
        if (sub.fault != image::header_fault::none) {
            return 0;
        }
        std::uint32_t type = sub.header.raw_type;
        if (sub.header.header_version == 3) {
            type = record_type(source, sub);
        }
        type &= ~image::type_v2_flag;
        found.type = type;
        if (type == image::TYPE_APPLICATION || type == image::TYPE_DIAGNOSTICS) {
            found.header_version = sub.header.header_version;
            found.header_length = sub.header.header_length;
            found.payload_length = sub.header.payload_length;
            image::store_be32(found.header_copy.data(), sub.header.crc);
            image::store_be32(found.header_copy.data() + 4, sub.header.length);
            image::store_be32(found.header_copy.data() + 8, sub.header.raw_type);
            image::store_be32(found.header_copy.data() + 12, sub.header.version);
            found.offset = sub.offset;
            return 1;
        }
    }
    return 0;
}

int boot_image_slot(int choice) {
    if (choice < 1 || choice > 3) {
        return 0;
    }
    const bool usb = choice == 3;
    unique_fd source = usb ? open_usb_image() : open_slot(choice);
    if (!source) {
        return 0;
    }
    unique_file tarball = platform::open_file("/tmp/varosimage.tar.gz", "w");
    if (!tarball) {
        std::fputs("Failed to open application image output file.\n", stderr);
        source.reset();
        shell_then_reboot();
    }

    bootable_image found;
    if (find_bootable_image(source.get(), found) == 0) {
        tarball.reset();
        source.reset();
        if (usb) {
            std::fputs("Error: USB image corrupted or belongs to another switch type.\n", stderr);
            return 0;
        }
        if (second_attempt != 0) {
            std::fputs("No valid application image found. Trying rescue image\n", stderr);
            rescue_menu();
            shell_then_reboot();
        }
        std::fprintf(stderr, "Image has invalid header 0x%x. (0x%x)\n", found.type,
                     image::TYPE_DIAGNOSTICS);
        std::fprintf(stderr, "Image%d has invalid header... trying Image%d.\n", choice,
                     other_slot(choice));
        return 0;
    }

    // The whole sub-image is checked before a byte of the payload is written, without holding
    // it in memory (filling and first touching that much costs more than the reads): the CRC is
    // taken piece by piece through a small buffer, then the payload is copied the same way. A
    // read that fails (a file cut short under us) fails the attempt like a damaged image.
    std::uint32_t crc = image::crc_initial;
    const bool intact =
        image::crc_file_range(source.get(), found.offset + 4,
                              found.header_length + found.payload_length - 4, crc) &&
        crc == image::load_be32(found.header_copy.data());
    if (!intact) {
        if (usb) {
            std::fputs("USB image CRC failed.", stderr);
            return 0;
        }
        if (second_attempt != 0) {
            std::fputs("Both image1 and image2 failed.\n", stderr);
            tarball.reset();
            source.reset();
            shell_then_reboot();
        }
        std::fprintf(stderr, "Image%d CRC failed, trying Image%d now.\n", choice,
                     other_slot(choice));
        return 0;
    }

    // The payload is read a second time, through the same descriptor; these are the bytes just
    // checked because nothing writes image files while a slot boots: the boot manager runs
    // before any application, the commands it has run have ended, it opened the source
    // read-only, and the only writer of slot files, its installer, does not run here. The open
    // descriptor keeps the checked file even if its name were replaced. A copy cut short leaves a
    // tarball that the application start cannot unpack.
    copy_file_bytes(source.get(), found.offset + found.header_length, found.payload_length,
                    ::fileno(tarball.get()));
    tarball.reset();
    source.reset();
    nvram_set_booted_image(static_cast<std::uint8_t>(choice));
    if (gdb_mode != 0 && gdbserver_mode == 0) {
        extract_gdb(choice);
    }
    start_application(found.type == image::TYPE_DIAGNOSTICS ? 1 : 0);
}
