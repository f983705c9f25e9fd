// The simulated board behind the seam: the board's device paths open emulated devices, every
// other path and descriptor goes to the real system call.
#include "platform/seam.hpp"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <string_view>

#include "emulators.hpp"

namespace platform {
namespace {

using sim::detail::Device;
using sim::detail::DeviceKind;
using sim::detail::Runtime;

int refuse(int error) {
    errno = error;
    return -1;
}

// A descriptor that is a real open file, so that close, dup and poll on it stay sound.
int placeholder() {
    return ::open("/dev/null", O_RDWR | O_CLOEXEC);
}

std::optional<Device> device_for(std::string_view path) {
    constexpr std::string_view mtd = "/dev/mtd-";
    if (path.substr(0, mtd.size()) == mtd) {
        if (auto index = sim::partition_index(path.substr(mtd.size()))) {
            return Device{.kind = DeviceKind::mtd, .partition = *index};
        }
    } else if (path == "/dev/i2c-0" || path == "/dev/i2c-1") {
        return Device{.kind = DeviceKind::i2c, .bus = path.back() - '0'};
    } else if (path == "/dev/mem") {
        return Device{.kind = DeviceKind::mem};
    }
    return std::nullopt;
}

std::string_view presence_name(const Device& dev) {
    switch (dev.kind) {
        case DeviceKind::mtd:
            return sim::partition_names[dev.partition];
        case DeviceKind::i2c:
            return dev.bus == 0 ? "bus0" : "bus1";
        case DeviceKind::mem:
            break;
    }
    return "mem";
}

Device* registered(Runtime& rt, int fd) {
    auto it = rt.devices.find(fd);
    return it == rt.devices.end() ? nullptr : &it->second;
}

}  // namespace

int dev_open(const char* path, int flags) {
    auto dev = device_for(path);
    if (!dev) {
        return ::open(path, flags);
    }
    Runtime& rt = sim::detail::runtime();
    if (sim::detail::device_missing(rt, presence_name(*dev))) {
        return refuse(ENOENT);
    }
    dev->access = flags & O_ACCMODE;
    int fd = -1;
    switch (dev->kind) {
        case DeviceKind::mtd:
            fd = sim::detail::mtd_open(rt, dev->partition);
            break;
        case DeviceKind::i2c:
            fd = placeholder();
            break;
        case DeviceKind::mem:
            fd = sim::detail::cpld_open(rt);
            break;
    }
    if (fd >= 0) {
        rt.devices[fd] = *dev;
    }
    return fd;
}

int dev_close(int fd) {
    sim::detail::runtime().devices.erase(fd);
    return ::close(fd);
}

int dev_ioctl(int fd, unsigned long request, void* arg) {
    // The kernel checks the descriptor first; emulators of other architectures may not.
    if (fd < 0) {
        return refuse(EBADF);
    }
    Runtime& rt = sim::detail::runtime();
    Device* dev = registered(rt, fd);
    if (dev == nullptr) {
        return ::ioctl(fd, request, arg);
    }
    switch (dev->kind) {
        case DeviceKind::mtd:
            return sim::detail::mtd_ioctl(rt, fd, *dev, request, arg);
        case DeviceKind::i2c:
            return sim::detail::i2c_ioctl(rt, *dev, request, arg);
        case DeviceKind::mem:
            break;
    }
    return refuse(ENOTTY);
}

ssize_t dev_read(int fd, void* buf, std::size_t count) {
    Runtime& rt = sim::detail::runtime();
    const Device* dev = registered(rt, fd);
    if (dev == nullptr) {
        return ::read(fd, buf, count);
    }
    switch (dev->kind) {
        case DeviceKind::mtd:
            return sim::detail::mtd_read(rt, fd, *dev, buf, count, std::nullopt);
        case DeviceKind::i2c:
            return sim::detail::i2c_read(rt, *dev, buf, count);
        case DeviceKind::mem:
            break;
    }
    return refuse(EPERM);  // the CPLD is reached through the mapping only
}

ssize_t dev_write(int fd, const void* buf, std::size_t count) {
    Runtime& rt = sim::detail::runtime();
    const Device* dev = registered(rt, fd);
    if (dev == nullptr) {
        return ::write(fd, buf, count);
    }
    switch (dev->kind) {
        case DeviceKind::mtd:
            return sim::detail::mtd_write(rt, fd, *dev, buf, count, std::nullopt);
        case DeviceKind::i2c:
            return sim::detail::i2c_write(rt, *dev, buf, count);
        case DeviceKind::mem:
            break;
    }
    return refuse(EPERM);
}

ssize_t dev_pread(int fd, void* buf, std::size_t count, off_t offset) {
    Runtime& rt = sim::detail::runtime();
    const Device* dev = registered(rt, fd);
    if (dev == nullptr) {
        return ::pread(fd, buf, count, offset);
    }
    if (dev->kind == DeviceKind::mtd) {
        return sim::detail::mtd_read(rt, fd, *dev, buf, count, offset);
    }
    return refuse(dev->kind == DeviceKind::i2c ? ESPIPE : EPERM);
}

ssize_t dev_pwrite(int fd, const void* buf, std::size_t count, off_t offset) {
    Runtime& rt = sim::detail::runtime();
    const Device* dev = registered(rt, fd);
    if (dev == nullptr) {
        return ::pwrite(fd, buf, count, offset);
    }
    if (dev->kind == DeviceKind::mtd) {
        return sim::detail::mtd_write(rt, fd, *dev, buf, count, offset);
    }
    return refuse(dev->kind == DeviceKind::i2c ? ESPIPE : EPERM);
}

void* dev_mmap(void* addr, std::size_t length, int prot, int flags, int fd, off_t offset) {
    Runtime& rt = sim::detail::runtime();
    const Device* dev = registered(rt, fd);
    if (dev == nullptr) {
        return ::mmap(addr, length, prot, flags, fd, offset);
    }
    if (dev->kind != DeviceKind::mem) {
        errno = ENODEV;
        return MAP_FAILED;
    }
    return sim::detail::cpld_mmap(addr, length, prot, flags, fd, offset);
}

int dev_munmap(void* addr, std::size_t length) {
    return ::munmap(addr, length);
}

}  // namespace platform
