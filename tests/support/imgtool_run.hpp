// imgtool as its users run it: a separate program (IMGTOOL_PATH, defined by the test target) in
// a scratch directory of its own, with its output and exit status.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace imgtooltest {

struct Outcome {
    int status;
    std::string output;
};

class Scratch : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "imgtool.XXXXXX").string();
        dir_ = ::mkdtemp(pattern.data());
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    void write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
        std::ofstream(path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
    }
    std::vector<std::uint8_t> read(const std::string& name) const {
        std::ifstream in(path(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }

    // Runs imgtool in the scratch directory; `with_errors` adds standard error to the output.
    Outcome run(const std::string& args, bool with_errors = false) const {
        const std::string command = "cd '" + dir_.string() + "' && '" IMGTOOL_PATH "' " + args +
                                    (with_errors ? " 2>&1" : " 2>/dev/null");
        FILE* pipe = ::popen(command.c_str(), "r");
        std::string output;
        char chunk[4096];
        std::size_t n;
        while ((n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0) {
            output.append(chunk, n);
        }
        const int status = ::pclose(pipe);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
    }

private:
    std::filesystem::path dir_;
};

}  // namespace imgtooltest
