// The input is typed at the console: the first byte picks the buffer size (1 to 64), the rest are
// keys, read through a pipe on standard input. Two carriage returns follow the keys so that
// every line ends (the second one ends a line left inside an escape sequence); read_line runs
// until the keys are used up. The buffer must hold text followed by NULs only.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

#include "sys/console.hpp"

namespace {

void require(bool condition) {
    if (!condition) {
        std::abort();
    }
}

int pending(int fd) {
    int count = 0;
    require(::ioctl(fd, FIONREAD, &count) == 0);
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The echo is of no interest and would flood the fuzzer's log.
    const int null = ::open("/dev/null", O_WRONLY);
    require(null >= 0 && ::dup2(null, 1) == 1);
    ::close(null);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 4096) {
        return 0;
    }
    const std::size_t buffer_size = data[0] % 64 + 1;
    std::vector<std::uint8_t> keys(data + 1, data + size);
    keys.insert(keys.end(), {'\r', '\r'});
    int ends[2];
    require(::pipe(ends) == 0);
    require(::write(ends[1], keys.data(), keys.size()) == static_cast<ssize_t>(keys.size()));
    ::close(ends[1]);
    const int kept = ::dup(0);
    require(kept >= 0 && ::dup2(ends[0], 0) == 0);
    ::close(ends[0]);

    std::size_t lines = 0;
    while (pending(0) > 0) {
        std::vector<char> buffer(buffer_size, 'Z');
        require(read_line(buffer) == buffer.data());
        std::size_t length = 0;
        while (length < buffer.size() && buffer[length] != '\0') {
            require(static_cast<std::uint8_t>(buffer[length]) >= 0x20);
            ++length;
        }
        require(length < buffer.size());
        for (std::size_t i = length; i < buffer.size(); ++i) {
            require(buffer[i] == '\0');
        }
        require(++lines <= keys.size());
    }
    require(::dup2(kept, 0) == 0);
    ::close(kept);
    return 0;
}
