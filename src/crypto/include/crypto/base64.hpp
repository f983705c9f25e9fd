// Base64 decoding (RFC 4648 alphabet) through a table set up at library start-up.
#pragma once

#include <cstdint>

#include "crypto/status.hpp"

// Builds the process-wide decoding table (PLATFORM_malloc, never freed); a second call
// replaces it. Not safe against a decode running at the same time. ERR_MEM_ALLOC_FAIL.
CryptoStatus BASE64_initializeContext();
// Decodes length characters: a whole number of 4-character groups, at least one, '=' padding
// only in the last group and no white space. *output is allocated (length/4*3 bytes) and
// *outputLength set before decoding starts; the caller releases it with BASE64_freeMessage,
// also after ERR_BASE64_BAD_INPUT for a bad character, when it is partly written. Failures before
// that leave both outputs untouched: ERR_NULL_POINTER, ERR_BASE64_NOT_INITIALISED,
// ERR_BASE64_BAD_INPUT for a bad length, ERR_MEM_ALLOC_FAIL. Lenient: unused low bits are
// ignored, and after a '=' in third place the fourth character is not looked at.
CryptoStatus BASE64_decodeMessage(const std::uint8_t* text, std::uint32_t length,
                                  std::uint8_t** output, std::uint32_t* outputLength);
// Frees *output (not wiped) and sets it to null. ERR_NULL_POINTER when output or *output is null.
CryptoStatus BASE64_freeMessage(std::uint8_t** output);
