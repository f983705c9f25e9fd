#include "usb.hpp"

#include <cstdio>
#include <fstream>

namespace boardsim {
namespace {

namespace fs = std::filesystem;

fs::path staged(const fs::path& root) {
    return root / "sim/usb/files";
}
fs::path delay_file(const fs::path& root) {
    return root / "sim/usb/after";
}

void empty_directory(const fs::path& dir) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(dir, ec)) {
        fs::remove_all(entry.path(), ec);
    }
}

}  // namespace

bool usb_attach(const fs::path& root, const fs::path& source, double after_seconds) {
    std::error_code ec;
    fs::remove_all(root / "sim/usb", ec);
    fs::create_directories(staged(root), ec);
    fs::copy(source, staged(root), fs::copy_options::recursive, ec);
    if (ec) {
        std::fprintf(stderr, "boardsim: copying %s: %s\n", source.c_str(), ec.message().c_str());
        return false;
    }
    std::ofstream(delay_file(root)) << after_seconds << '\n';
    return true;
}

bool usb_detach(const fs::path& root) {
    std::error_code ec;
    fs::remove_all(root / "sim/usb", ec);
    return !ec;
}

std::optional<double> usb_ready_after(const fs::path& root) {
    std::ifstream in(delay_file(root));
    double after = 0;
    if (!(in >> after)) {
        return std::nullopt;
    }
    return after;
}

void reset_volatile(const fs::path& root) {
    empty_directory(root / "tmp");
    empty_directory(root / "mnt/usb");
}

bool usb_insert(const fs::path& root) {
    std::error_code ec;
    fs::copy(staged(root), root / "mnt/usb",
             fs::copy_options::recursive | fs::copy_options::overwrite_existing, ec);
    const std::ofstream marker{root / "tmp/usb"};
    return !ec;
}

}  // namespace boardsim
