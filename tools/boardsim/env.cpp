// boardsim env: the boot loader's environment, printed or written from settings.
#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "cli.hpp"
#include "commands.hpp"
#include "env_image.hpp"
#include "sim/board.hpp"
#include "verb_support.hpp"

namespace boardsim {
namespace {

namespace fs = std::filesystem;

const CLI::Validator setting(
    [](std::string& text) -> std::string {
        return text.find('=') == std::string::npos || text[0] == '=' ? text + ": expected KEY=VALUE"
                                                                     : std::string();
    },
    "");

struct EnvArgs {
    std::string dir;
    std::vector<std::string> settings;
    std::optional<std::string> file;
};

// KEY=VALUE lines; blank lines and lines starting with '#' are skipped.
std::optional<std::vector<std::string>> settings_file(const std::string& path) {
    std::ifstream in(path);
    if (!in) {
        std::fprintf(stderr, "boardsim: cannot read %s\n", path.c_str());
        return std::nullopt;
    }
    std::vector<std::string> settings;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        if (line.find('=') == std::string::npos || line[0] == '=') {
            std::fprintf(stderr, "boardsim: %s line %d: expected KEY=VALUE, got '%s'\n",
                         path.c_str(), number, line.c_str());
            return std::nullopt;
        }
        settings.push_back(line);
    }
    return settings;
}

int env(const EnvArgs& a) {
    const fs::path root = a.dir;
    const auto config = is_board(root) ? sim::load_board_config(root) : std::nullopt;
    if (!config) {
        return status_failed;
    }
    if (a.settings.empty() && !a.file) {
        const auto image = sim::read_partition(root, "ubootenv");
        const auto settings = image ? read_env_image(*image) : std::nullopt;
        if (!settings) {
            std::fprintf(stderr,
                         "boardsim: no environment in ubootenv (bad CRC: erased or damaged)\n");
            return status_failed;
        }
        for (const std::string& setting : *settings) {
            std::printf("%s\n", setting.c_str());
        }
        return status_ok;
    }
    std::vector<std::string> settings;
    if (a.file) {
        const auto from_file = settings_file(*a.file);
        if (!from_file) {
            return status_failed;
        }
        settings = *from_file;
    }
    settings.insert(settings.end(), a.settings.begin(), a.settings.end());
    const std::size_t size = config->partitions[*sim::partition_index("ubootenv")].size;
    const auto image = make_env_image(settings, size);
    if (!image) {
        std::fprintf(stderr, "boardsim: the settings do not fit into %zu bytes\n", size);
        return status_failed;
    }
    return sim::write_partition(root, "ubootenv", *image) ? status_ok : status_failed;
}

}  // namespace

Verb add_env(CLI::App& app) {
    auto e = std::make_shared<EnvArgs>();
    CLI::App* const sub =
        verb(app, "env",
             "Prints the boot loader's environment, one KEY=VALUE a line; with settings, "
             "writes the environment partition with them instead.",
             "Exit status: 0 done, 1 failed (printing: no valid environment), 2 usage error.");
    add_dir(sub, e->dir);
    sub->add_option("KEY=VALUE", e->settings, "the settings to write")->check(setting);
    sub->add_option("--file", e->file,
                    "write the KEY=VALUE lines of FILE (blank and '#' lines skipped), then the "
                    "settings given")
        ->type_name("FILE");
    return {sub, [e] { return env(*e); }};
}

}  // namespace boardsim
