// Bundles, board set-up and expected console texts shared by the installer and USB tests.
#pragma once

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "boot_support.hpp"
#include "crypto/crypto.hpp"
#include "image/records.hpp"
#include "image/writer.hpp"
#include "install/installer.hpp"
#include "signer.hpp"

namespace boardtest {

inline const std::string extracting =
    "\r\nExtracting images ... Do *NOT* power cycle the switch.\r\n";
inline constexpr std::uint32_t flash_block = 0x10000;

// A sealed version-3 sub-image with the given release number.
inline Bytes versioned(std::uint32_t type, std::uint32_t version, const Bytes& payload,
                       std::vector<image::record_spec> records = {}) {
    return image::make_subimage({type, version, 3, std::move(records), payload}).value();
}

// The same, carrying a signature of its payload made with the sample key "production" or
// "development".
inline Bytes signed_with(const std::string& key, std::uint32_t type, std::uint32_t version,
                         const Bytes& payload) {
    const Bytes signature = sectest::sign(key, payload);
    Bytes body{static_cast<std::uint8_t>(signature.size() >> 8),
               static_cast<std::uint8_t>(signature.size())};
    body.insert(body.end(), signature.begin(), signature.end());
    return versioned(type, version, payload, {{image::record_signature, body}});
}

inline Bytes production_signed(std::uint32_t type, std::uint32_t version, const Bytes& payload) {
    return signed_with("production", type, version, payload);
}

inline const std::string verified = " Image signature verified. ";

inline void put_bundle(const Board& board, const Bytes& bundle,
                       const std::string& path = "tmp/bundle.img") {
    write_bytes(board.root() / path, bundle);
}

// What main has set up before its USB steps: the platform and the crypto library that checks
// signatures.
inline void prepare_installer() {
    prepare_platform();
    CRYPTO_initLibrary();
}

// install_bundle of /tmp/bundle.img as main would call it, after the platform is prepared.
inline std::function<int()> install_as(std::uint8_t check_version, std::uint32_t slot) {
    return [check_version, slot] {
        prepare_installer();
        return install_bundle("/tmp/bundle.img", check_version, slot);
    };
}

// What partition_write shows for `length` bytes from offset 0: a percentage per block started.
inline std::string flash_progress(std::uint32_t length) {
    const std::uint32_t blocks =
        std::max<std::uint32_t>(1, (length + flash_block - 1) / flash_block);
    std::string text = "     ";
    char step[16];
    for (std::uint32_t i = 0; i < blocks; ++i) {
        std::snprintf(step, sizeof step, "\b\b\b\b%3.3d%%", static_cast<int>(i * 100 / blocks));
        text += step;
    }
    return text + "\b\b\b\b100%\r\n";
}

// What the slot file writer shows: a percentage after every 64 KiB piece, then 100 % again.
inline std::string slot_progress(std::uint32_t total) {
    std::string text = "    ";
    char step[16];
    for (std::uint32_t done = 0; done < total;) {
        done += std::min<std::uint32_t>(0x10000, total - done);
        std::snprintf(step, sizeof step, "\b\b\b\b%3.3d%%",
                      static_cast<int>(std::uint64_t{done} * 100 / total));
        text += step;
    }
    return text + "\b\b\b\b100%\r\n";
}

inline Bytes partition_prefix(const Board& board, const char* name, std::size_t size) {
    const Bytes all = sim::read_partition(board.root(), name).value();
    return Bytes(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(size));
}

inline bool erased(const Board& board, const char* name) {
    const Bytes all = sim::read_partition(board.root(), name).value();
    return std::all_of(all.begin(), all.end(), [](std::uint8_t b) { return b == 0xFF; });
}

}  // namespace boardtest
