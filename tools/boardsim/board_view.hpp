// What a board holds, decoded: the sub-images in each flash partition and image slot file with
// their checks, the flash wear, and the EEPROM fields with their meaning. show prints it as
// text, JSON or a flash map.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "image/header.hpp"

namespace boardsim {

// What the board's own keys (the boot manager's built-in ones) make of a sub-image's signature.
enum class signature_state { unsigned_image, malformed, production, development, rejected };

struct subimage_view {
    std::uint64_t offset = 0;
    image::header_fault fault = image::header_fault::none;  // the rest holds only when none
    image::image_header header{};
    bool crc_good = false;
    signature_state signature = signature_state::unsigned_image;
};

// A flash partition or an image slot file.
struct content_view {
    std::string name;
    bool present = false;  // the file exists and reads
    std::uint64_t size = 0;
    std::vector<subimage_view> subimages;  // in order; a faulty header ends the list
    std::uint64_t rest = 0;                // bytes after the last whole sub-image
    bool rest_erased = true;               // they are all 0xFF (or there are none)
    // Flash partitions only.
    std::uint32_t erase_size = 0;
    std::vector<std::uint32_t> erase_counts;  // per erase block
    std::uint64_t programs_without_erase = 0;
};

struct install_time {
    std::vector<std::uint8_t> raw;    // the seven clock registers as stored
    std::optional<std::string> date;  // "YYYY-MM-DD hh:mm:ss" when they hold one
};

struct eeprom_view {
    std::optional<std::string> serial;  // nullopt: not set (all zero or erased)
    std::vector<std::uint8_t> serial_raw;
    std::uint8_t boot_selector = 0;
    int boot_slot = 1;  // what the boot manager makes of the selector
    std::array<install_time, 2> slot_times;
    std::uint8_t booted_image = 0;
    std::uint8_t usb_enable = 0;
};

struct board_view {
    std::vector<content_view> partitions;  // in partition table order
    std::vector<content_view> slots;       // image1, image2
    std::optional<eeprom_view> eeprom;
};

// The fields of an EEPROM image of at least sim::eeprom_size bytes.
eeprom_view decode_eeprom(const std::vector<std::uint8_t>& eeprom);

// Nothing after saying why the crypto library did not start.
std::optional<board_view> view_board(const std::filesystem::path& root);

const char* signature_text(signature_state state);  // for people
const char* signature_key(signature_state state);   // for scripts
// What the booted-image byte says.
std::string booted_image_text(std::uint8_t value);

}  // namespace boardsim
