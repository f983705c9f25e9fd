// The signing layer's AES operations: CBC contexts for the key store's files.
// Create, then DoAES with the context's direction, then Delete.
#pragma once

#include <cstdint>

#include "crypto/aes.hpp"
#include "crypto/status.hpp"

// A CBC context for the given direction, or null (bad key length, no memory).
AesContext* CreateAESCtx(const std::uint8_t* keyMaterial, std::int32_t keyLength,
                         std::int32_t encrypt);
// In place; iv is left holding the last ciphertext block so calls can continue one chain.
// ERR_AES_BAD_LENGTH unless dataLength is a multiple of 16; a length of 0 changes nothing and
// returns OK, whatever data points to.
CryptoStatus DoAES(AesContext* ctx, std::uint8_t* data, std::int32_t dataLength,
                   std::int32_t encrypt, std::uint8_t* iv);
// Wipes and releases *ctx and sets it to null. Always 0.
CryptoStatus DeleteAESCtx(AesContext** ctx);
