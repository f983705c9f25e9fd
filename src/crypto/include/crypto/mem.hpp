// Byte-wise memory helpers. Counts below 1 touch nothing, but null pointers are still
// ERR_NULL_POINTER; otherwise each returns OK.
#pragma once

#include <cstdint>

#include "crypto/status.hpp"

// Copies forwards: overlapping buffers are safe only with dest before src.
CryptoStatus MEM_copy(void* dest, const void* src, std::int32_t count);
// Its stores are never optimised away, so it serves to wipe secrets.
CryptoStatus MEM_set(void* dest, std::uint8_t value, std::int32_t count);
// result: -1, 0 or 1 by the first differing byte, taken as unsigned; 0 for a count below 1.
// Not constant-time.
CryptoStatus MEM_compare(const void* a, const void* b, std::int32_t count, std::int32_t* result);
// dest[i] ^= src[i].
CryptoStatus MEM_xor(void* dest, const void* src, std::int32_t count);
