#include "SafeFile.h"

#include <cerrno>
#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>

namespace bw {
namespace {

// Writes all bytes, going on after interrupted or short writes.
bool writeAll(int fd, const char* p, std::size_t left)
{
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

int createExclusive(const std::filesystem::path& path)
{
    return ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
}

} // namespace

WriteResult writeNewFile(const std::filesystem::path& path, const QByteArray& bytes)
{
    const int fd = createExclusive(path);
    if (fd < 0)
        return errno == EEXIST ? WriteResult::AlreadyExists : WriteResult::CannotCreate;
    bool ok = writeAll(fd, bytes.constData(), static_cast<std::size_t>(bytes.size()));
    if (::close(fd) != 0)
        ok = false;
    if (!ok) {
        ::unlink(path.c_str());
        return WriteResult::WriteFailed;
    }
    return WriteResult::Ok;
}

CopyResult copyToNewFile(const std::filesystem::path& source, const std::filesystem::path& target)
{
    // O_NONBLOCK: a FIFO under an icon's name must not hang the copy.
    const int in = ::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (in < 0)
        return CopyResult::SourceUnreadable;
    struct stat info {};
    if (::fstat(in, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(in);
        return CopyResult::SourceUnreadable;
    }
    const int out = createExclusive(target);
    if (out < 0) {
        const int error = errno;
        ::close(in);
        return error == EEXIST ? CopyResult::AlreadyExists : CopyResult::CannotCreate;
    }
    CopyResult result = CopyResult::Ok;
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            result = CopyResult::SourceUnreadable;
            break;
        }
        if (n == 0)
            break;
        if (!writeAll(out, buffer, static_cast<std::size_t>(n))) {
            result = CopyResult::WriteFailed;
            break;
        }
    }
    ::close(in);
    if (::close(out) != 0 && result == CopyResult::Ok)
        result = CopyResult::WriteFailed;
    if (result != CopyResult::Ok)
        ::unlink(target.c_str());
    return result;
}

} // namespace bw
