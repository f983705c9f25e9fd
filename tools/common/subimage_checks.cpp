#include "subimage_checks.hpp"

#include "security/imgsign.hpp"

namespace tools {

const char* header_fault_text(image::header_fault fault) {
    switch (fault) {
        case image::header_fault::none:
            return "";
        case image::header_fault::wraps:
            return "its size passes 32 bits";
        case image::header_fault::short_v3_header:
            return "version-3 header length below 24";
        case image::header_fault::total_too_small:
            return "total below 4 bytes";
        case image::header_fault::header_beyond_total:
            return "header length beyond the total";
        case image::header_fault::past_end:
            return "runs past the end";
    }
    return "";
}

bool key_verifies(const std::array<std::uint8_t, 32>& sha256,
                  std::span<const std::uint8_t> signature, std::span<const std::uint8_t> key_text) {
    // The check refuses a null pointer before it looks at a length.
    static const std::uint8_t nothing = 0;
    return IMGSIGN_verifySignature(sha256.data(), static_cast<std::int32_t>(sha256.size()),
                                   signature.empty() ? &nothing : signature.data(),
                                   static_cast<std::int32_t>(signature.size()),
                                   key_text.empty() ? &nothing : key_text.data(),
                                   static_cast<std::uint32_t>(key_text.size())) == OK;
}

}  // namespace tools
