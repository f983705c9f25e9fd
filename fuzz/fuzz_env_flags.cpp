// The input is the content of the boot-loader environment partition, checksum word first. It is
// written to the simulated board's partition and read back by the boot manager's own start-up
// step; the flags must then be the plain reading of the block.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "boot/env_flags.hpp"
#include "hw/mtd.hpp"
#include "sim/board.hpp"
#include "sys/flags.hpp"

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

constexpr std::uint32_t kPartitionSize = 0x1000;

std::filesystem::path board_dir;

void remove_board() {
    std::error_code ignored;
    std::filesystem::remove_all(board_dir, ignored);
}

void make_board() {
    std::string dir = (std::filesystem::temp_directory_path() / "fuzz-env-XXXXXX").string();
    require(::mkdtemp(dir.data()) != nullptr);
    board_dir = dir;
    std::atexit(remove_board);
    sim::BoardConfig config;
    config.partitions[*sim::partition_index("ubootenv")] = {kPartitionSize, kPartitionSize};
    config.time_scale = 0;
    require(sim::create_board_state(board_dir, config));
    sim::use_board(board_dir);
    flash_init();
}

void reset_flags() {
    gdb_mode = gdbserver_mode = 0;
    gdb_port = 1234;
    shell_mode = memchk_mode = 0;
    rescue_requested = diags_requested = lowsec_override = 0;
}

// The value after the first occurrence of key in the block read as one line, or nullptr.
const char* value_of(const std::string& text, const char* key) {
    const auto at = text.find(key);
    return at == std::string::npos ? nullptr : text.c_str() + at + std::strlen(key);
}

bool starts(const char* value, const char* expected) {
    return value != nullptr && std::strncmp(value, expected, std::strlen(expected)) == 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const bool ready = (make_board(), true);
    (void)ready;
    if (size > kPartitionSize) {
        return 0;
    }
    require(sim::write_partition(board_dir, "ubootenv", {data, data + size}));
    reset_flags();
    read_env_flags();

    // The window the flags come from: erased flash past the input, NULs read as blanks.
    std::string text(ENV_BLOCK_SIZE, '\xFF');
    for (std::size_t i = 0; i < ENV_BLOCK_SIZE && ENV_BLOCK_OFFSET + i < size; ++i) {
        const std::uint8_t b = data[ENV_BLOCK_OFFSET + i];
        text[i] = b == 0 ? ' ' : static_cast<char>(b);
    }
    const char* server = value_of(text, "gdbserver=");
    require(gdbserver_mode == (starts(server, "on") ? 1U : 0U));
    require(gdb_mode == ((starts(value_of(text, "gdb="), "on") || gdbserver_mode == 1) ? 1U : 0U));
    require(shell_mode == (starts(value_of(text, "shell="), "on") ? 1 : 0));
    require(memchk_mode == (starts(value_of(text, "memchk="), "on") ? 1 : 0));
    require(rescue_requested == (starts(value_of(text, "diagnostics="), "rescue") ? 1U : 0U));
    require(diags_requested == (starts(value_of(text, "diagnostics="), "diags") ? 1U : 0U));
    require(lowsec_override == (starts(value_of(text, "lowsec="), "sanctioned") ? 1U : 0U));
    if (value_of(text, "gdbport=") == nullptr) {
        require(gdb_port == 1234);
    }
    return 0;
}
