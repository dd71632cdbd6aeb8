#include "DirectoryListing.h"

#include "catalogue/Volumes.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>

namespace bw {

namespace {

// A record of getdents64 (the kernel's layout; glibc's dirent64 is the same but not declared for
// the raw call).
struct LinuxDirent64 {
    std::uint64_t d_ino;
    std::int64_t d_off;
    unsigned short d_reclen;
    unsigned char d_type;
    char d_name[1];
};

constexpr unsigned long kTmpfsMagic = 0x01021994;

// Kernel file systems that describe processes and devices, by statfs magic number.
bool isPseudoFileSystemMagic(long magic)
{
    switch (static_cast<unsigned long>(magic)) {
    case 0x9fa0:     // proc
    case 0x62656572: // sysfs
    case 0x1cd1:     // devpts
    case 0x27e0eb:   // cgroup
    case 0x63677270: // cgroup2
    case 0x64626720: // debugfs
    case 0x74726163: // tracefs
    case 0x73636673: // securityfs
    case 0x6165676c: // pstore
    case 0xcafe4a11: // bpf
    case 0x62656570: // configfs
    case 0x65735543: // fusectl
    case 0x19800202: // mqueue
    case 0x958458f6: // hugetlbfs
    case 0x0187:     // autofs
    case 0x42494e4d: // binfmt_misc
        return true;
    default: return false;
    }
}

} // namespace

namespace {

int openDirectory(const std::string& path, const ListingOptions& options)
{
    constexpr int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC | O_NONBLOCK;
    if (options.parentDescriptor >= 0 && !options.name.empty() && options.name.size() <= NAME_MAX) {
        char name[NAME_MAX + 1];
        std::memcpy(name, options.name.data(), options.name.size());
        name[options.name.size()] = '\0';
        // Where that fails (out of descriptors, say), the path is tried as before.
        if (const int fd = ::openat(options.parentDescriptor, name, flags); fd >= 0)
            return fd;
    }
    return ::open(path.c_str(), flags);
}

} // namespace

DirectoryListing listDirectory(const std::string& path, std::uint64_t parentVolume, const ListingOptions& options)
{
    DirectoryListing listing;
    // A directory that cannot be opened contributes nothing; the caller says so.
    const int fd = openDirectory(path, options);
    if (fd < 0)
        listing.error = errno;
    if (fd >= 0) {
        struct stat self {};
        if (::fstat(fd, &self) == 0) {
            listing.volume = self.st_dev;
            listing.mtimeNs = static_cast<std::int64_t>(self.st_mtim.tv_sec) * 1'000'000'000 + self.st_mtim.tv_nsec;
        }
        // Only where the device changes (a mount point, or the start) can the file system be
        // another one; there the kernel's magic number tells whether it is a pseudo file system.
        // devtmpfs alone looks like tmpfs, so only a tmpfs is looked up in the mount table.
        bool pseudo = false;
        if (listing.volume != parentVolume) {
            struct statfs fs {};
            if (::fstatfs(fd, &fs) == 0) {
                pseudo = isPseudoFileSystemMagic(fs.f_type);
                if (static_cast<unsigned long>(fs.f_type) == kTmpfsMagic)
                    pseudo = isPseudoFileSystem(fileSystemTypeOfDevice(listing.volume));
            }
        }
        if (!pseudo) {
            // The entries straight from the kernel: opendir would check the descriptor again
            // (fcntl, fstat) for each of the tens of thousands of directories of a large read.
            alignas(8) char buffer[32768];
            for (;;) {
                const long bytes = ::syscall(SYS_getdents64, fd, buffer, sizeof buffer);
                if (bytes <= 0) {
                    if (bytes < 0)
                        listing.error = errno; // what was listed so far is kept
                    break;
                }
                for (long at = 0; at < bytes;) {
                    const auto* entry = reinterpret_cast<const LinuxDirent64*>(buffer + at);
                    at += entry->d_reclen;
                    const char* name = entry->d_name;
                    if (name[0] == '\0' || name[0] == '.')
                        continue; // hidden files and directories, "." and ".."
                    unsigned char type = entry->d_type;
                    struct stat st {};
                    if (type == DT_UNKNOWN) {
                        if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
                            continue;
                        type = S_ISREG(st.st_mode) ? DT_REG : S_ISDIR(st.st_mode) ? DT_DIR : S_ISLNK(st.st_mode) ? DT_LNK : DT_UNKNOWN;
                    }
                    if (type == DT_DIR) {
                        listing.subdirectories.emplace_back(name);
                        continue;
                    }
                    if ((type != DT_REG && type != DT_LNK) || (options.keepFile && !options.keepFile(name, options.context)))
                        continue;
                    // A link counts as the regular file it points to; links to directories are
                    // never followed.
                    if (type == DT_REG || (::fstatat(fd, name, &st, 0) == 0 && S_ISREG(st.st_mode)))
                        listing.files.emplace_back(name);
                }
            }
        }
        if (options.keepOpen)
            listing.descriptor = fd;
        else
            ::close(fd);
    }
    std::sort(listing.files.begin(), listing.files.end());
    std::sort(listing.subdirectories.begin(), listing.subdirectories.end());
    return listing;
}

} // namespace bw
