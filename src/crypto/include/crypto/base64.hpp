// Base64 decoding (RFC 4648 alphabet) through a table set up at library start-up.
#pragma once

#include <cstdint>

#include "crypto/status.hpp"

CryptoStatus BASE64_initializeContext();
// *output is allocated (length/4*3 bytes) before decoding starts; the caller releases it with
// BASE64_freeMessage, also after a failure.
CryptoStatus BASE64_decodeMessage(const std::uint8_t* text, std::uint32_t length,
                                  std::uint8_t** output, std::uint32_t* outputLength);
CryptoStatus BASE64_freeMessage(std::uint8_t** output);
