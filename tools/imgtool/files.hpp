// Files for the commands: inputs checked and read in chunks, outputs written beside their final
// name and moved into place only once complete.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/files.hpp"

namespace imgtool {

using platform::unique_fd;

// Bytes read or written at a time: what bounds the tool's memory whatever the bundle size.
inline constexpr std::size_t chunk_size = std::size_t{1} << 20;

// Opens for reading; on failure says why on standard error.
unique_fd open_input(const std::string& path);

struct sized_input {
    unique_fd fd;
    std::uint64_t size;
};

// A file or block device (a flash dump) whose size can be measured; anything else, such as a
// pipe, is refused with the reason on standard error.
std::optional<sized_input> open_sized_input(const std::string& path);

// Hands `count` bytes from `offset` to `each` a chunk at a time; false when the file is shorter
// or unreadable (said on standard error) or when `each` returns false.
bool read_chunks(int fd, std::uint64_t offset, std::uint64_t count, const std::string& path,
                 const std::function<bool(std::span<const std::uint8_t>)>& each);

// For small files only (keys, key files, pass phrases).
std::optional<std::vector<std::uint8_t>> read_whole_file(const std::string& path);

// True, with the reason on standard error, when `output` is one of `inputs`: the same file
// under any name, link or path.
bool is_an_input(const std::string& output, const std::vector<std::string>& inputs);

// An output under construction: a temporary file in the directory of its final name, renamed
// over it by commit() and removed if the run fails first, so no half-written file is ever left
// under the final name.
class output_file {
public:
    // On failure says why on standard error.
    static std::optional<output_file> create(const std::string& path);
    output_file(output_file&& other) noexcept;
    output_file(const output_file&) = delete;
    output_file& operator=(const output_file&) = delete;
    output_file& operator=(output_file&&) = delete;
    ~output_file();

    bool append(std::span<const std::uint8_t> bytes);
    bool write_at(std::uint64_t offset, std::span<const std::uint8_t> bytes);
    std::uint64_t size() const { return size_; }
    bool commit();

private:
    output_file(std::string path, std::string temp, int fd);
    bool failed(const char* what);

    std::string path_;
    std::string temp_;
    int fd_;
    std::uint64_t size_ = 0;
};

// Writes a small whole output through output_file.
bool write_whole_file(const std::string& path, std::span<const std::uint8_t> bytes);

}  // namespace imgtool
