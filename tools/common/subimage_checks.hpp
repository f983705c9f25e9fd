// What imgtool and boardsim say about a sub-image they read: why its header is unusable, and
// whether a public key verifies its signature through the boot manager's own check.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "image/header.hpp"

namespace tools {

// Why a header's lengths describe no sub-image, for people; "" for none. A sub-image that runs
// past the end of what holds it is "runs past the end".
const char* header_fault_text(image::header_fault fault);

// True when the key (PEM text, or DER) verifies the signature over the SHA-256 digest with
// IMGSIGN_verifySignature: RSASSA-PKCS1-v1_5, encoded exactly. An empty signature or key never
// verifies. Needs the crypto library started (its Base64 tables).
bool key_verifies(const std::array<std::uint8_t, 32>& sha256,
                  std::span<const std::uint8_t> signature, std::span<const std::uint8_t> key_text);

}  // namespace tools
