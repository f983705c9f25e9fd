// boardsim flash: a flash partition copied out to a file or in from one.
#include <cstdio>
#include <fstream>
#include <string>

#include "cli.hpp"
#include "commands.hpp"
#include "sim/board.hpp"
#include "verb_support.hpp"

namespace boardsim {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> names_of_partitions() {
    return {sim::partition_names.begin(), sim::partition_names.end()};
}

struct FlashArgs {
    std::string dir;
    std::string action;
    std::string partition;
    std::string file;
};

int flash(const FlashArgs& a) {
    const fs::path root = a.dir;
    if (!is_board(root)) {
        return status_failed;
    }
    const auto current = sim::read_partition(root, a.partition);
    if (!current) {
        std::fprintf(stderr, "boardsim: cannot read partition %s\n", a.partition.c_str());
        return status_failed;
    }
    if (a.action == "read") {
        std::ofstream out(a.file, std::ios::binary);
        if (!out.write(reinterpret_cast<const char*>(current->data()),
                       static_cast<std::streamsize>(current->size()))) {
            std::fprintf(stderr, "boardsim: cannot write %s\n", a.file.c_str());
            return status_failed;
        }
        return status_ok;
    }
    auto content = read_file(a.file);
    if (!content) {
        return status_failed;
    }
    if (content->size() > current->size()) {
        std::fprintf(stderr, "boardsim: %s (%zu bytes) does not fit into %s (%zu bytes)\n",
                     a.file.c_str(), content->size(), a.partition.c_str(), current->size());
        return status_failed;
    }
    content->resize(current->size(), 0xFF);
    return sim::write_partition(root, a.partition, *content) ? status_ok : status_failed;
}

}  // namespace

Verb add_flash(CLI::App& app) {
    auto f = std::make_shared<FlashArgs>();
    CLI::App* const sub =
        verb(app, "flash",
             "Copies a flash partition into FILE (read) or FILE into it (write, padded with "
             "0xFF).",
             "Exit status: 0 done, 1 failed (FILE unreadable or larger than the partition),\n"
             "2 usage error.");
    add_dir(sub, f->dir);
    sub->add_option("ACTION", f->action, "read or write")
        ->required()
        ->check(CLI::IsMember({"read", "write"}));
    sub->add_option("PARTITION", f->partition, "the partition")
        ->required()
        ->check(CLI::IsMember(names_of_partitions()));
    sub->add_option("FILE", f->file, "the file")->required();
    return {sub, [f] { return flash(*f); }};
}

}  // namespace boardsim
