// The seam between the boot manager and what a PC cannot provide: the board's device
// descriptors (MTD, i2c-dev, /dev/mem) and the clock the boot manager waits on.
//
// linux/ forwards each call to the system call of the same name. sim/ routes the board's
// device paths to emulators and passes everything else through. Exactly one of the two is
// linked into a program; nothing above the seam can tell which.
#pragma once

#include <poll.h>
#include <sys/types.h>

#include <cstddef>

namespace platform {

// Device descriptors. The paths are the board's: /dev/mtd-*, /dev/i2c-N, /dev/mem. Each call
// returns what the system call of its name returns (-1, or MAP_FAILED for dev_mmap, with errno
// set on failure) and the caller owns what it opens or maps. On the simulated board an absent
// device fails to open with ENOENT, an i2c-dev descriptor takes no pread or pwrite (ESPIPE),
// /dev/mem is reached only by mapping the CPLD window (reads and writes give EPERM), and a
// descriptor or path that is not the board's goes to the system call.
int dev_open(const char* path, int flags);
int dev_close(int fd);
// arg is what the kernel receives: a pointer to the request's record, or for requests that take a
// value (I2C_SLAVE) the value itself cast to a pointer.
int dev_ioctl(int fd, unsigned long request, void* arg);
ssize_t dev_read(int fd, void* buf, std::size_t count);
ssize_t dev_write(int fd, const void* buf, std::size_t count);
ssize_t dev_pread(int fd, void* buf, std::size_t count, off_t offset);
ssize_t dev_pwrite(int fd, const void* buf, std::size_t count, off_t offset);
void* dev_mmap(void* addr, std::size_t length, int prot, int flags, int fd, off_t offset);
int dev_munmap(void* addr, std::size_t length);

// Time. On the simulated board these advance the board's virtual clock by the time that passed.
// sleep returns the seconds left when a signal cut it short, else 0; usleep returns 0, or -1
// with errno EINTR.
unsigned int clock_sleep(unsigned int seconds);
int clock_usleep(useconds_t microseconds);
// poll() whose time-out (milliseconds, negative = none) runs on the board's clock; returns what
// poll() returns.
int clock_poll(struct pollfd* fds, nfds_t nfds, int timeout_ms);

}  // namespace platform
