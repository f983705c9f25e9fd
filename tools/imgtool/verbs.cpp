#include "verbs.hpp"

#include "cli.hpp"

namespace imgtool {

std::function<int()> add_verbs(CLI::App& app) {
    return tools::run_chosen({add_build(app), add_info(app), add_extract(app), add_sign(app),
                              add_verify(app), add_keyfile(app)});
}

}  // namespace imgtool
