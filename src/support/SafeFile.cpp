#include "SafeFile.h"

#include "ReadFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <set>

namespace bw {
namespace {

int openUnnamedFile(const char* directory) { return ::open(directory, O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666); }

FileSystemCalls systemCalls {::write, ::fsync, ::linkat, ::rename, openUnnamedFile, ::syncfs};

// Writes all bytes, going on after interrupted or short writes.
bool writeAll(int fd, const char* p, std::size_t left)
{
    while (left > 0) {
        const ssize_t n = systemCalls.write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0)
            errno = ENOSPC; // a write that makes no progress: the disk is full
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

constexpr std::string_view kTemporaryPrefix = ".bildwiesel-";
constexpr std::size_t kTemporaryRandomLength = 6;

// Holds the lock that marks a temporary as being written. A file system without locks gives
// none, and then no other run can take one either, so its temporaries are never removed early.
void lockWhileWritten(int fd)
{
    while (::flock(fd, LOCK_EX) != 0 && errno == EINTR) {}
}

// Same file: the name still holds the file behind the descriptor.
bool nameHolds(int directory, const char* name, int fd)
{
    struct stat byName {};
    struct stat byFd {};
    return ::fstatat(directory, name, &byName, AT_SYMLINK_NOFOLLOW) == 0 && ::fstat(fd, &byFd) == 0 && byName.st_dev == byFd.st_dev
        && byName.st_ino == byFd.st_ino;
}

// A fresh temporary name in the directory, not yet taken when it was made up.
std::string temporaryName(const std::string& directory)
{
    static const char letters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    unsigned char random[kTemporaryRandomLength] {};
    if (::getrandom(random, sizeof random, 0) != static_cast<ssize_t>(sizeof random))
        for (unsigned char& r : random)
            r = static_cast<unsigned char>(std::rand());
    std::string name = directory + "/" + std::string(kTemporaryPrefix);
    for (const unsigned char r : random)
        name += letters[r % (sizeof letters - 1)];
    return name;
}

// Gives an unnamed file a name; fails with EEXIST when the name is taken.
int linkUnnamed(int fd, const char* name)
{
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    const int result = systemCalls.linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name, AT_SYMLINK_FOLLOW);
    if (result != 0 && errno == ENOENT && ::access("/proc/self/fd", F_OK) != 0)
        return systemCalls.linkat(fd, "", AT_FDCWD, name, AT_EMPTY_PATH); // no /proc
    return result;
}

// The directories this process has already cleared of leftover temporaries: a temporary can
// only be left by a run that was killed, and that was an earlier process.
void removeLeftoversOnce(const std::string& directory)
{
    static std::mutex mutex;
    static std::set<std::string> cleared;
    {
        const std::lock_guard lock(mutex);
        if (!cleared.insert(directory).second)
            return;
    }
    removeLeftoverTemporaries(directory);
}

} // namespace

FileSystemCalls& fileSystemCalls() { return systemCalls; }

bool isTemporaryName(std::string_view name)
{
    if (name.size() != kTemporaryPrefix.size() + kTemporaryRandomLength || !name.starts_with(kTemporaryPrefix))
        return false;
    for (const char c : name.substr(kTemporaryPrefix.size()))
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
            return false;
    return true;
}

int removeLeftoverTemporaries(const std::filesystem::path& directory)
{
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(directory.empty() ? "." : directory.c_str()), ::closedir);
    if (!dir)
        return 0;
    const int dirFd = ::dirfd(dir.get());
    int removed = 0;
    while (const dirent* e = ::readdir(dir.get())) {
        if (!isTemporaryName(e->d_name))
            continue;
        // Opened for writing, as some file systems lock only such descriptors; never a FIFO's wait.
        const int fd = ::openat(dirFd, e->d_name, O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0)
            continue;
        struct stat info {};
        // Locked means being written now; and the name must still hold the file that was locked.
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 && nameHolds(dirFd, e->d_name, fd)
            && ::unlinkat(dirFd, e->d_name, 0) == 0)
            ++removed;
        ::close(fd);
    }
    return removed;
}

NewFile::NewFile(const std::filesystem::path& directory, Kind kind) : m_directory(directory.empty() ? std::string(".") : directory.native())
{
    removeLeftoversOnce(m_directory);
    const std::string& dir = m_directory;
    if (kind == Kind::Unnamed) {
        m_fd = systemCalls.openUnnamed(dir.c_str());
        if (m_fd >= 0) {
            lockWhileWritten(m_fd); // it gets a temporary name for a moment when it replaces a file
            return;
        }
        if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
            m_error = errno;
            return;
        }
    }
    // No unnamed files here (an older or foreign file system): a hidden name of our own, locked.
    // A run clearing leftovers may take the name between its creation and the lock; then the
    // name holds nothing any more, and another is made.
    for (int attempt = 0; attempt < 16 && m_fd < 0; ++attempt) {
        std::string temporary = dir + "/" + std::string(kTemporaryPrefix) + "XXXXXX";
        m_fd = ::mkostemp(temporary.data(), O_CLOEXEC);
        if (m_fd < 0) {
            m_error = errno;
            return;
        }
        lockWhileWritten(m_fd);
        if (!nameHolds(AT_FDCWD, temporary.c_str(), m_fd)) {
            ::close(m_fd);
            m_fd = -1;
            continue;
        }
        m_temporary = std::move(temporary);
    }
    if (m_fd >= 0 && ::fchmod(m_fd, newFileMode()) != 0) {
        m_error = errno;
        ::close(m_fd);
        ::unlink(m_temporary.c_str());
        m_fd = -1;
        m_temporary.clear();
    }
}

NewFile::~NewFile()
{
    // The name goes before the lock, so no other run sees it unlocked.
    if (!m_temporary.empty())
        ::unlink(m_temporary.c_str());
    if (m_fd >= 0)
        ::close(m_fd);
}

bool NewFile::fail()
{
    m_error = errno;
    return false;
}

WriteResult NewFile::cannotCreate()
{
    m_error = errno;
    return WriteResult::CannotCreate;
}

bool NewFile::write(const char* data, std::size_t size)
{
    if (m_fd < 0)
        return false;
    if (!writeAll(m_fd, data, size))
        return fail();
    m_size += size;
    return true;
}

bool NewFile::sync() { return m_fd >= 0 && (systemCalls.fsync(m_fd) == 0 || fail()); }

void NewFile::syncTogether(const std::vector<NewFile*>& files)
{
    // One sync of their file system: one journal commit and one flush of the disk's cache cover
    // every file, where an fsync each flushes the cache once per file (on a virtual disk 2 to 3 ms
    // each, 0.3 s for 128 files against 15 ms). It writes other programs' files of that file
    // system too, which costs less than the flushes it saves. The writeback of the batch is
    // started first, so that the disk has it in hand before the others.
    const auto open = std::find_if(files.begin(), files.end(), [](const NewFile* file) { return file->m_fd >= 0; });
    if (open == files.end())
        return;
    for (const NewFile* file : files)
        if (file->m_fd >= 0)
            ::sync_file_range(file->m_fd, 0, 0, SYNC_FILE_RANGE_WRITE);
    if (systemCalls.syncfs((*open)->m_fd) != 0) {
        // A write error anywhere on the file system since the file was opened (or no syncfs to
        // be had): each file is synced on its own, and what fails there is the file's error.
        for (NewFile* file : files)
            file->sync();
        return;
    }
    // syncfs tells of a failed write somewhere on the file system, not in which file; a wait for
    // each file's writeback, already done, tells of its own, at no cost.
    for (NewFile* file : files)
        if (file->m_fd >= 0 && ::sync_file_range(file->m_fd, 0, 0, SYNC_FILE_RANGE_WAIT_BEFORE | SYNC_FILE_RANGE_WAIT_AFTER) != 0)
            file->fail();
}

WriteResult NewFile::replace(const std::filesystem::path& path)
{
    if (m_fd < 0)
        return WriteResult::CannotCreate;
    // A replaced file keeps its mode; a new one has the usual one already.
    struct stat old {};
    if (::stat(path.c_str(), &old) == 0 && ::fchmod(m_fd, old.st_mode & 07777) != 0)
        return cannotCreate();
    if (m_temporary.empty()) {
        // An unnamed file cannot take another's place: it gets a temporary name first, which a
        // kill may leave behind, locked until then and so recognisable as a leftover afterwards.
        for (int attempt = 0; attempt < 16 && m_temporary.empty(); ++attempt) {
            std::string temporary = temporaryName(m_directory);
            if (linkUnnamed(m_fd, temporary.c_str()) == 0)
                m_temporary = std::move(temporary);
            else if (errno != EEXIST)
                return cannotCreate();
        }
        if (m_temporary.empty())
            return WriteResult::CannotCreate;
    }
    if (systemCalls.rename(m_temporary.c_str(), path.c_str()) != 0)
        return cannotCreate();
    m_temporary.clear(); // it is the file now
    return WriteResult::Ok;
}

WriteResult NewFile::publish(const std::filesystem::path& path)
{
    if (m_fd < 0)
        return WriteResult::CannotCreate;
    int result = 0;
    if (!m_temporary.empty()) {
        // A hard link never replaces its target; the hidden name goes when this object does.
        result = systemCalls.linkat(AT_FDCWD, m_temporary.c_str(), AT_FDCWD, path.c_str(), 0);
        if (result != 0 && (errno == EPERM || errno == EOPNOTSUPP || errno == ENOSYS)) {
            // No hard links here (vfat, exFAT): a rename that never replaces does the same.
            result = ::renameat2(AT_FDCWD, m_temporary.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE);
            if (result == 0)
                m_temporary.clear();
        }
    } else {
        result = linkUnnamed(m_fd, path.c_str());
    }
    if (result == 0)
        return WriteResult::Ok;
    return errno == EEXIST ? WriteResult::AlreadyExists : cannotCreate();
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
    NewFile file(directoryOf(path));
    return file.isOpen() && file.write(bytes) && file.sync() && file.replace(path) == WriteResult::Ok;
}

CopyResult copyInto(NewFile& target, const std::filesystem::path& source, bool syncNow)
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
    if (result == CopyResult::Ok && syncNow && !target.sync())
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
