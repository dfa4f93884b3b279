#include "frontends/server/platform/process_stats.h"

#ifdef Q_OS_LINUX
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>
#endif

namespace server {

#ifdef Q_OS_LINUX

namespace {

// The whole of a small /proc file into buf, NUL-ended; its length or -1.
ssize_t readSmall(const char* path, char* buf, size_t size) {
    const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    ssize_t got = 0;
    while (got < ssize_t(size) - 1) {
        const ssize_t n = ::read(fd, buf + got, size - 1 - size_t(got));
        if (n <= 0)
            break;
        got += n;
    }
    ::close(fd);
    buf[got] = '\0';
    return got;
}

// When the machine started, from /proc/stat's btime line: the file grows
// with the processors and interrupts, so it is read in pieces.
qint64 bootTime() {
    const int fd = ::open("/proc/stat", O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    char buf[4096];
    constexpr char kKey[] = "\nbtime ";
    constexpr size_t kKeep = sizeof kKey + 24; // a key and its number across two pieces
    size_t have = 0;
    qint64 boot = 0;
    for (;;) {
        const ssize_t n = ::read(fd, buf + have, sizeof buf - 1 - have);
        if (n <= 0)
            break;
        have += size_t(n);
        buf[have] = '\0';
        if (const char* at = std::strstr(buf, kKey); at && std::strchr(at + 1, '\n')) {
            boot = std::strtoll(at + sizeof kKey - 1, nullptr, 10);
            break;
        }
        const size_t keep = have < kKeep ? have : kKeep;
        std::memmove(buf, buf + have - keep, keep);
        have = keep;
    }
    ::close(fd);
    return boot;
}

// Entries of /proc/self/fd, read with the system call itself: opendir()
// would allocate.
int openFiles() {
    const int fd = ::open("/proc/self/fd", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return 0;
    alignas(8) char buf[4096];
    int count = 0;
    for (;;) {
        const long n = ::syscall(SYS_getdents64, fd, buf, sizeof buf);
        if (n <= 0)
            break;
        for (long at = 0; at < n;) {
            unsigned short length;
            std::memcpy(&length, buf + at + 16, sizeof length); // d_reclen
            const char* name = buf + at + 19;                   // d_name
            count += std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0;
            at += length;
        }
    }
    ::close(fd);
    return count - 1; // the one reading it
}

} // namespace

ProcessStats processStats() {
    ProcessStats out;
    char buf[1024];
    if (readSmall("/proc/self/stat", buf, sizeof buf) <= 0)
        return out;
    // The name in parentheses may hold anything; the fields follow the last ')'.
    const char* p = std::strrchr(buf, ')');
    if (!p)
        return out;
    // Fields from the third (state) on: utime is the 14th, stime the 15th,
    // starttime the 22nd.
    unsigned long long field[23] = {};
    p += 2;
    for (int i = 3; i <= 22 && *p; ++i) {
        char* end = nullptr;
        field[i] = i == 3 ? 0 : std::strtoull(p, &end, 10);
        const char* space = std::strchr(p, ' ');
        if (!space)
            break;
        p = space + 1;
    }
    static const long ticks = ::sysconf(_SC_CLK_TCK);
    static const long page = ::sysconf(_SC_PAGESIZE);
    static const qint64 boot = bootTime();
    out.cpuSeconds = double(field[14] + field[15]) / double(ticks);
    out.startTime = double(boot) + double(field[22]) / double(ticks);
    if (readSmall("/proc/self/statm", buf, sizeof buf) > 0) {
        const char* second = std::strchr(buf, ' ');
        out.residentBytes = second ? qint64(std::strtoll(second + 1, nullptr, 10)) * page : 0;
    }
    out.openFiles = openFiles();
    out.known = ticks > 0 && boot > 0;
    return out;
}

#else

ProcessStats processStats() {
    return {};
}

#endif

} // namespace server
