#include "SafeFile.h"

#include "ReadFile.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
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

bool regularFileExists(const std::filesystem::path& path)
{
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool replaceFile(const std::filesystem::path& path, const QByteArray& bytes)
{
    std::string temporary = path.native() + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0)
        return false;
    // mkstemp makes the file private; a replaced file keeps its mode, a new one gets the usual.
    struct stat old {};
    mode_t mode = 0;
    if (::stat(path.c_str(), &old) == 0) {
        mode = old.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, bytes.constData(), static_cast<std::size_t>(bytes.size())) && ::fsync(fd) == 0;
    if (::close(fd) != 0)
        ok = false;
    if (ok && ::rename(temporary.c_str(), path.c_str()) == 0)
        return true;
    ::unlink(temporary.c_str());
    return false;
}

CopyResult copyToNewFile(const std::filesystem::path& source, const std::filesystem::path& target)
{
    // Only a regular file is copied: a FIFO under an icon's name must not hang the copy.
    struct stat info {};
    const int in = openRegularFile(source.c_str(), info);
    if (in < 0)
        return CopyResult::SourceUnreadable;
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
