// Application tarballs, slot files and partitions for boards under test.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "image/header.hpp"
#include "image/writer.hpp"

namespace boardtest {

using Bytes = std::vector<std::uint8_t>;
// Path inside the archive, content; every file is executable.
using Files = std::vector<std::pair<std::string, std::string>>;

// A gzip-compressed tar archive of the files, as the application image carries it.
Bytes tarball(const Files& files);
Bytes gzip(const std::string& content);

// A shell script that prints `banner` as a line, followed by its arguments.
std::string script_printing(const std::string& banner);
// The application tarball whose program prints "application up".
Bytes application_tarball();
// The diagnostics tarball whose program (mpdiag.elf.strip at the top) prints "diagnostics up".
Bytes diagnostics_tarball();

// A sealed sub-image.
Bytes subimage(std::uint32_t type, std::span<const std::uint8_t> payload,
               std::uint8_t header_version = 3, std::vector<image::record_spec> records = {});

Bytes operator+(Bytes a, const Bytes& b);

void write_bytes(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);
void write_text(const std::filesystem::path& path, const std::string& text);
Bytes read_bytes(const std::filesystem::path& path);

}  // namespace boardtest
