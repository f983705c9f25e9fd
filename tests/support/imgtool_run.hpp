// imgtool as its users run it: a separate program (IMGTOOL_PATH, defined by the test target) in
// a scratch directory of its own, with its output and exit status.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "scratch.hpp"

namespace imgtooltest {

using Outcome = testsupport::Captured;

class Scratch : public ::testing::Test {
protected:
    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    void write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        std::ofstream(path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    std::vector<std::uint8_t> read(const std::string& name) const {
        const std::string text = testsupport::read_file(path(name));
        return {text.begin(), text.end()};
    }

    // Runs imgtool in the scratch directory; `with_errors` adds standard error to the output.
    Outcome run(const std::string& args, bool with_errors = false) const {
        return testsupport::capture("cd '" + dir_.path().string() + "' && '" IMGTOOL_PATH "' " +
                                    args + (with_errors ? " 2>&1" : " 2>/dev/null"));
    }

private:
    testsupport::TempDir dir_{"imgtool"};
};

}  // namespace imgtooltest
