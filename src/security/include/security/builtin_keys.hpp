// The two public keys compiled into the boot manager, as PEM text with a terminating zero.
#pragma once

#include <cstdint>

inline constexpr std::uint32_t BUILTIN_KEY_LENGTH = 451;
// With the terminator: what the key store copies and writes.
inline constexpr std::uint32_t BUILTIN_KEY_SIZE = BUILTIN_KEY_LENGTH + 1;

extern const char builtin_production_key[BUILTIN_KEY_SIZE];
extern const char builtin_development_key[BUILTIN_KEY_SIZE];
