// The real board: every seam call is the system call of the same name.
#include "platform/seam.hpp"

#include <fcntl.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace platform {

int dev_open(const char* path, int flags) {
    return ::open(path, flags);
}
int dev_close(int fd) {
    return ::close(fd);
}
int dev_ioctl(int fd, unsigned long request, void* arg) {
    return ::ioctl(fd, request, arg);
}
ssize_t dev_read(int fd, void* buf, std::size_t count) {
    return ::read(fd, buf, count);
}
ssize_t dev_write(int fd, const void* buf, std::size_t count) {
    return ::write(fd, buf, count);
}

ssize_t dev_pread(int fd, void* buf, std::size_t count, off_t offset) {
    return ::pread(fd, buf, count, offset);
}

ssize_t dev_pwrite(int fd, const void* buf, std::size_t count, off_t offset) {
    return ::pwrite(fd, buf, count, offset);
}

void* dev_mmap(void* addr, std::size_t length, int prot, int flags, int fd, off_t offset) {
    return ::mmap(addr, length, prot, flags, fd, offset);
}

int dev_munmap(void* addr, std::size_t length) {
    return ::munmap(addr, length);
}

unsigned int clock_sleep(unsigned int seconds) {
    return ::sleep(seconds);
}
int clock_usleep(useconds_t microseconds) {
    return ::usleep(microseconds);
}

int clock_poll(struct pollfd* fds, nfds_t nfds, int timeout_ms) {
    return ::poll(fds, nfds, timeout_ms);
}

}  // namespace platform
