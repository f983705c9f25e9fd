#include "sys/console.hpp"

#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "platform/seam.hpp"

namespace {

constexpr std::uint8_t kBel = 7;
constexpr std::uint8_t kBs = 8;
constexpr std::uint8_t kEsc = 27;
constexpr std::uint8_t kDel = 127;
constexpr int kAnswerTimeoutMs = 5000;

void echo_text(const char* text) {
    for (; *text != '\0'; ++text) {
        echo_char(static_cast<unsigned char>(*text));
    }
}

// Editing state of one read_line call. The buffer always holds size - room characters followed
// by NULs.
class LineEditor {
public:
    explicit LineEditor(std::span<char> buffer) : buf_(buffer), room_(buffer.size()) {
        std::fill(buf_.begin(), buf_.end(), '\0');
    }

    // Handles one key; false once the line is finished.
    bool handle(std::uint8_t key) {
        switch (escape_) {
            case Escape::none:
                return handle_plain(key);
            case Escape::esc:
                escape_ = Escape::none;
                if (key == '[') {
                    escape_ = Escape::csi;
                    return true;
                }
                if (key == kBs || key == kDel) {
                    delete_before();
                    return true;
                }
                return handle_plain(key);
            case Escape::csi:
                if ((key >= '0' && key <= '9') || key == ';') {
                    return true;
                }
                escape_ = Escape::none;
                if (key == 'C') {
                    right();
                } else if (key == 'D') {
                    left();
                }
                return true;
        }
        return true;
    }

private:
    enum class Escape { none, esc, csi };

    std::size_t length() const { return buf_.size() - room_; }

    bool handle_plain(std::uint8_t key) {
        switch (key) {
            case 1:
                while (cursor_ > 0) {
                    left();
                }
                return true;
            case 2:
                left();
                return true;
            case 3:
                echo_text(" <break>\n");
                cursor_ = 0;
                return false;
            case 4:
                if (cursor_ < length()) {
                    delete_under();
                }
                return true;
            case 6:
                right();
                return true;
            case kBs:
            case kDel:
                delete_before();
                return true;
            case '\n':
            case '\r':
                echo_char('\n');
                return false;
            case kEsc:
                escape_ = Escape::esc;
                return true;
            default:
                if (key >= 0x20 && room_ > 1) {
                    insert(static_cast<char>(key));
                } else {
                    echo_char(kBel);
                }
                return true;
        }
    }

    void left() {
        if (cursor_ > 0) {
            echo_char(kBs);
            --cursor_;
        }
    }

    void right() {
        if (cursor_ < length()) {
            echo_char(static_cast<unsigned char>(buf_[cursor_]));
            ++cursor_;
        }
    }

    void insert(char c) {
        const std::size_t len = length();
        echo_char(static_cast<unsigned char>(c));
        for (std::size_t i = cursor_; i < len; ++i) {
            echo_char(static_cast<unsigned char>(buf_[i]));
        }
        for (std::size_t i = len; i > cursor_; --i) {
            buf_[i] = buf_[i - 1];
            echo_char(kBs);
        }
        buf_[cursor_] = c;
        --room_;
        ++cursor_;
    }

    void delete_before() {
        if (cursor_ > 0) {
            --cursor_;
            echo_char(kBs);
            delete_under();
        }
    }

    void delete_under() {
        const std::size_t len = length();
        std::memmove(&buf_[cursor_], &buf_[cursor_ + 1], len - cursor_ - 1);
        buf_[len - 1] = '\0';
        ++room_;
        const std::size_t shown = len - 1 - cursor_;
        for (std::size_t i = cursor_; i < len - 1; ++i) {
            echo_char(static_cast<unsigned char>(buf_[i]));
        }
        echo_char(' ');
        for (std::size_t i = 0; i <= shown; ++i) {
            echo_char(kBs);
        }
    }

    std::span<char> buf_;
    std::size_t room_;
    std::size_t cursor_ = 0;
    Escape escape_ = Escape::none;
};

}  // namespace

std::uint8_t read_key() {
    std::uint8_t key = 0;
    termios kept{};
    if (tcgetattr(0, &kept) != 0) {
        // Not a terminal: there are no settings to change, the read itself still counts.
        if (read(0, &key, 1) != 1) {
            key = 0;
        }
        return key;
    }
    termios raw = kept;
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    tcsetattr(0, TCSANOW, &raw);
    if (read(0, &key, 1) != 1) {
        key = 0;
    }
    tcsetattr(0, TCSANOW, &kept);
    return key;
}

void echo_char(int c) {
    std::putchar(c & 0xFF);
    std::fflush(stdout);
}

char* read_line(std::span<char> buffer) {
    LineEditor editor(buffer);
    while (editor.handle(read_key())) {
    }
    return buffer.data();
}

int ask_yes_no_timeout(const char* prompt) {
    std::fputs(prompt, stdout);
    for (;;) {
        std::fputs("(y/n) ", stdout);
        std::fflush(stdout);
        pollfd console{0, POLLIN, 0};
        if (platform::clock_poll(&console, 1, kAnswerTimeoutMs) <= 0) {
            std::puts("\nTimeout. Assuming \"no\".");
            return 0;
        }
        std::uint8_t answer = 0;
        const ssize_t got = read(0, &answer, 1);
        if (got == 0) {
            // A console whose input has ended would report ready forever; take it as no answer.
            std::puts("\nTimeout. Assuming \"no\".");
            return 0;
        }
        if (got < 0) {
            continue;
        }
        if (answer == 'y') {
            return 1;
        }
        if (answer == 'n') {
            return 0;
        }
    }
}

int confirm_yN(const char* question) {
    std::printf("%s y/N? ", question);
    std::fflush(stdout);
    const std::uint8_t key = read_key();
    std::printf("%c\n", key);
    if (key == 0) {
        return 0;
    }
    return std::toupper(key) == 'Y' ? 1 : 0;
}
