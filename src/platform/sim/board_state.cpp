// The board API: creating a board's state files, changing its fault plan, inspecting it.
#include <fcntl.h>

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "config.hpp"
#include "files.hpp"
#include "runtime.hpp"
#include "sim/board.hpp"

namespace sim {
namespace {

using detail::state_path;

std::filesystem::path flash_path(const std::filesystem::path& root, std::string_view name) {
    return state_path(root, "flash") / (std::string(name) + ".bin");
}

bool fail(const std::string& what) {
    std::fprintf(stderr, "board: %s\n", what.c_str());
    return false;
}

bool write_filled(const std::filesystem::path& path, std::size_t size, std::uint8_t fill) {
    return detail::write_file(path, std::vector<std::uint8_t>(size, fill)) ||
           fail("cannot write " + path.string());
}

bool patch_file(const std::filesystem::path& path, std::uint32_t offset,
                const std::vector<std::uint8_t>& bytes, std::size_t limit) {
    if (offset > limit || bytes.size() > limit - offset) {
        return fail("write outside " + path.string());
    }
    detail::unique_fd fd(::open(path.c_str(), O_WRONLY | O_CLOEXEC));
    return (fd && detail::pwrite_all(fd.get(), bytes.data(), bytes.size(), offset)) ||
           fail("cannot write " + path.string());
}

std::vector<std::uint8_t> initial_eeprom(const BoardConfig& c) {
    std::vector<std::uint8_t> e(eeprom_size, 0xFF);
    if (c.serial) {
        for (std::size_t i = 0; i < 12; ++i) {
            e[0x0D + i] = i < c.serial->size() ? static_cast<std::uint8_t>((*c.serial)[i]) : 0;
        }
    }
    if (c.boot_slot) {
        e[0x0100] = *c.boot_slot;
    }
    if (c.booted_image) {
        e[0x013A] = *c.booted_image;
    }
    if (c.usb_enable) {
        e[0x013B] = *c.usb_enable;
    }
    return e;
}

bool geometry_valid(const BoardConfig& c) {
    for (std::size_t i = 0; i < partition_names.size(); ++i) {
        const auto& g = c.partitions[i];
        if (g.erase_size == 0 || g.size % g.erase_size != 0) {
            return fail("partition " + std::string(partition_names[i]) +
                        ": size must be a non-zero multiple of the erase size");
        }
    }
    return true;
}

}  // namespace

std::optional<std::size_t> partition_index(std::string_view name) {
    for (std::size_t i = 0; i < partition_names.size(); ++i) {
        if (partition_names[i] == name) {
            return i;
        }
    }
    return std::nullopt;
}

std::string config_value_error(std::string_view key, std::string_view value) {
    return detail::config_value_error(key, value);
}

std::string config_error(const BoardConfig& config) {
    return detail::config_error(config);
}

bool create_board_state(const std::filesystem::path& root, const BoardConfig& config) {
    if (!geometry_valid(config)) {
        return false;
    }
    if (const std::string why = config_error(config); !why.empty()) {
        return fail("refusing board.conf: " + why);
    }
    if (config.serial && config.serial->size() > 12) {
        return fail("serial number longer than 12 bytes");
    }
    std::error_code ec;
    std::filesystem::create_directories(state_path(root, "flash"), ec);
    std::filesystem::create_directories(state_path(root, "wear"), ec);
    if (ec) {
        return fail("cannot create " + state_path(root, "").string() + ": " + ec.message());
    }
    for (std::size_t i = 0; i < partition_names.size(); ++i) {
        if (!write_filled(flash_path(root, partition_names[i]), config.partitions[i].size, 0xFF)) {
            return false;
        }
        std::filesystem::remove(state_path(root, "wear") / partition_names[i], ec);
    }
    std::filesystem::remove(state_path(root, "led.log"), ec);
    return save_board_config(root, config) &&
           (detail::write_file(state_path(root, "eeprom.bin"), initial_eeprom(config)) ||
            fail("cannot write eeprom.bin")) &&
           write_filled(state_path(root, "cpld.bin"), cpld_size, 0x00) &&
           write_filled(state_path(root, "led.bin"), 256, 0x00) &&
           write_filled(state_path(root, "port.bin"), 256, 0xFF) &&
           (detail::write_text(state_path(root, "clock"), "0\n") || fail("cannot write clock"));
}

std::optional<BoardConfig> load_board_config(const std::filesystem::path& root) {
    const auto path = state_path(root, "board.conf");
    auto text = detail::read_text(path);
    if (!text) {
        fail("cannot read " + path.string());
        return std::nullopt;
    }
    std::string why;
    auto config = detail::parse_board_conf(*text, &why);
    if (!config) {
        fail(path.string() + ": " + why);
    }
    return config;
}

bool save_board_config(const std::filesystem::path& root, const BoardConfig& config) {
    if (const std::string why = config_error(config); !why.empty()) {
        return fail("refusing board.conf: " + why);
    }
    return detail::write_text(state_path(root, "board.conf"), detail::format_board_conf(config)) ||
           fail("cannot write board.conf");
}

bool set_fault_plan(const std::filesystem::path& root, const FaultPlan& plan) {
    auto config = load_board_config(root);
    if (!config) {
        return false;
    }
    config->faults = plan;
    if (!save_board_config(root, *config)) {
        return false;
    }
    detail::Runtime& rt = detail::runtime();
    std::error_code ec;
    if (std::filesystem::equivalent(rt.root, root, ec)) {
        detail::reload_config(rt);
    }
    return true;
}

bool clear_fault_plan(const std::filesystem::path& root) {
    return set_fault_plan(root, {});
}

std::optional<std::vector<std::uint8_t>> read_partition(const std::filesystem::path& root,
                                                        std::string_view name) {
    if (!partition_index(name)) {
        return std::nullopt;
    }
    return detail::read_file(flash_path(root, name));
}

bool write_partition(const std::filesystem::path& root, std::string_view name,
                     const std::vector<std::uint8_t>& content) {
    const auto config = load_board_config(root);
    const auto index = partition_index(name);
    if (!config || !index) {
        return fail("unknown partition " + std::string(name));
    }
    const std::size_t size = config->partitions[*index].size;
    if (content.size() > size) {
        return fail("content larger than partition " + std::string(name));
    }
    std::vector<std::uint8_t> image(content);
    image.resize(size, 0xFF);
    return detail::write_file(flash_path(root, name), image) ||
           fail("cannot write partition " + std::string(name));
}

std::optional<std::vector<std::uint8_t>> read_eeprom(const std::filesystem::path& root) {
    return detail::read_file(state_path(root, "eeprom.bin"));
}

bool write_eeprom(const std::filesystem::path& root, std::uint32_t offset,
                  const std::vector<std::uint8_t>& bytes) {
    return patch_file(state_path(root, "eeprom.bin"), offset, bytes, eeprom_size);
}

std::optional<std::vector<std::uint8_t>> read_cpld(const std::filesystem::path& root) {
    return detail::read_file(state_path(root, "cpld.bin"));
}

bool write_cpld(const std::filesystem::path& root, std::uint32_t offset, std::uint8_t value) {
    return patch_file(state_path(root, "cpld.bin"), offset, {value}, cpld_size);
}

std::optional<std::vector<std::uint8_t>> read_port_registers(const std::filesystem::path& root) {
    return detail::read_file(state_path(root, "port.bin"));
}

std::vector<LedWrite> read_led_log(const std::filesystem::path& root) {
    std::vector<LedWrite> out;
    const auto text = detail::read_text(state_path(root, "led.log"));
    if (!text) {
        return out;
    }
    std::istringstream in(*text);
    for (std::string line; std::getline(in, line);) {
        unsigned long long s = 0;
        unsigned us = 0, reg = 0, value = 0;
        if (std::sscanf(line.c_str(), "%llu.%6u 0x%x 0x%x", &s, &us, &reg, &value) == 4) {
            out.push_back({s * 1000000 + us, static_cast<std::uint8_t>(reg),
                           static_cast<std::uint8_t>(value)});
        }
    }
    return out;
}

std::optional<FlashWear> read_flash_wear(const std::filesystem::path& root, std::string_view name) {
    const auto config = load_board_config(root);
    const auto index = partition_index(name);
    if (!config || !index) {
        return std::nullopt;
    }
    const auto& g = config->partitions[*index];
    FlashWear wear;
    wear.erase_counts.assign(g.size / g.erase_size, 0);
    const auto text = detail::read_text(state_path(root, "wear") / std::string(name));
    if (!text) {
        return wear;
    }
    std::istringstream in(*text);
    std::string word;
    in >> word >> wear.program_without_erase >> word;
    for (auto& count : wear.erase_counts) {
        in >> count;
    }
    if (!in) {
        return std::nullopt;
    }
    return wear;
}

std::uint64_t read_clock_us(const std::filesystem::path& root) {
    const auto text = detail::read_text(state_path(root, "clock"));
    return text ? std::strtoull(text->c_str(), nullptr, 10) : 0;
}

}  // namespace sim
