#include "boot/app_start.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>

#include "hw/i2c.hpp"
#include "platform/files.hpp"
#include "platform/seam.hpp"
#include "sys/flags.hpp"
#include "sys/shell.hpp"

namespace {

constexpr const char* tarball_path = "/tmp/varosimage.tar.gz";
constexpr const char* install_script = "/tmp/home/bin/install.sh";
constexpr const char* env_list = "/tmp/home/bin/env-setup";

bool exists(const char* path) {
    struct stat st {};
    return ::stat(path, &st) == 0;
}

// Word pairs "NAME VALUE" become the environment of everything started from here on; an odd
// last word names a variable set to the empty string.
void apply_env_list() {
    const platform::unique_file list = platform::open_file(env_list, "r");
    if (!list) {
        return;
    }
    std::array<char, 512> name{};
    std::array<char, 512> value{};
    while (std::fscanf(list.get(), "%511s %511s", name.data(), value.data()) != EOF) {
        ::setenv(name.data(), value.data(), 1);
        name.fill(0);
        value.fill(0);
    }
}

[[noreturn]] void run_then_reboot(const char* command) {
    sys::run_command(command);
    reboot_board();
}

}  // namespace

void start_application(std::uint32_t diagnostics) {
    std::array<char, 256> command{};
    platform::clock_sleep(1);
    std::snprintf(command.data(), command.size(), "cd /tmp \ntar mxzf %s \nrm %s\n", tarball_path,
                  tarball_path);
    if (sys::run_command(command.data()) < 0) {
        std::fputs("Failed to gunzip Application OS.\n", stderr);
        reboot_board();
    }
    i2c_close_buses();

    if (diagnostics != 0) {
        std::puts("install diags image");
        sys::run_command("mkdir -p /tmp/home/bin");
        sys::run_command("mv /tmp/mpdiag.elf.strip /tmp/home/bin/mp.elf.strip");
    }
    if (exists(install_script)) {
        std::puts("Running install script");
        sys::run_command(install_script);
        apply_env_list();
    }
    if (shell_mode != 0) {
        std::puts("Dropping into shell");
        sys::run_command("/bin/sh\n");
        std::puts("Dropping out of shell");
    }

    if (gdbserver_mode != 0) {
        std::snprintf(command.data(), command.size(),
                      memchk_mode != 0 ? "LD_PRELOAD=libduma.so.0.0.0 /bin/gdbserver :%d "
                                         "/tmp/home/bin/mp.elf.strip\n"
                                       : "/bin/gdbserver :%d /tmp/home/bin/mp.elf.strip\n",
                      gdb_port);
        run_then_reboot(command.data());
    }
    if (gdb_mode != 0) {
        if (exists("/tmp/gdb")) {
            std::puts("*** Launching under GDB ***");
            run_then_reboot("/tmp/gdb /tmp/home/bin/mp.elf.strip");
        }
        std::puts("**** GDB mode selected but GDB not available. Please install GDB image ***");
    } else if (memchk_mode != 0) {
        run_then_reboot("LD_PRELOAD=libduma.so.0.0.0 /tmp/home/bin/mp.elf.strip\n");
    }
    std::fflush(nullptr);
    // Ignored dispositions outlive the exec: the application gets the console's keys back.
    sys::default_quit_and_stop();
    ::execlp("/bin/backtrace", "/bin/backtrace", static_cast<char*>(nullptr));
    sys::ignore_quit_and_stop();
    std::fputs("Failed to start Application OS.\n", stderr);
    reboot_board();
}
