#pragma once

#include <QByteArray>

#include <sys/types.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace bw {

enum class WriteResult { Ok, AlreadyExists, CannotCreate, WriteFailed };

// A new file that has no name until it is complete. It is created unnamed in its directory
// (O_TMPFILE), or, where the file system cannot do that, under a hidden temporary name
// ".bildwiesel-XXXXXX" that is removed again; it gets its real name only by publish(), after
// everything was written and synced to disk, and publish() never replaces a file. So a kill at
// any moment leaves no partial file under any name the user sees, and no existing file is ever
// touched. The file is locked (flock) for as long as it is written, so that a temporary a kill
// left behind can be told from one that is being written: the first NewFile of a process in a
// directory removes the unlocked ones (removeLeftoverTemporaries).
class NewFile {
public:
    // Hidden: always under the hidden temporary name, for writers that must open the file by a
    // path of their own (a database library); it is named, synced and cleaned up all the same.
    enum class Kind { Unnamed, Hidden };
    explicit NewFile(const std::filesystem::path& directory, Kind kind = Kind::Unnamed);
    ~NewFile();
    NewFile(const NewFile&) = delete;
    NewFile& operator=(const NewFile&) = delete;

    bool isOpen() const { return m_fd >= 0; }
    // Appends bytes, going on after interrupted or short writes.
    bool write(const char* data, std::size_t size);
    bool write(const QByteArray& bytes) { return write(bytes.constData(), static_cast<std::size_t>(bytes.size())); }
    // Puts the bytes on disk; the last step before publish().
    bool sync();
    // Puts the bytes of several files of one file system on disk together; error() then tells
    // which are not.
    static void syncTogether(const std::vector<NewFile*>& files);
    // The bytes written so far.
    std::size_t size() const { return m_size; }
    // Gives the complete file the name `path` (in the directory it was made in). AlreadyExists
    // when the name is taken: the file stays unnamed and may be published under another name.
    WriteResult publish(const std::filesystem::path& path);
    // Gives the complete file the name `path`, replacing the file of that name in one step; a
    // replaced file's permissions are kept.
    WriteResult replace(const std::filesystem::path& path);
    // The errno of the last step that failed, 0 when none did: a full disk or a read-only file
    // system ends a long export at once.
    int error() const { return m_error; }
    // The hidden temporary's path while it has one (always for Kind::Hidden), else empty.
    const std::string& temporaryPath() const { return m_temporary; }

private:
    bool fail();                // keeps errno, for error()
    WriteResult cannotCreate(); // the same, for a name that could not be given
    int m_fd = -1;
    int m_error = 0;
    std::size_t m_size = 0;
    std::string m_directory;
    std::string m_temporary; // the hidden name, where the file system has no unnamed files
};

// True for the names NewFile gives its temporaries: ".bildwiesel-" and six letters or digits.
bool isTemporaryName(std::string_view name);
// Removes the temporaries of NewFile in the directory that nobody holds locked any more (a killed
// run's); nothing else is touched. Returns how many were removed.
int removeLeftoverTemporaries(const std::filesystem::path& directory);

// Writes a new file and never replaces one: a NewFile written, synced and published.
WriteResult writeNewFile(const std::filesystem::path& path, const QByteArray& bytes);

// Writes a file in one step, replacing the one of that name: the bytes go into a NewFile beside
// it, which is synced and then put in the file's place. On any failure the old file stays as it
// was. A replaced file keeps its permissions. The path is used as bytes, so every name works.
bool replaceFile(const std::filesystem::path& path, const QByteArray& bytes);

// True when a regular file (or a link to one) of that path exists; directories do not count.
bool regularFileExists(const std::filesystem::path& path);

enum class CopyResult { Ok, AlreadyExists, SourceUnreadable, CannotCreate, WriteFailed };

// Copies a regular file's bytes into an unpublished NewFile and syncs it unless told not to (the
// caller then syncs it before publishing it). The source is opened first, so a FIFO under an
// icon's name cannot hang the copy.
CopyResult copyInto(NewFile& target, const std::filesystem::path& source, bool syncNow = true);

// Copies a file into a new file and never replaces one (copyInto, then publish).
CopyResult copyToNewFile(const std::filesystem::path& source, const std::filesystem::path& target);

// The system calls through which files are written, replaceable so that tests can see their
// order and stop the program between any two of them, as a kill would.
struct FileSystemCalls {
    ssize_t (*write)(int fd, const void* data, std::size_t size);
    int (*fsync)(int fd);
    int (*linkat)(int fromDirectory, const char* from, int toDirectory, const char* to, int flags);
    int (*rename)(const char* from, const char* to);
    // Opens an unnamed file in a directory (O_TMPFILE); -1 with errno where there are none.
    int (*openUnnamed)(const char* directory);
    int (*syncfs)(int fd);
};
FileSystemCalls& fileSystemCalls();

} // namespace bw
