#include "security/signature_policy.hpp"

#include <fcntl.h>

#include <array>
#include <cstdio>
#include <vector>

#include "hw/mtd.hpp"
#include "image/byte_order.hpp"
#include "image/header.hpp"
#include "platform/files.hpp"
#include "platform/seam.hpp"
#include "security/imgsign.hpp"
#include "security/key_store.hpp"
#include "security/low_security.hpp"
#include "security/signed_range.hpp"
#include "sys/console.hpp"

namespace {

// The answer of is_developer_image once reached; only it reads or writes them.
std::uint32_t developer_image = 0;
std::uint32_t developer_image_known = 0;

constexpr const char* kHashFailed = "HASH calculation for signed image failed: rc = %d \n";

// SHA-256 of the signed range, or the status of a failed computation.
CryptoStatus hash_of(std::span<const std::uint8_t> range, std::array<std::uint8_t, 32>& hash) {
    std::uint32_t length = 0;
    static const std::uint8_t kNothing = 0;
    return IMGSIGN_computeSHA256(range.empty() ? &kNothing : range.data(),
                                 static_cast<std::uint32_t>(range.size()), hash.data(), &length);
}

CryptoStatus verify_with(const std::array<std::uint8_t, 32>& hash,
                         std::span<const std::uint8_t> signature, const system_key& key) {
    return IMGSIGN_verifySignature(hash.data(), static_cast<std::int32_t>(hash.size()),
                                   signature.data(), static_cast<std::int32_t>(signature.size()),
                                   key.text.data(), key.length);
}

int result_line(bool verified) {
    std::fputs(verified ? " Image signature verified. " : " Image rejected. ", stdout);
    std::fflush(stdout);
    return verified ? 1 : 0;
}

// The root file system's first sub-image, as far as the partition holds it.
std::optional<std::vector<std::uint8_t>> read_rfs_header_image(int fd, bool& unsigned_rfs) {
    std::array<std::uint8_t, image::header_probe_size> probe{};
    if (mtd_read(fd, 0, probe.size(), probe.data()) != 1) {
        return std::nullopt;
    }
    if (image::load_be32(probe.data() + 16) != image::hdr3_magic) {
        unsigned_rfs = true;
        return std::nullopt;
    }
    mtd_geometry geometry{};
    const std::uint64_t extent = std::uint64_t{image::load_be32(probe.data() + 4)} + 16;
    if (mtd_get_info(fd, &geometry) != 1 || extent > geometry.total_size) {
        return std::nullopt;
    }
    std::vector<std::uint8_t> sub_image(extent);
    if (mtd_read(fd, 0, static_cast<std::uint32_t>(extent), sub_image.data()) != 1) {
        return std::nullopt;
    }
    return sub_image;
}

}  // namespace

int is_developer_image() {
    if (developer_image_known == 1) {
        return static_cast<int>(developer_image);
    }
    const platform::unique_dev_fd rfs(platform::dev_open("/dev/mtd-rfs", O_RDONLY));
    if (rfs.get() < 0) {
        return 0;
    }
    bool unsigned_rfs = false;
    const auto sub_image = read_rfs_header_image(rfs.get(), unsigned_rfs);
    if (unsigned_rfs) {
        developer_image = 1;
        developer_image_known = 1;
        return 1;
    }
    if (!sub_image) {
        return 0;
    }
    const signed_range range = find_signed_range(*sub_image);
    if (range.what != signed_range::kind::signed_image) {
        return 0;
    }
    std::array<std::uint8_t, 32> hash{};
    const CryptoStatus status = hash_of(range.hashed, hash);
    if (status != OK) {
        std::printf(kHashFailed, static_cast<int>(status));
        return 0;
    }
    system_key key{};
    if (load_system_key(&key, DEVELOPMENT_KEY_PATH) != 1) {
        return 0;
    }
    developer_image = verify_with(hash, range.signature, key) == OK ? 1 : 0;
    developer_image_known = 1;
    return static_cast<int>(developer_image);
}

int check_unsigned_image() {
    const int developer = is_developer_image();
    const int low = is_low_security();
    if (developer == 1 && low == 1) {
        std::puts(
            "\nWARNING: Image is unsigned but you are running developer images and are in low "
            "security mode");
        return confirm_yN("Install image anyway?");
    }
    std::puts(" Image rejected as it has no signature");
    return 0;
}

int verify_image_signature(std::span<const std::uint8_t> sub_image) {
    const int low = is_low_security();
    const signed_range range = find_signed_range(sub_image);
    if (range.what == signed_range::kind::unsigned_image) {
        return check_unsigned_image();
    }
    if (range.what == signed_range::kind::malformed) {
        return result_line(false);
    }
    std::array<std::uint8_t, 32> hash{};
    const CryptoStatus status = hash_of(range.hashed, hash);
    if (status != OK) {
        std::printf(kHashFailed, static_cast<int>(status));
        return 0;
    }
    system_key key{};
    if (load_system_key(&key, PRODUCTION_KEY_PATH) != 1) {
        return 0;
    }
    CryptoStatus r = verify_with(hash, range.signature, key);
    if (r != OK) {
        const int developer = is_developer_image();
        if (low == 1 || developer == 1) {
            std::puts(developer == 1
                          ? "\nNOTE - developer images operational. Checking developer keys...."
                          : "\nNOTE - low security mode is operational. Checking developer "
                            "keys....");
            if (load_system_key(&key, DEVELOPMENT_KEY_PATH) != 1) {
                return 0;
            }
            r = verify_with(hash, range.signature, key);
            if (r != OK && developer == 1 && low == 1) {
                std::puts(
                    "\nWARNING: All checks failed but you are running developer images and are "
                    "in low security mode");
                if (confirm_yN("Install image anyway?") == 1) {
                    r = OK;
                }
            }
        }
    }
    return result_line(r == OK);
}
