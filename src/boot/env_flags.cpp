#include "boot/env_flags.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <vector>

#include "hw/mtd.hpp"
#include "sys/flags.hpp"

namespace {

// Value of the first occurrence of key anywhere in the text, or nullptr.
const char* value_of(const char* text, const char* key) {
    const char* at = std::strstr(text, key);
    return at == nullptr ? nullptr : at + std::strlen(key);
}

// Sets flag from the first occurrence of key; true when it became 1.
template <typename Flag>
bool set_if_prefix(const char* text, const char* key, const char* expected, Flag& flag) {
    const char* value = value_of(text, key);
    if (value == nullptr) {
        return false;
    }
    flag = std::strncmp(value, expected, std::strlen(expected)) == 0 ? 1 : 0;
    return flag == 1;
}

// The port as "%d" would convert it, but a number outside the 32-bit range counts as no number
// instead of overflowing.
void set_port(const char* text) {
    const char* value = value_of(text, "gdbport=");
    if (value == nullptr) {
        return;
    }
    char* end = nullptr;
    errno = 0;
    const long long port = std::strtoll(value, &end, 10);
    if (end == value || errno == ERANGE || port < std::numeric_limits<std::int32_t>::min() ||
        port > std::numeric_limits<std::int32_t>::max()) {
        return;
    }
    gdb_port = static_cast<std::int32_t>(port);
}

}  // namespace

void parse_env_flags(std::span<const std::uint8_t> block) {
    // One line of text: NULs between the settings become blanks.
    std::vector<char> text(ENV_BLOCK_SIZE + 1, ' ');
    const std::size_t used = std::min<std::size_t>(block.size(), ENV_BLOCK_SIZE);
    for (std::size_t i = 0; i < used; ++i) {
        text[i] = block[i] == 0 ? ' ' : static_cast<char>(block[i]);
    }
    text[ENV_BLOCK_SIZE] = '\0';
    const char* t = text.data();

    set_if_prefix(t, "gdb=", "on", gdb_mode);
    if (set_if_prefix(t, "gdbserver=", "on", gdbserver_mode)) {
        gdb_mode = 1;
    }
    set_port(t);
    set_if_prefix(t, "shell=", "on", shell_mode);
    set_if_prefix(t, "memchk=", "on", memchk_mode);
    set_if_prefix(t, "diagnostics=", "rescue", rescue_requested);
    set_if_prefix(t, "lowsec=", "sanctioned", lowsec_override);
    set_if_prefix(t, "diagnostics=", "diags", diags_requested);
}

void read_env_flags() {
    std::vector<std::uint8_t> block(ENV_BLOCK_SIZE, 0);
    if (partition_read(block.data(), mtd_fd(MTD_UBOOTENV), ENV_BLOCK_OFFSET, ENV_BLOCK_SIZE) != 0) {
        return;
    }
    parse_env_flags(block);
}
