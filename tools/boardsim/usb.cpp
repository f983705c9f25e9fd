#include "usb.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <system_error>
#include <vector>

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

std::error_code last_error() {
    return {errno, std::generic_category()};
}

// Copies the data regions of FROM only, so that a sparse drive image stays sparse.
std::error_code copy_sparse(const fs::path& from, const fs::path& to) {
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) {
        return last_error();
    }
    struct stat st {};
    const int out =
        ::fstat(in, &st) == 0
            ? ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, st.st_mode & 07777)
            : -1;
    std::error_code ec;
    if (out < 0 || ::ftruncate(out, st.st_size) != 0) {
        ec = last_error();
    }
    std::vector<char> buffer;
    for (off_t at = 0; !ec && at < st.st_size;) {
        const off_t data = ::lseek(in, at, SEEK_DATA);
        if (data < 0) {
            if (errno != ENXIO) {  // ENXIO: only a hole is left
                ec = last_error();
            }
            break;
        }
        off_t end = ::lseek(in, data, SEEK_HOLE);
        if (end < 0) {
            end = st.st_size;
        }
        for (loff_t src = data, dst = data; !ec && src < end;) {
            const ssize_t n =
                ::copy_file_range(in, &src, out, &dst, static_cast<std::size_t>(end - src), 0);
            if (n > 0) {
                continue;
            }
            if (n == 0 || (errno != EXDEV && errno != EINVAL && errno != ENOSYS)) {
                ec = n == 0 ? std::make_error_code(std::errc::io_error) : last_error();
                break;
            }
            // Between file systems that cannot: through a buffer.
            buffer.resize(1 << 20);
            const ssize_t got = ::pread(
                in, buffer.data(),
                std::min<std::size_t>(buffer.size(), static_cast<std::size_t>(end - src)), src);
            if (got <= 0 ||
                ::pwrite(out, buffer.data(), static_cast<std::size_t>(got), dst) != got) {
                ec = got == 0 ? std::make_error_code(std::errc::io_error) : last_error();
                break;
            }
            src += got;
            dst += got;
        }
        at = end;
    }
    if (out >= 0 && ::close(out) != 0 && !ec) {
        ec = last_error();
    }
    ::close(in);
    return ec;
}

// Copies FROM's tree into the folder TO, regular files sparsely; the first error, if any.
std::error_code copy_tree(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    fs::create_directories(to, ec);
    for (fs::recursive_directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path target = to / fs::relative(it->path(), from, ec);
        if (ec) {
            break;
        }
        if (it->is_symlink(ec)) {
            fs::remove(target, ec);
            fs::copy_symlink(it->path(), target, ec);
        } else if (it->is_directory(ec)) {
            fs::create_directories(target, ec);
        } else if (it->is_regular_file(ec)) {
            ec = copy_sparse(it->path(), target);
        } else {
            fs::copy(it->path(), target, fs::copy_options::overwrite_existing, ec);
        }
    }
    return ec;
}

}  // namespace

bool usb_attach(const fs::path& root, const fs::path& source, double after_seconds) {
    std::error_code ec;
    if (!fs::is_directory(source, ec)) {
        std::fprintf(stderr, "boardsim: %s is not a folder\n", source.c_str());
        return false;
    }
    fs::remove_all(root / "sim/usb", ec);
    ec = copy_tree(source, staged(root));
    if (ec) {
        std::fprintf(stderr, "boardsim: copying %s: %s\n", source.c_str(), ec.message().c_str());
        return false;
    }
    std::ofstream(delay_file(root)) << after_seconds << '\n';
    std::ofstream(root / "sim/usb/source") << fs::absolute(source).string() << '\n';
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
    ec = copy_tree(staged(root), root / "mnt/usb");
    const std::ofstream marker{root / "tmp/usb"};
    return !ec;
}

}  // namespace boardsim
