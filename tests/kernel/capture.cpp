#include "capture.hpp"

#include <unistd.h>

#include <cstdio>
#include <memory>

#include "platform/files.hpp"

namespace kvm {

std::string capture_stdout(const std::function<void()>& fn) {
    const platform::unique_file sink{std::tmpfile()};
    if (!sink)
        return "<no temporary file for the capture>";
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    dup2(fileno(sink.get()), STDOUT_FILENO);
    fn();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);

    std::string text;
    std::rewind(sink.get());
    char chunk[512];
    for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, sink.get())) > 0;)
        text.append(chunk, n);
    return text;
}

std::string visible(std::string_view text) {
    std::string out;
    for (const char c : text) {
        switch (c) {
            case '\b':
                out += "\\b";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            default:
                out += c;
        }
    }
    return out;
}

void report_real(const std::string& line) {
    std::printf("[real driver] %s\n", line.c_str());
}

}  // namespace kvm
