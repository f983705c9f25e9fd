#include "verbs.hpp"

#include <vector>

#include "cli.hpp"

namespace imgtool {

std::function<int()> add_verbs(CLI::App& app) {
    const std::vector<Verb> verbs = {add_build(app), add_info(app),   add_extract(app),
                                     add_sign(app),  add_verify(app), add_keyfile(app)};
    return [verbs] {
        for (const auto& [sub, run] : verbs) {
            if (sub->parsed()) {
                return run();
            }
        }
        return tools::usage_status;
    };
}

}  // namespace imgtool
