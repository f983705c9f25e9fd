// What the commands of imgtool share on their command lines: checks of the values people write
// for types, numbers and pass phrase sources, so a bad one is a usage error naming it.
#pragma once

#include "cli.hpp"

namespace imgtool {

// An image type by name or code (see names.hpp), handed on as its code in decimal.
CLI::Validator image_type();
// A whole number, decimal or 0x-hexadecimal, up to 2^32 - 1, handed on in decimal.
CLI::Validator whole_number();
// A --passin source as OpenSSL spells it: pass:TEXT, env:VAR, file:PATH or stdin.
CLI::Validator passin_source();

using tools::verb;

}  // namespace imgtool
