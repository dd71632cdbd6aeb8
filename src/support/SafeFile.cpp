#include "SafeFile.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace bw {

WriteResult writeNewFile(const std::filesystem::path& path, const QByteArray& bytes)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, 0666);
    if (fd < 0)
        return errno == EEXIST ? WriteResult::AlreadyExists : WriteResult::CannotCreate;

    const char* p = bytes.constData();
    qsizetype left = bytes.size();
    bool ok = true;
    while (left > 0) {
        const ssize_t n = ::write(fd, p, static_cast<size_t>(left));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        p += n;
        left -= n;
    }
    if (::close(fd) != 0)
        ok = false;
    if (!ok) {
        ::unlink(path.c_str());
        return WriteResult::WriteFailed;
    }
    return WriteResult::Ok;
}

} // namespace bw
