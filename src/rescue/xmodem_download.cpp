#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "install/install_log.hpp"
#include "install/installer.hpp"
#include "rescue/rescue.hpp"
#include "rescue/serial.hpp"
#include "sys/shell.hpp"

int xmodem_download() {
    std::puts("Running xmodem rescue.....");
    const int fd = serial_download_begin();
    if (fd < 0) {
        // No port to switch back, and no operator on it to wait for.
        return 0;
    }
    sys::system_command("/usr/bin/rx /tmp/image");
    serial_download_end(fd);
    close(fd);
    struct stat st {};
    if (stat("/tmp/image", &st) != 0) {
        return 0;
    }
    const int installed = install_bundle("/tmp/image", 0, 0);
    if (installed != 0) {
        append_install_log("image", "xmodem");
    }
    return installed;
}
