#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "install/install_log.hpp"
#include "install/installer.hpp"
#include "rescue/rescue.hpp"
#include "sys/console.hpp"

namespace {

constexpr const char* kUsbDir = "/mnt/usb";

// Where the working directory cannot be changed there is nothing better to do than stay.
void change_dir(const char* path) {
    if (chdir(path) != 0) {
        return;
    }
}

struct DirCloser {
    void operator()(DIR* dir) const {
        change_dir("/tmp");
        closedir(dir);
    }
};

// An open USB directory that is also the working directory; closing it returns to /tmp.
using UsbDir = std::unique_ptr<DIR, DirCloser>;

UsbDir open_usb_dir() {
    UsbDir dir(opendir(kUsbDir));
    if (dir && chdir(kUsbDir) != 0) {
        dir.reset();
    }
    return dir;
}

// The next entry that is not a directory, in the order the directory delivers them.
dirent* next_file(DIR* dir) {
    while (dirent* entry = readdir(dir)) {
        struct stat st {};
        if (lstat(entry->d_name, &st) == 0 && S_ISDIR(st.st_mode)) {
            continue;
        }
        return entry;
    }
    return nullptr;
}

// The chosen number, or 0 for quit.
long ask_file_number() {
    std::fputs("Choose file number to install (q to quit): ", stdout);
    std::fflush(stdout);
    for (;;) {
        std::array<char, 128> line{};
        read_line(line);
        if (line[0] == 'q' || line[0] == 'Q') {
            return 0;
        }
        int number = 0;
        if (std::sscanf(line.data(), "%d", &number) == 1) {
            return number;
        }
        std::printf("Invalid file number %s. Try again pleas\n", line.data());
    }
}

}  // namespace

int usb_directory_install() {
    long choice = 0;
    {
        const UsbDir dir = open_usb_dir();
        if (!dir) {
            std::puts("Unable to open USB directory. Quitting");
            return 0;
        }
        int number = 1;
        while (const dirent* entry = next_file(dir.get())) {
            std::printf("\t%d: %s\n", number++, entry->d_name);
        }
        choice = ask_file_number();
    }
    if (choice <= 0) {
        return 0;
    }
    std::string path;
    {
        const UsbDir dir = open_usb_dir();
        if (!dir) {
            std::puts("Unable to re-open USB directory. Quitting");
            return 0;
        }
        long number = 1;
        const dirent* entry = nullptr;
        while ((entry = next_file(dir.get())) != nullptr && number < choice) {
            ++number;
        }
        if (entry == nullptr) {
            return 0;
        }
        std::printf("Installing %s\n", entry->d_name);
        path = std::string(kUsbDir) + '/' + entry->d_name;
    }
    const int installed = install_bundle(path.c_str(), 0, 0);
    if (installed != 0) {
        append_install_log(path.c_str(), "USB");
    }
    return installed;
}
