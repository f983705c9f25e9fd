// Byte-wise memory helpers; counts below 1 touch nothing.
#pragma once

#include <cstdint>

#include "crypto/status.hpp"

CryptoStatus MEM_copy(void* dest, const void* src, std::int32_t count);
CryptoStatus MEM_set(void* dest, std::uint8_t value, std::int32_t count);
// result: -1, 0 or 1 by the first differing byte, taken as unsigned.
CryptoStatus MEM_compare(const void* a, const void* b, std::int32_t count, std::int32_t* result);
CryptoStatus MEM_xor(void* dest, const void* src, std::int32_t count);
