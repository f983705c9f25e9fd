// Power cuts while the boot manager writes under /user. On the switch /user is a JFFS2 file
// system mounted synchronously: what a completed write call wrote survives a power cut, the
// write in progress may be cut short, and creating, truncating, renaming or removing an entry
// happens whole or not at all. The simulated build links these wrappers in place of the C
// library's calls (-Wl,--wrap=NAME): each such call under /user is one event of the board's
// power cut count, which it shares with the flash operations. Every other call passes through.
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <set>
#include <string_view>

#include "runtime.hpp"

// NOLINTBEGIN(bugprone-reserved-identifier,readability-identifier-naming,cert-dcl37-c,cert-dcl51-cpp):
// the linker names the wrapped and the real functions.
extern "C" {
int __real_open(const char* path, int flags, ...);
int __real_open64(const char* path, int flags, ...);
int __real_close(int fd);
ssize_t __real_write(int fd, const void* buf, std::size_t count);
std::FILE* __real_fopen(const char* path, const char* mode);
std::FILE* __real_fopen64(const char* path, const char* mode);
int __real_mkdir(const char* path, mode_t mode);
int __real_unlink(const char* path);
int __real_rename(const char* from, const char* to);
int __real_remove(const char* path);
int __real_posix_spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
                       const posix_spawnattr_t* attributes, char* const argv[], char* const envp[]);
}

namespace {

using sim::detail::lose_power;
using sim::detail::power_cut_due;
using sim::detail::runtime;

bool under_user(const char* path) {
    constexpr std::string_view user = "/user/";
    return path != nullptr && std::string_view(path).substr(0, user.size()) == user;
}

// Descriptors of files under /user open for writing.
std::set<int>& user_files() {
    static std::set<int> fds;
    return fds;
}

// An entry created, truncated, renamed or removed under /user: the cut comes after it.
void after_entry_change() {
    if (power_cut_due(runtime())) {
        lose_power(runtime());
    }
}

int open_counted(int (*real)(const char*, int, ...), const char* path, int flags, mode_t mode) {
    const int fd = real(path, flags, mode);
    if (fd < 0 || !under_user(path) || (flags & O_ACCMODE) == O_RDONLY) {
        return fd;
    }
    user_files().insert(fd);
    if ((flags & (O_CREAT | O_TRUNC)) != 0) {
        after_entry_change();
    }
    return fd;
}

// open and open64 take a mode only when they may create the file.
bool takes_mode(int flags) {
    return (flags & (O_CREAT | O_TMPFILE)) != 0;
}

// A write call is two events: the power going during it, which keeps the first half of its
// bytes, and just after it, when all of them have landed but the caller has not gone on.
ssize_t write_counted(int fd, const void* buf, std::size_t count) {
    if (count == 0 || !user_files().contains(fd)) {
        return __real_write(fd, buf, count);
    }
    if (!power_cut_due(runtime())) {
        const ssize_t n = __real_write(fd, buf, count);
        if (n > 0 && power_cut_due(runtime())) {
            lose_power(runtime());
        }
        return n;
    }
    const auto* bytes = static_cast<const char*>(buf);
    for (std::size_t kept = count / 2; kept > 0;) {
        const ssize_t n = __real_write(fd, bytes, kept);
        if (n <= 0) {
            break;
        }
        bytes += n;
        kept -= static_cast<std::size_t>(n);
    }
    lose_power(runtime());
}

// Streams on /user files write through the counted calls, one per buffer the stream flushes.
ssize_t stream_read(void* cookie, char* buf, std::size_t size) {
    return ::read(*static_cast<int*>(cookie), buf, size);
}

ssize_t stream_write(void* cookie, const char* buf, std::size_t size) {
    return write_counted(*static_cast<int*>(cookie), buf, size);
}

int stream_seek(void* cookie, off64_t* offset, int whence) {
    const off_t at = ::lseek(*static_cast<int*>(cookie), *offset, whence);
    if (at < 0) {
        return -1;
    }
    *offset = at;
    return 0;
}

int stream_close(void* cookie) {
    const int fd = *static_cast<int*>(cookie);
    user_files().erase(fd);
    return __real_close(fd);
}

std::FILE* fopen_counted(std::FILE* (*real)(const char*, const char*), const char* path,
                         const char* mode) {
    if (!under_user(path) || mode == nullptr ||
        (mode[0] == 'r' && std::strchr(mode, '+') == nullptr)) {
        return real(path, mode);
    }
    const bool both = std::strchr(mode, '+') != nullptr;
    int flags = (both ? O_RDWR : O_WRONLY) | O_CLOEXEC;
    flags |= mode[0] == 'w' ? O_CREAT | O_TRUNC : mode[0] == 'a' ? O_CREAT | O_APPEND : 0;
    const int fd = open_counted(__real_open, path, flags, 0666);
    if (fd < 0) {
        return nullptr;
    }
    // The cookie is the descriptor's entry in a table: the stream hands it back to each call.
    static std::array<int, 1024> cookies{};
    if (static_cast<std::size_t>(fd) >= cookies.size()) {
        user_files().erase(fd);
        __real_close(fd);
        errno = EMFILE;
        return nullptr;
    }
    cookies[fd] = fd;
    void* const cookie = &cookies[fd];
    const cookie_io_functions_t io{stream_read, stream_write, stream_seek, stream_close};
    std::FILE* stream = fopencookie(cookie, mode, io);
    if (stream == nullptr) {
        stream_close(cookie);
    }
    return stream;
}

// The board's file tools that change entries; the command is one event, cut after it ends.
bool writes_under_user(char* const argv[]) {
    constexpr std::array<std::string_view, 5> tools = {"mkdir", "touch", "rm", "mv", "cp"};
    if (argv == nullptr || argv[0] == nullptr || argv[1] == nullptr ||
        std::string_view(argv[1]) != "-c") {
        return false;
    }
    const char* command = nullptr;
    for (int i = 2; argv[i] != nullptr; ++i) {
        command = argv[i];
    }
    if (command == nullptr) {
        return false;
    }
    const std::string_view text(command);
    const std::string_view first = text.substr(0, text.find(' '));
    return text.find(" /user/") != std::string_view::npos &&
           std::find(tools.begin(), tools.end(), first) != tools.end();
}

}  // namespace

extern "C" {

int __wrap_open(const char* path, int flags, ...) {
    mode_t mode = 0;
    if (takes_mode(flags)) {
        std::va_list args;
        va_start(args, flags);
        // Started just above; the analyzer loses that when one run checks several files.
        // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
        mode = static_cast<mode_t>(va_arg(args, unsigned));
        va_end(args);
    }
    return open_counted(__real_open, path, flags, mode);
}

int __wrap_open64(const char* path, int flags, ...) {
    mode_t mode = 0;
    if (takes_mode(flags)) {
        std::va_list args;
        va_start(args, flags);
        // Started just above; the analyzer loses that when one run checks several files.
        // NOLINTNEXTLINE(clang-analyzer-valist.Uninitialized)
        mode = static_cast<mode_t>(va_arg(args, unsigned));
        va_end(args);
    }
    return open_counted(__real_open64, path, flags, mode);
}

int __wrap_close(int fd) {
    user_files().erase(fd);
    return __real_close(fd);
}

ssize_t __wrap_write(int fd, const void* buf, std::size_t count) {
    return write_counted(fd, buf, count);
}

std::FILE* __wrap_fopen(const char* path, const char* mode) {
    return fopen_counted(__real_fopen, path, mode);
}

std::FILE* __wrap_fopen64(const char* path, const char* mode) {
    return fopen_counted(__real_fopen64, path, mode);
}

int __wrap_mkdir(const char* path, mode_t mode) {
    const int result = __real_mkdir(path, mode);
    if (result == 0 && under_user(path)) {
        after_entry_change();
    }
    return result;
}

int __wrap_unlink(const char* path) {
    const int result = __real_unlink(path);
    if (result == 0 && under_user(path)) {
        after_entry_change();
    }
    return result;
}

int __wrap_remove(const char* path) {
    const int result = __real_remove(path);
    if (result == 0 && under_user(path)) {
        after_entry_change();
    }
    return result;
}

int __wrap_rename(const char* from, const char* to) {
    const int result = __real_rename(from, to);
    if (result == 0 && (under_user(from) || under_user(to))) {
        after_entry_change();
    }
    return result;
}

int __wrap_posix_spawn(pid_t* pid, const char* path, const posix_spawn_file_actions_t* actions,
                       const posix_spawnattr_t* attributes, char* const argv[],
                       char* const envp[]) {
    const int result = __real_posix_spawn(pid, path, actions, attributes, argv, envp);
    if (result != 0 || pid == nullptr || !writes_under_user(argv) || !power_cut_due(runtime())) {
        return result;
    }
    int status = 0;
    while (::waitpid(*pid, &status, 0) < 0 && errno == EINTR) {
    }
    lose_power(runtime());
}
}
// NOLINTEND(bugprone-reserved-identifier,readability-identifier-naming,cert-dcl37-c,cert-dcl51-cpp)
