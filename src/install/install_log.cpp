#include "install/install_log.hpp"

#include <array>
#include <cstdint>
#include <cstdio>

#include "hw/i2c.hpp"

namespace {

using clock_registers = std::array<std::uint8_t, 7>;

// The registers are BCD: printed in hexadecimal they show their decimal digits.
void print_entry(std::FILE* out, const char* file_name, const char* source,
                 const clock_registers& clock) {
    std::fprintf(out, "File %s installed from %s at %2.2x:%2.2x:%2.2x on %x-%x-20%x\n", file_name,
                 source, clock[2] & 0x3F, clock[1] & 0x7F, clock[0] & 0x7F, clock[4] & 0x3F,
                 clock[5] & 0x1F, clock[6]);
}

}  // namespace

int append_install_log(const char* file_name, const char* source) {
    clock_registers clock{};
    rtc_read(clock.data());
    std::printf("Updating install log. ");
    print_entry(stdout, file_name, source, clock);
    std::FILE* log = std::fopen(install_log_path, "a");
    if (log == nullptr) {
        std::printf("WARNING: Unable to open %s for appending\n", install_log_path);
        return 1;
    }
    print_entry(log, file_name, source, clock);
    std::fclose(log);
    return 1;
}
