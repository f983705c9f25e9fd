#include "board_view.hpp"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>

#include "crypto/crypto.hpp"
#include "image/bundle.hpp"
#include "image/crc.hpp"
#include "platform/files.hpp"
#include "security/builtin_keys.hpp"
#include "security/imgsign.hpp"
#include "security/signed_range.hpp"
#include "sim/board.hpp"
#include "subimage_checks.hpp"
#include "verb_support.hpp"

namespace boardsim {

namespace fs = std::filesystem;

namespace {

// The boot manager's check with the keys built into it, production key first.
signature_state signature_of(std::span<const std::uint8_t> sub) {
    const signed_range range = find_signed_range(sub);
    if (range.what == signed_range::kind::unsigned_image) {
        return signature_state::unsigned_image;
    }
    if (range.what == signed_range::kind::malformed) {
        return signature_state::malformed;
    }
    std::array<std::uint8_t, 32> hash{};
    std::uint32_t length = 0;
    static const std::uint8_t nothing = 0;
    if (IMGSIGN_computeSHA256(range.hashed.empty() ? &nothing : range.hashed.data(),
                              static_cast<std::uint32_t>(range.hashed.size()), hash.data(),
                              &length) != OK) {
        return signature_state::rejected;
    }
    const std::pair<const char*, signature_state> keys[] = {
        {builtin_production_key, signature_state::production},
        {builtin_development_key, signature_state::development},
    };
    for (const auto& [text, state] : keys) {
        if (tools::key_verifies(
                hash, range.signature,
                std::span(reinterpret_cast<const std::uint8_t*>(text), BUILTIN_KEY_LENGTH))) {
            return state;
        }
    }
    return signature_state::rejected;
}

bool all_erased(int fd, std::uint64_t from, std::uint64_t to) {
    std::vector<std::uint8_t> piece(65536);
    while (from < to) {
        const auto count = static_cast<std::size_t>(std::min<std::uint64_t>(to - from, 65536));
        if (::pread(fd, piece.data(), count, static_cast<off_t>(from)) !=
            static_cast<ssize_t>(count)) {
            return false;
        }
        if (std::any_of(piece.begin(), piece.begin() + static_cast<std::ptrdiff_t>(count),
                        [](std::uint8_t b) { return b != 0xFF; })) {
            return false;
        }
        from += count;
    }
    return true;
}

// Sub-images from offset 0 on; erased flash after them is free space, not a broken header.
content_view view_content(const std::string& name, const fs::path& path) {
    content_view view;
    view.name = name;
    const platform::unique_fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        return view;
    }
    view.size = static_cast<std::uint64_t>(std::max<off_t>(::lseek(fd.get(), 0, SEEK_END), 0));
    image::bundle_walk walk(fd.get());
    image::subimage_ref ref{};
    std::uint64_t end = 0;
    image::walk_step step;
    std::vector<std::uint8_t> bytes;
    while ((step = walk.next(ref)) == image::walk_step::subimage) {
        if (ref.fault != image::header_fault::none) {
            if (!all_erased(fd.get(), ref.offset, view.size)) {
                view.subimages.push_back({ref.offset, ref.fault, ref.header, false, {}});
            }
            break;
        }
        if (!image::read_subimage(fd.get(), ref, bytes)) {
            step = image::walk_step::read_error;
            break;
        }
        subimage_view sub{ref.offset, ref.fault, ref.header, false, {}};
        sub.crc_good = image::image_crc_mismatch(std::span(bytes).subspan(4), ref.header.crc) == 0;
        sub.signature = signature_of(bytes);
        view.subimages.push_back(sub);
        end = ref.offset + ref.header.total();
    }
    if (step == image::walk_step::read_error) {
        std::fprintf(stderr, "boardsim: cannot read %s\n", path.c_str());
        return view;
    }
    view.present = true;
    view.rest = view.size - end;
    view.rest_erased = all_erased(fd.get(), end, view.size);
    return view;
}

std::optional<int> bcd(std::uint8_t byte, std::uint8_t mask) {
    const std::uint8_t value = byte & mask;
    if ((value & 0x0F) > 9 || (value >> 4) > 9) {
        return std::nullopt;
    }
    return (value >> 4) * 10 + (value & 0x0F);
}

// The clock registers as the install log reads them: BCD, control bits masked off.
install_time decode_time(const std::vector<std::uint8_t>& eeprom, std::uint32_t offset) {
    install_time time;
    time.raw.assign(eeprom.begin() + offset, eeprom.begin() + offset + 7);
    const auto second = bcd(time.raw[0], 0x7F);
    const auto minute = bcd(time.raw[1], 0x7F);
    const auto hour = bcd(time.raw[2], 0x3F);
    const auto day = bcd(time.raw[4], 0x3F);
    const auto month = bcd(time.raw[5], 0x1F);
    const auto year = bcd(time.raw[6], 0xFF);
    if (second && minute && hour && day && month && year && *second < 60 && *minute < 60 &&
        *hour < 24 && *day >= 1 && *day <= 31 && *month >= 1 && *month <= 12) {
        char text[24];
        std::snprintf(text, sizeof text, "20%02d-%02d-%02d %02d:%02d:%02d", *year, *month, *day,
                      *hour, *minute, *second);
        time.date = text;
    }
    return time;
}

}  // namespace

eeprom_view decode_eeprom(const std::vector<std::uint8_t>& eeprom) {
    eeprom_view view;
    const Field serial = eeprom_fields.at("serial");
    view.serial_raw.assign(eeprom.begin() + serial.offset,
                           eeprom.begin() + serial.offset + static_cast<long>(serial.size));
    const bool unset = std::all_of(view.serial_raw.begin(), view.serial_raw.end(),
                                   [](std::uint8_t b) { return b == 0; }) ||
                       std::all_of(view.serial_raw.begin(), view.serial_raw.end(),
                                   [](std::uint8_t b) { return b == 0xFF; });
    if (!unset) {
        view.serial = field_text(serial, eeprom);
    }
    view.boot_selector = eeprom[eeprom_fields.at("boot-slot").offset];
    view.boot_slot = view.boot_selector == 2 ? 2 : 1;
    view.slot_times[0] = decode_time(eeprom, eeprom_fields.at("slot1-time").offset);
    view.slot_times[1] = decode_time(eeprom, eeprom_fields.at("slot2-time").offset);
    view.booted_image = eeprom[eeprom_fields.at("booted-image").offset];
    view.usb_enable = eeprom[eeprom_fields.at("usb-enable").offset];
    return view;
}

std::optional<board_view> view_board(const fs::path& root) {
    // Key decoding needs the library's Base64 tables, as at the boot manager's start-up.
    if (CRYPTO_initLibrary() < 0) {
        std::fprintf(stderr, "boardsim: the crypto library did not start\n");
        return std::nullopt;
    }
    board_view board;
    const auto config = sim::load_board_config(root);
    for (std::size_t i = 0; i < sim::partition_names.size(); ++i) {
        const std::string name(sim::partition_names[i]);
        content_view view = view_content(name, root / "sim/flash" / (name + ".bin"));
        view.erase_size =
            config ? config->partitions[i].erase_size : sim::BoardConfig{}.partitions[i].erase_size;
        if (const auto wear = sim::read_flash_wear(root, name)) {
            view.erase_counts = wear->erase_counts;
            view.programs_without_erase = wear->program_without_erase;
        }
        board.partitions.push_back(std::move(view));
    }
    for (const char* slot : {"image1", "image2"}) {
        board.slots.push_back(view_content(slot, root / "user/images" / slot));
    }
    if (const auto eeprom = sim::read_eeprom(root); eeprom && eeprom->size() >= sim::eeprom_size) {
        board.eeprom = decode_eeprom(*eeprom);
    }
    return board;
}

const char* signature_text(signature_state state) {
    switch (state) {
        case signature_state::unsigned_image:
            return "unsigned";
        case signature_state::malformed:
            return "signature records malformed";
        case signature_state::production:
            return "signed, verified by the board's production key";
        case signature_state::development:
            return "signed, verified by the board's development key";
        case signature_state::rejected:
            return "signed, rejected by the board's keys";
    }
    return "";
}

const char* signature_key(signature_state state) {
    switch (state) {
        case signature_state::unsigned_image:
            return "unsigned";
        case signature_state::malformed:
            return "malformed";
        case signature_state::production:
            return "production";
        case signature_state::development:
            return "development";
        case signature_state::rejected:
            return "rejected";
    }
    return "";
}

std::string booted_image_text(std::uint8_t value) {
    switch (value) {
        case 1:
        case 2:
            return "image slot " + std::to_string(value);
        case 3:
            return "the USB drive's image";
        case 4:
            return "the rescue or diagnostics image";
        case 0xFF:
            return "none recorded (erased)";
        default:
            return "unknown value";
    }
}

}  // namespace boardsim
