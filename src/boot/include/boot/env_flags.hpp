// Reading the boot-loader environment into its flags (declared in sys/flags.hpp).
#pragma once

#include <cstdint>
#include <span>

// Bytes of the environment partition that are examined, starting after the checksum word.
inline constexpr std::uint32_t ENV_BLOCK_OFFSET = 4;
inline constexpr std::uint32_t ENV_BLOCK_SIZE = 1280;

// Reads the environment block from flash and sets the flags. Nothing is reported; an
// unreadable partition leaves every flag as it was.
void read_env_flags();

// Sets the flags from a block as read from flash (at most ENV_BLOCK_SIZE bytes are looked at).
void parse_env_flags(std::span<const std::uint8_t> block);
