#include "test_images.hpp"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "scratch.hpp"

namespace boardtest {
namespace {

namespace fs = std::filesystem;

using testsupport::TempDir;

void run(const std::string& command) {
    if (std::system(command.c_str()) != 0) {
        throw std::runtime_error("failed: " + command);
    }
}

}  // namespace

Bytes tarball(const Files& files) {
    const TempDir dir("images");
    fs::create_directories(dir / "tree");
    for (const auto& [name, content] : files) {
        const fs::path file = dir / "tree" / name;
        fs::create_directories(file.parent_path());
        write_text(file, content);
        fs::permissions(file, fs::perms(0755));
    }
    run("tar -czf '" + (dir / "out.tar.gz").string() + "' --owner=0 --group=0 -C '" +
        (dir / "tree").string() + "' .");
    return read_bytes(dir / "out.tar.gz");
}

Bytes gzip(const std::string& content) {
    const TempDir dir("images");
    write_text(dir / "file", content);
    run("gzip -n '" + (dir / "file").string() + "'");
    return read_bytes(dir / "file.gz");
}

std::string script_printing(const std::string& banner) {
    return "#!/bin/sh\necho \"" + banner + "${*:+ $*}\"\n";
}

Bytes application_tarball() {
    return tarball({{"home/bin/mp.elf.strip", script_printing("application up")}});
}

Bytes diagnostics_tarball() {
    return tarball({{"mpdiag.elf.strip", script_printing("diagnostics up")}});
}

Bytes subimage(std::uint32_t type, std::span<const std::uint8_t> payload,
               std::uint8_t header_version, std::vector<image::record_spec> records) {
    auto made =
        image::make_subimage({type, 0x01020304, header_version, std::move(records), payload});
    if (!made) {
        throw std::runtime_error("sub-image cannot be described");
    }
    return *made;
}

Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void write_bytes(const fs::path& path, std::span<const std::uint8_t> bytes) {
    fs::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

void write_text(const fs::path& path, const std::string& text) {
    write_bytes(path, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

Bytes read_bytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace boardtest
