#include "install/installer.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <new>
#include <span>
#include <vector>

#include "hw/i2c.hpp"
#include "hw/mtd.hpp"
#include "image/bundle.hpp"
#include "image/byte_order.hpp"
#include "image/crc.hpp"
#include "image/header.hpp"
#include "image/installed.hpp"
#include "install/file_writer.hpp"
#include "installer_kinds.hpp"
#include "platform/files.hpp"
#include "security/signature_policy.hpp"
#include "sys/shell.hpp"

namespace image {
namespace {

// start_application, once start-up has registered it.
application_starter registered_start = nullptr;

constexpr const char* images_dir = "/user/images";
constexpr const char* uboot_header_path = "/user/images/uboot-hdr";
// Present while a slot file is being rewritten and its install has not yet taken effect.
constexpr const char* pending_format = "/user/images/image%d.pending";
constexpr const char* app_tarball_path = "/tmp/varosimage.tar.gz";
constexpr const char* kxos_path = "/tmp/xos-image.gz";
// Answers to the slot question: one line of at most 31 characters.
constexpr int answer_size = 32;

enum class outcome { written, skipped, failed, quit };

// One sub-image in memory, or why it is not.
struct loaded {
    std::vector<std::uint8_t> bytes;
    // The header lengths fit the file and every byte was read; otherwise the sub-image counts
    // as damaged and `shown_crc` is the CRC of the header bytes that could be read.
    bool intact = false;
    std::uint32_t shown_crc = 0;
};

class installer {
public:
    installer(int bundle, std::uint8_t check_version, std::uint32_t slot)
        : bundle_(bundle), check_version_(check_version), slot_(slot) {}

    int run();

private:
    outcome install(const subimage_ref& sub);
    bool load(const subimage_ref& sub, loaded& out);
    bool crc_holds(const loaded& sub, const image_header& header, const char* crc_failure) const;
    bool same_version(const image_header& header) const;
    outcome install_flash(const flash_kind& kind, const loaded& sub, const image_header& header);
    outcome install_application(const loaded& sub, const image_header& header);
    outcome install_kxos(const loaded& sub, const image_header& header);
    // Fails or never returns.
    outcome boot_directly(const loaded& sub, const image_header& header);
    bool ask_slot(const char* question);
    bool write_slot_file(const loaded& sub);
    // Points the boot selector at the slot and records the install time.
    outcome commit_slot();

    int bundle_;
    std::uint8_t check_version_;
    std::uint32_t slot_;
};

// The bytes after the crc field of a header that read_subimage refused.
std::uint32_t probe_crc(int fd, std::uint64_t offset) {
    std::array<std::uint8_t, header_probe_size> probe{};
    if (::pread(fd, probe.data(), probe.size(), static_cast<off_t>(offset)) !=
        static_cast<ssize_t>(probe.size())) {
        return 0;
    }
    return image_crc(std::span(probe).subspan(4), crc_initial);
}

bool installer::load(const subimage_ref& sub, loaded& out) {
    if (sub.fault != header_fault::none) {
        out.shown_crc = probe_crc(bundle_, sub.offset);
        return true;
    }
    const std::uint32_t total = sub.header.total();
    try {
        out.bytes.resize(total);
    } catch (const std::bad_alloc&) {
        std::printf("Failed to allocate buffer for image (%d)\n", static_cast<int>(total));
        return false;
    }
    out.intact = read_file_range(bundle_, sub.offset, total, out.bytes);
    if (!out.intact) {
        out.shown_crc = probe_crc(bundle_, sub.offset);
    }
    return true;
}

// The header comes from the probe, not from `sub.bytes`: a version-1 or -2 sub-image may be
// shorter than the probe, or even than the common fields.
bool installer::crc_holds(const loaded& sub, const image_header& header,
                          const char* crc_failure) const {
    if (!sub.intact) {
        std::printf(crc_failure, static_cast<unsigned>(sub.shown_crc));
        return false;
    }
    const auto rest = std::span(sub.bytes).subspan(4);
    const std::uint32_t computed = image_crc(rest, crc_initial);
    if (computed != header.crc) {
        std::printf(crc_failure, static_cast<unsigned>(computed));
        return false;
    }
    return true;
}

// The policy prints its own verdict; a refusal adds nothing here.
bool signature_accepted(const loaded& sub) {
    return verify_image_signature(sub.bytes) == 1;
}

bool installer::same_version(const image_header& header) const {
    std::array<std::uint8_t, header_common_size> common{};
    store_be32(common.data(), header.crc);
    store_be32(common.data() + 4, header.length);
    store_be32(common.data() + 8, header.raw_type);
    store_be32(common.data() + 12, header.version);
    return same_version_installed(common, slot_) == 1;
}

outcome installer::install_flash(const flash_kind& kind, const loaded& sub,
                                 const image_header& header) {
    if (!crc_holds(sub, header, kind.crc_failure)) {
        return outcome::failed;
    }
    const std::uint32_t measured = kind.limit_on_payload ? header.payload_length : header.total();
    if (measured > kind.limit) {
        std::printf(kind.size_failure, static_cast<int>(measured), static_cast<int>(kind.limit));
        return outcome::failed;
    }
    if (kind.signed_type && !signature_accepted(sub)) {
        return outcome::failed;
    }
    if (check_version_ != 0 && same_version(header)) {
        std::puts("Image has same version as existing image. Skipping update...");
        return outcome::skipped;
    }
    const std::uint8_t* data = sub.bytes.data();
    std::uint32_t length = header.total();
    if (kind.payload_only) {
        data += header.header_length;
        length = header.payload_length;
    }
    if (partition_write(data, mtd_fd(kind.partition), 0, length, 1) < 0) {
        std::puts(kind.write_failure);
        return outcome::failed;
    }
    if (kind.type == TYPE_BOOTLOADER) {
        // The boot loader's partition keeps only the payload; its header with the records is
        // kept beside the slots. Losing that copy does not undo the install.
        const platform::unique_fd copy(
            ::open(uboot_header_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
        if (!copy) {
            std::printf("WARNING: Unable to open %s for writing\n", uboot_header_path);
        } else if (!write_fully(copy.get(), sub.bytes.data(), header.header_length)) {
            std::printf("WARNING: Uboot header file updated failed (err %d)\n", errno);
        }
    }
    if (kind.type == TYPE_DIAGNOSTICS) {
        std::puts("done");
    }
    return outcome::written;
}

using pending_path = std::array<char, 40>;

pending_path pending_marker(std::uint32_t slot) {
    pending_path path{};
    std::snprintf(path.data(), path.size(), pending_format, static_cast<int>(slot));
    return path;
}

bool exists(const char* path) {
    struct stat st {};
    return ::stat(path, &st) == 0;
}

// One answer line; false at the end of input.
bool read_answer(std::array<char, answer_size>& answer) {
    answer.fill('\0');
    if (std::fgets(answer.data(), answer.size(), stdin) != nullptr) {
        return true;
    }
    const bool closed = std::feof(stdin) != 0;
    std::clearerr(stdin);
    return !closed;
}

std::uint32_t slot_of(const std::array<char, answer_size>& answer) {
    return answer[0] == '1' ? 1 : answer[0] == '2' ? 2 : 0;
}

outcome installer::install_application(const loaded& sub, const image_header& header) {
    if (!crc_holds(sub, header, "Bad crc for APPLICATION: 0x%08x, voiding download\n") ||
        !signature_accepted(sub)) {
        return outcome::failed;
    }
    if (slot_ == 0) {
        std::printf("Install image as image 1 or 2 (hit return to just boot image): ");
        std::fflush(stdout);
        std::array<char, answer_size> answer{};
        read_answer(answer);
        slot_ = slot_of(answer);
    }
    if (slot_ == 0) {
        return boot_directly(sub, header);
    }
    std::printf("Installing image as image%d: ", static_cast<int>(slot_));
    const pending_path pending = pending_marker(slot_);
    if (check_version_ != 0 && same_version(header)) {
        // A whole slot file whose install the power cut short still needs the rest of it.
        if (exists(pending.data())) {
            return commit_slot();
        }
        std::printf("Image%d has same version as existing image. Skipping update...\n",
                    static_cast<int>(slot_));
        return outcome::skipped;
    }
    if (!exists(images_dir)) {
        ::mkdir(images_dir, 0755);
    }
    // Without the marker a cut before the selector is written would leave the new file looking
    // installed for good; an install that cannot leave one still goes ahead.
    platform::unique_fd(::open(pending.data(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644))
        .reset();
    if (!write_slot_file(sub)) {
        std::printf("Image%d update failed (err %d)\n", static_cast<int>(slot_), errno);
        return outcome::failed;
    }
    return commit_slot();
}

outcome installer::commit_slot() {
    std::printf("\nImage%d updated succeeded\n", static_cast<int>(slot_));
    nvram_set_boot_slot(static_cast<std::uint8_t>(slot_));
    stamp_image(static_cast<std::uint8_t>(slot_));
    ::unlink(pending_marker(slot_).data());
    return outcome::written;
}

bool installer::write_slot_file(const loaded& sub) {
    char path[32];
    std::snprintf(path, sizeof path, "%s/image%d", images_dir, static_cast<int>(slot_));
    const platform::unique_fd file(::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!file) {
        return false;
    }
    std::printf("%s", progress_blank);
    const auto total = static_cast<std::uint32_t>(sub.bytes.size());
    std::uint32_t written = 0;
    while (written < total) {
        const std::uint32_t piece =
            total - written < write_piece_size ? total - written : write_piece_size;
        if (!write_fully(file.get(), sub.bytes.data() + written, piece)) {
            return false;
        }
        written += piece;
        std::printf(progress_step, static_cast<int>(std::uint64_t{written} * 100 / total), '%');
        std::fflush(stdout);
    }
    std::printf(progress_done, '%');
    return true;
}

outcome installer::boot_directly(const loaded& sub, const image_header& header) {
    std::puts("Booting downloaded image");
    platform::unique_fd tarball(
        ::open(app_tarball_path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644));
    if (!tarball || !write_fully(tarball.get(), sub.bytes.data() + header.header_length,
                                 header.payload_length)) {
        std::printf("Image unpack failed (err %d)\n", errno);
        return outcome::failed;
    }
    std::puts("Image ready to boot...");
    tarball.reset();
    ::close(bundle_);
    if (registered_start != nullptr) {
        registered_start(0);
    }
    reboot_board();
}

outcome installer::install_kxos(const loaded& sub, const image_header& header) {
    if (!crc_holds(sub, header, "Bad crc for K-XOS APPLICATION: 0x%08x, voiding download\n")) {
        return outcome::failed;
    }
    while (slot_ == 0) {
        std::printf("Install image as image 1 or 2 (q to quit): ");
        std::fflush(stdout);
        std::array<char, answer_size> answer{};
        // A closed console can never answer: take it as "q" rather than asking for ever.
        if (!read_answer(answer) || answer[0] == 'q' || answer[0] == 'Q') {
            return outcome::quit;
        }
        slot_ = slot_of(answer);
    }
    std::printf("Installing image as image%d: ", static_cast<int>(slot_));
    std::printf("Preparing image for installation: ");
    if (write_file_with_progress(kxos_path, sub.bytes.data() + header.header_length,
                                 static_cast<std::int32_t>(header.payload_length)) == 0) {
        std::printf("WARNING: writing image file failed (err %d)\n", errno);
        return outcome::failed;
    }
    std::printf("\nImage%d updated succeeded\n", static_cast<int>(slot_));
    nvram_set_boot_slot(static_cast<std::uint8_t>(slot_));
    return outcome::written;
}

outcome installer::install(const subimage_ref& sub) {
    const image_header& header = sub.header;
    const std::uint32_t type = header.type();
    const flash_kind* kind = find_flash_kind(type);
    if (kind == nullptr && type != TYPE_APPLICATION && type != TYPE_KXOS) {
        return outcome::skipped;
    }
    loaded image;
    if (!load(sub, image)) {
        return outcome::failed;
    }
    if (kind != nullptr) {
        std::printf("%s", kind->announcement);
        std::fflush(stdout);
        return install_flash(*kind, image, header);
    }
    if (type == TYPE_APPLICATION) {
        std::printf("Installing Application: ");
        std::fflush(stdout);
        return install_application(image, header);
    }
    std::printf("Installing K-XOS application: ");
    std::fflush(stdout);
    return install_kxos(image, header);
}

int installer::run() {
    std::puts("\nExtracting images ... Do *NOT* power cycle the switch.");
    bundle_walk walk(bundle_);
    int installed = 0;
    for (;;) {
        subimage_ref sub{};
        if (walk.next(sub) != walk_step::subimage) {
            break;
        }
        const outcome result = install(sub);
        if (result == outcome::failed || result == outcome::quit) {
            return 0;
        }
        if (result == outcome::written) {
            installed = 1;
        }
    }
    if (installed == 0) {
        std::puts("ERROR: No valid image found");
    }
    return installed;
}

}  // namespace
}  // namespace image

void register_application_starter(application_starter start) {
    image::registered_start = start;
}

int install_bundle(const char* path, std::uint8_t check_version, std::uint32_t slot) {
    const platform::unique_fd bundle(::open(path, O_RDONLY | O_CLOEXEC));
    if (!bundle) {
        return 0;
    }
    return image::installer(bundle.get(), check_version, slot).run();
}
