// Flags that the boot-loader environment sets for the whole run.
#pragma once

#include <cstdint>
#include <span>

extern std::uint32_t gdb_mode;
extern std::uint32_t gdbserver_mode;
extern std::int32_t gdb_port;
extern std::uint8_t shell_mode;
extern std::uint8_t memchk_mode;
extern std::uint32_t rescue_requested;
extern std::uint32_t diags_requested;
extern std::uint32_t lowsec_override;

// Bytes of the environment partition that are examined, starting after the checksum word.
inline constexpr std::uint32_t ENV_BLOCK_OFFSET = 4;
inline constexpr std::uint32_t ENV_BLOCK_SIZE = 1280;

// Reads the environment block from flash and sets the flags. Nothing is reported; an
// unreadable partition leaves every flag as it was.
void read_env_flags();

// Sets the flags from a block as read from flash (at most ENV_BLOCK_SIZE bytes are looked at).
void parse_env_flags(std::span<const std::uint8_t> block);
