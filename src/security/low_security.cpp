#include "security/low_security.hpp"

#include <sys/stat.h>

#include <array>
#include <cstdio>
#include <cstdlib>

#include "hw/cpld.hpp"
#include "hw/i2c.hpp"
#include "platform/files.hpp"
#include "platform/seam.hpp"
#include "sys/console.hpp"
#include "sys/flags.hpp"
#include "sys/shell.hpp"

namespace {

constexpr std::uint8_t kLedRegister = 5;
constexpr std::uint8_t kLedDark = 0x01;
constexpr std::uint32_t kBoardRevision = 0x20;
constexpr int kAttempts = 3;
constexpr int kMinimumPeriods = 11;

void led(std::uint8_t value) {
    led_write(kLedRegister, value);
}

void dot() {
    std::fputs(".", stdout);
    std::fflush(stdout);
}

// The seconds register of the clock; a failed read counts as second 0.
std::uint8_t clock_seconds() {
    std::array<std::uint8_t, 7> clock{};
    rtc_read(clock.data());
    return clock[0];
}

// Leading decimal number as strtol reads it: blanks, an optional sign, digits.
long answer_value(const char* line) {
    return std::strtol(line, nullptr, 10);
}

// Creates the marker; says so when it cannot, since the mode is then not in force.
bool create_marker() {
    platform::unique_file marker = platform::open_file(LOWSEC_MARKER, "w");
    bool written = marker && std::fputs("marmoset\n", marker.get()) >= 0;
    // A stream whose buffered text cannot be written out fails at the close.
    if (marker && std::fclose(marker.release()) != 0) {
        written = false;
    }
    if (!written) {
        std::printf("ERROR creating %s. Low security mode not enabled\n", LOWSEC_MARKER);
    }
    return written;
}

int offer_to_leave() {
    std::fputs("Switch is in low security mode. Confirm disabling Y/n? ", stdout);
    std::fflush(stdout);
    const std::uint8_t key = read_key();
    std::printf("%c\n", key);
    if (key == 0) {
        return 0;
    }
    if (key != 'N' && key != 'n') {
        set_low_security(0);
    }
    return 1;
}

}  // namespace

int is_low_security() {
    if (lowsec_override != 0) {
        std::puts("NOTE: Uboot low security mode override enabled");
        return 1;
    }
    struct stat st {};
    return stat(LOWSEC_MARKER, &st) == 0 ? 1 : 0;
}

int set_low_security(std::uint8_t on) {
    if (on == 0) {
        std::remove(LOWSEC_MARKER);
        return 0;
    }
    create_marker();
    return 0;
}

int is_proto_board() {
    // Preset to a production revision: a failed read leaves the byte as it was.
    std::uint8_t revision = 0xF0;
    cpld_read(kBoardRevision, &revision);
    return (revision >> 4) <= 1 ? 1 : 0;
}

int physical_presence_test() {
    if (is_low_security() == 1) {
        return offer_to_leave();
    }
    std::fputs(
        "WARNING: the following test is used to determine physical presence and if completed "
        "will put the switch in low security mode.\nDo you wish to continue y/N? ",
        stdout);
    std::fflush(stdout);
    const std::uint8_t consent = read_key();
    std::printf("%c\n", consent);
    if (consent != 'y' && consent != 'Y') {
        return 0;
    }
    std::uint8_t lit = 0;
    led_read(kLedRegister, &lit);
    const auto dark = static_cast<std::uint8_t>(lit | kLedDark);
    lit = static_cast<std::uint8_t>(lit & ~kLedDark);

    for (int attempt = 1; attempt <= kAttempts; ++attempt) {
        led(dark);
        std::fputs(
            "Hit a key to start the test. The blue location LED will blink a number of times.",
            stdout);
        std::fflush(stdout);
        std::printf("%c\n", read_key());
        const std::uint8_t seconds = clock_seconds();
        int count = (seconds >> 4) + (seconds & 0x0F);
        if (count == 0) {
            count = 1;
        }
        for (int period = 1; period <= count; ++period) {
            if (interrupted != 0) {
                return 0;
            }
            dot();
            led(lit);
            platform::clock_sleep(1);
            led(dark);
            platform::clock_sleep(1);
        }
        // The dots go on with the LED dark, so neither their number nor the time taken gives
        // a small count away.
        for (int period = count + 1; period <= kMinimumPeriods; ++period) {
            if (interrupted != 0) {
                return 0;
            }
            dot();
            led(dark);
            platform::clock_sleep(1);
            led(dark);
            platform::clock_sleep(1);
        }
        if (is_proto_board() == 1) {
            std::printf("\nPROTO quokka cheat: led flahed %d times\n", count);
        }
        std::fputs("\nHow many times did the LED blink? ", stdout);
        std::fflush(stdout);
        std::array<char, 8> line{};
        read_line(line);
        if (interrupted != 0) {
            return 0;
        }
        if (answer_value(line.data()) == count) {
            if (!create_marker()) {
                return 0;
            }
            std::puts("Correct. Physical presence established and low security mode enabled");
            return 1;
        }
        std::printf("Incorrect. Try again (attempt %d of %d)\n", attempt, kAttempts);
    }
    std::puts("Maximum number of test failed. Board is resetting");
    std::fflush(stdout);
    platform::clock_sleep(1);
    reboot_board();
}
