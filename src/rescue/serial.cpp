#include "rescue/serial.hpp"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "platform/seam.hpp"

namespace {

constexpr unsigned kReminderEvery = 11;

termios saved_console{};
int port = -1;

// Waits without a time limit for one key; anything else that arrives is dropped.
void wait_for_key(int fd, std::uint8_t wanted, const char* reminder) {
    for (unsigned seconds = 0;;) {
        std::uint8_t key = 0;
        if (read(fd, &key, 1) == 1 && key == wanted) {
            return;
        }
        platform::clock_sleep(1);
        if (++seconds % kReminderEvery == 0) {
            std::puts(reminder);
            std::fflush(stdout);
        }
    }
}

// Pending output is drained first, so only typed input is left to discard. Output is not
// flushed: where the drain cannot wait (a pseudo-terminal), that would drop our own messages
// before the terminal has taken them.
void settle(int fd) {
    std::fflush(stdout);
    tcdrain(fd);
    tcflush(fd, TCIFLUSH);
}

}  // namespace

int serial_download_begin() {
    const int fd = open("/dev/ttyS0", O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        std::perror("Can't open serial port!");
        return -1;
    }
    port = fd;
    std::puts("       Change the baud rate to 115200 bps and hit the <ENTER> key");
    std::puts("       before initiating the download.");
    settle(fd);
    tcgetattr(fd, &saved_console);
    termios raw = saved_console;
    cfsetispeed(&raw, B115200);
    cfsetospeed(&raw, B115200);
    raw.c_iflag = IGNBRK;
    raw.c_oflag = 0;
    raw.c_cflag &= ~static_cast<tcflag_t>(PARENB | CSTOPB | CSIZE);
    raw.c_cflag |= CS8;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ISIG | ECHO | ECHOE);
    tcsetattr(fd, TCSADRAIN, &raw);
    tcflow(fd, TCOON);
    wait_for_key(
        fd, '\r',
        "\r\n    ... Waiting for the <Enter> key to be hit before the download can start...\r");
    return fd;
}

void serial_download_end(int fd) {
    std::puts("       Change the baud rate back to 9600 bps, hit the <ENTER> key");
    settle(fd);
    tcsetattr(fd, TCSADRAIN, &saved_console);
    tcflow(fd, TCOON);
    wait_for_key(fd, '\n', "\r\n    ... Waiting for the <ENTER> key to be hit...\r");
}

void serial_put_byte(std::uint8_t byte) {
    while (write(port, &byte, 1) < 0 && errno == EAGAIN) {
        platform::clock_usleep(1000);
    }
}

int serial_get_byte(unsigned seconds, std::uint8_t* destination) {
    for (unsigned attempt = 0; attempt < seconds * 1000; ++attempt) {
        std::uint8_t byte = 0;
        if (read(port, &byte, 1) == 1) {
            *destination = byte;
            return 1;
        }
        platform::clock_usleep(1000);
    }
    return -1;
}

void serial_purge() {
    std::uint8_t byte = 0;
    while (read(port, &byte, 1) == 1) {
    }
}
