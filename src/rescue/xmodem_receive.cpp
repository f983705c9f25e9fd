#include <unistd.h>

#include <cstdio>
#include <memory>

#include "platform/files.hpp"
#include "rescue/serial.hpp"
#include "rescue/xmodem.hpp"
#include "rescue/xmodem_protocol.hpp"

namespace {

struct SerialPort {
    void put(std::uint8_t byte) { serial_put_byte(byte); }
    int get(unsigned seconds, std::uint8_t* byte) { return serial_get_byte(seconds, byte); }
    void purge() { serial_purge(); }
};

struct FileSink {
    std::FILE* file;
    bool write(std::span<const std::uint8_t> data) {
        return std::fwrite(data.data(), 1, data.size(), file) == data.size();
    }
};

}  // namespace

int xmodem_receive(const char* path) {
    const int fd = serial_download_begin();
    if (fd < 0) {
        return 0;
    }
    const platform::unique_file file = platform::open_file(path, "wb");
    if (!file) {
        std::perror("Can't open file!");
        serial_download_end(fd);
        close(fd);
        return -1;
    }
    SerialPort port;
    FileSink sink{file.get()};
    const auto outcome = rescue::XmodemReceiver(port, sink).run();
    serial_download_end(fd);
    close(fd);
    return outcome.completed ? static_cast<int>(outcome.total) : 0;
}
