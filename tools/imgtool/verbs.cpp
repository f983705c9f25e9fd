#include "verbs.hpp"

namespace imgtool {

std::span<const verb* const> verbs() {
    static const verb* const table[] = {&build_verb, &info_verb,   &extract_verb,
                                        &sign_verb,  &verify_verb, &keyfile_verb};
    return table;
}

}  // namespace imgtool
