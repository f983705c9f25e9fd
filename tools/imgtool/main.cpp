// imgtool: makes and reads image bundles.
#include <cstdio>
#include <string_view>
#include <vector>

#include "verbs.hpp"

namespace {

void print_help(std::FILE* out) {
    std::fprintf(out,
                 "usage: imgtool COMMAND [ARGUMENTS]\n"
                 "       imgtool COMMAND --help\n\n"
                 "Makes and inspects image bundles: files of concatenated sub-images, each an\n"
                 "image header and its payload.\n\ncommands:\n");
    for (const auto* v : imgtool::verbs()) {
        std::fprintf(out, "  %-9.*s %.*s\n", static_cast<int>(v->name.size()), v->name.data(),
                     static_cast<int>(v->summary.size()), v->summary.data());
    }
}

void print_verb_help(const imgtool::verb& v) {
    std::printf("usage: imgtool %.*s %.*s\n\n%.*s\n\n%.*s", static_cast<int>(v.name.size()),
                v.name.data(), static_cast<int>(v.synopsis.size()), v.synopsis.data(),
                static_cast<int>(v.summary.size()), v.summary.data(),
                static_cast<int>(v.details.size()), v.details.data());
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty()) {
        print_help(stderr);
        return imgtool::exit_usage;
    }
    if (args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        print_help(stdout);
        return imgtool::exit_ok;
    }
    for (const auto* v : imgtool::verbs()) {
        if (v->name != args[0]) {
            continue;
        }
        const auto rest = imgtool::arguments(args).subspan(1);
        if (!rest.empty() && (rest[0] == "--help" || rest[0] == "-h")) {
            print_verb_help(*v);
            return imgtool::exit_ok;
        }
        return v->run(rest);
    }
    std::fprintf(stderr, "imgtool: unknown command '%s' (see imgtool --help)\n", argv[1]);
    return imgtool::exit_usage;
}
