#include "SafeFile.h"

#include "ReadFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

namespace bw {
namespace {

int openUnnamedFile(const char* directory) { return ::open(directory, O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666); }

FileSystemCalls systemCalls {::write, ::fsync, ::linkat, ::rename, openUnnamedFile};

// Writes all bytes, going on after interrupted or short writes.
bool writeAll(int fd, const char* p, std::size_t left)
{
    while (left > 0) {
        const ssize_t n = systemCalls.write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    return true;
}

mode_t newFileMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

std::string directoryOf(const std::filesystem::path& path)
{
    const std::filesystem::path parent = path.parent_path();
    return parent.empty() ? std::string(".") : parent.native();
}

} // namespace

FileSystemCalls& fileSystemCalls() { return systemCalls; }

NewFile::NewFile(const std::filesystem::path& directory)
{
    const std::string dir = directory.empty() ? std::string(".") : directory.native();
    m_fd = systemCalls.openUnnamed(dir.c_str());
    if (m_fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL))
        return;
    // No unnamed files here (an older or foreign file system): a hidden name of our own.
    std::string temporary = dir + "/.bildwiesel-XXXXXX";
    m_fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (m_fd < 0)
        return;
    m_temporary = std::move(temporary);
    if (::fchmod(m_fd, newFileMode()) != 0) {
        ::close(m_fd);
        ::unlink(m_temporary.c_str());
        m_fd = -1;
        m_temporary.clear();
    }
}

NewFile::~NewFile()
{
    if (m_fd >= 0)
        ::close(m_fd);
    if (!m_temporary.empty())
        ::unlink(m_temporary.c_str());
}

bool NewFile::write(const char* data, std::size_t size) { return m_fd >= 0 && writeAll(m_fd, data, size); }

bool NewFile::sync() { return m_fd >= 0 && systemCalls.fsync(m_fd) == 0; }

WriteResult NewFile::publish(const std::filesystem::path& path)
{
    if (m_fd < 0)
        return WriteResult::CannotCreate;
    int result = 0;
    if (!m_temporary.empty()) {
        // A hard link never replaces its target; the hidden name goes when this object does.
        result = systemCalls.linkat(AT_FDCWD, m_temporary.c_str(), AT_FDCWD, path.c_str(), 0);
    } else {
        const std::string self = "/proc/self/fd/" + std::to_string(m_fd);
        result = systemCalls.linkat(AT_FDCWD, self.c_str(), AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW);
        if (result != 0 && errno == ENOENT && ::access("/proc/self/fd", F_OK) != 0)
            result = systemCalls.linkat(m_fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH); // no /proc
    }
    if (result == 0)
        return WriteResult::Ok;
    return errno == EEXIST ? WriteResult::AlreadyExists : WriteResult::CannotCreate;
}

WriteResult writeNewFile(const std::filesystem::path& path, const QByteArray& bytes)
{
    NewFile file(directoryOf(path));
    if (!file.isOpen())
        return WriteResult::CannotCreate;
    if (!file.write(bytes) || !file.sync())
        return WriteResult::WriteFailed;
    return file.publish(path);
}

bool regularFileExists(const std::filesystem::path& path)
{
    struct stat info {};
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

bool replaceFile(const std::filesystem::path& path, const QByteArray& bytes)
{
    // Hidden, so that a kill before the rename leaves nothing a user would take for the file.
    std::string temporary = directoryOf(path) + "/." + path.filename().native() + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    // mkstemp makes the file private; a replaced file keeps its mode, a new one gets the usual.
    struct stat old {};
    const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : newFileMode();
    bool ok
        = ::fchmod(fd, mode) == 0 && writeAll(fd, bytes.constData(), static_cast<std::size_t>(bytes.size())) && systemCalls.fsync(fd) == 0;
    if (::close(fd) != 0)
        ok = false;
    if (ok && systemCalls.rename(temporary.c_str(), path.c_str()) == 0)
        return true;
    ::unlink(temporary.c_str());
    return false;
}

CopyResult copyInto(NewFile& target, const std::filesystem::path& source)
{
    // Only a regular file is copied: a FIFO under an icon's name must not hang the copy.
    struct stat info {};
    const int in = openRegularFile(source.c_str(), info);
    if (in < 0)
        return CopyResult::SourceUnreadable;
    CopyResult result = target.isOpen() ? CopyResult::Ok : CopyResult::CannotCreate;
    char buffer[1 << 16];
    while (result == CopyResult::Ok) {
        const ssize_t n = ::read(in, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            result = CopyResult::SourceUnreadable;
        else if (n == 0)
            break;
        else if (!target.write(buffer, static_cast<std::size_t>(n)))
            result = CopyResult::WriteFailed;
    }
    ::close(in);
    if (result == CopyResult::Ok && !target.sync())
        result = CopyResult::WriteFailed;
    return result;
}

CopyResult copyToNewFile(const std::filesystem::path& source, const std::filesystem::path& target)
{
    NewFile file(directoryOf(target));
    const CopyResult result = copyInto(file, source);
    if (result != CopyResult::Ok)
        return result;
    switch (file.publish(target)) {
    case WriteResult::Ok: return CopyResult::Ok;
    case WriteResult::AlreadyExists: return CopyResult::AlreadyExists;
    default: return CopyResult::CannotCreate;
    }
}

} // namespace bw
