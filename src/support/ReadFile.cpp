#include "ReadFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

namespace bw {

int openRegularFile(const char* path, struct stat& info) { return openRegularFileAt(AT_FDCWD, path, info); }

int openRegularFileAt(int directory, const char* name, struct stat& info)
{
    const int fd = ::openat(directory, name, O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
    if (fd < 0)
        return -1;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

std::size_t readUpTo(int fd, void* data, std::size_t size)
{
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::read(fd, static_cast<char*>(data) + got, size - got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

std::optional<QByteArray> readWholeFile(const std::string& path)
{
    struct stat st {};
    const int fd = openRegularFile(path.c_str(), st);
    if (fd < 0)
        return std::nullopt;
    QByteArray bytes;
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            ::close(fd);
            return std::nullopt;
        }
        if (n == 0)
            break;
        bytes.append(buffer, n);
    }
    ::close(fd);
    return bytes;
}

} // namespace bw
