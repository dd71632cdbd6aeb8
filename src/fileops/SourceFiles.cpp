#include "SourceFiles.h"

#include "catalogue/Indexer.h"
#include "icons/IconExtractor.h"
#include "icons/MappedFile.h"
#include "support/ReadFile.h"
#include "support/SafeFile.h"

#include <QDateTime>
#include <QString>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <random>
#include <unordered_map>

namespace bw {
namespace {

std::string parentDirectory(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string absolutePath(const std::string& path)
{
    if (path.starts_with('/'))
        return path;
    std::error_code ec;
    return (std::filesystem::current_path(ec) / path).string();
}

// Creates a directory (0700) unless it exists; true when a real directory (not a link) is there.
bool ensureDirectory(const std::string& path)
{
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool ensureTrash(const std::string& trash)
{
    return ensureDirectory(trash) && ensureDirectory(trash + "/files") && ensureDirectory(trash + "/info");
}

std::string homeTrash()
{
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome && *dataHome == '/')
        return std::string(dataHome) + "/Trash";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.local/share/Trash";
}

// The path with its directory resolved, so that a file reached through a link to another volume
// goes to that volume's trash; the file's own name stays, even when it is a link itself.
std::string resolvedDirectory(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    char* real = ::realpath(parentDirectory(path).c_str(), nullptr);
    if (!real)
        return path;
    std::string resolved(real);
    std::free(real);
    if (resolved != "/")
        resolved += '/';
    return resolved + path.substr(slash + 1);
}

// The top directory of the volume holding `directory`: the last ancestor on the same device.
std::string volumeTop(const std::string& directory, dev_t device)
{
    std::string top = directory;
    while (top != "/") {
        const std::string up = parentDirectory(top);
        struct stat info {};
        if (::stat(up.c_str(), &info) != 0 || info.st_dev != device)
            break;
        top = up;
    }
    return top;
}

// The trash for a file on another volume than the home trash: $top/.Trash/$uid when the
// administrator provided a sticky, real .Trash, else $top/.Trash-$uid.
std::string volumeTrash(const std::string& top)
{
    const std::string base = top == "/" ? std::string() : top;
    const std::string uid = std::to_string(::getuid());
    struct stat shared {};
    if (::lstat((base + "/.Trash").c_str(), &shared) == 0 && S_ISDIR(shared.st_mode) && (shared.st_mode & S_ISVTX)) {
        const std::string trash = base + "/.Trash/" + uid;
        if (ensureTrash(trash))
            return trash;
    }
    const std::string trash = base + "/.Trash-" + uid;
    if (!ensureTrash(trash))
        return {};
    struct stat own {};
    if (::lstat(trash.c_str(), &own) != 0 || own.st_uid != ::getuid())
        return {};
    return trash;
}

// The longest name of a file in the trash: its record's name adds ".trashinfo" and must still fit.
constexpr std::size_t kMaxTrashName = NAME_MAX - std::string_view(".trashinfo").size();

// The name a file gets in the trash with the number n (none for 0): name + "." + n. Where that is
// too long, the part before the extension is shortened, at a character boundary in a UTF-8 name.
std::string trashName(const std::string& name, unsigned n)
{
    const std::string number = n == 0 ? std::string() : "." + std::to_string(n);
    if (name.size() + number.size() <= kMaxTrashName)
        return name + number;
    std::size_t dot = name.rfind('.');
    if (dot == std::string::npos || dot == 0 || name.size() - dot > 16)
        dot = name.size();
    const std::string extension = name.substr(dot);
    std::size_t cut = kMaxTrashName - extension.size() - number.size();
    const QByteArray bytes = QByteArray::fromStdString(name);
    if (QString::fromUtf8(bytes).toUtf8() == bytes)
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
            --cut;
    return name.substr(0, cut) + extension + number;
}

// The number to try after n: doubling, so that a trash holding many files of one name is passed
// in a few steps, and random numbers once doubling has not found a free one.
unsigned nextTrashNumber(unsigned n, int attempt)
{
    if (attempt < 24 && n < 100'000'000)
        return n < 2 ? 2 : n * 2;
    static thread_local std::mt19937 random {std::random_device {}()};
    return std::uniform_int_distribution<unsigned>(2, 999'999'999)(random);
}

// The last number given to a name in a trash, so that the next file of that name starts behind it.
std::mutex lastNumbersMutex;
std::unordered_map<std::string, unsigned> lastNumbers;

// True when neither a file nor a record holds the name. A record without its file is what a move
// cut short leaves behind: it is removed, and the name is free again.
bool trashNameFree(const std::string& filePath, const std::string& infoPath)
{
    struct stat info {};
    if (::lstat(filePath.c_str(), &info) == 0)
        return false;
    return ::lstat(infoPath.c_str(), &info) != 0 || (S_ISREG(info.st_mode) && ::unlink(infoPath.c_str()) == 0);
}

} // namespace

std::string trashInfoPathText(std::string_view path)
{
    static const char* const hex = "0123456789ABCDEF";
    std::string out;
    for (const char ch : path) {
        const auto c = static_cast<unsigned char>(ch);
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.'
            || c == '~' || c == '/';
        if (plain) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

TrashResult moveToTrash(const std::string& given)
{
    const std::string path = resolvedDirectory(absolutePath(given));
    struct stat file {};
    if (::lstat(path.c_str(), &file) != 0)
        return TrashResult::Missing;

    // The home trash serves files on its own file system; others go to their volume's trash, as a
    // move across file systems would be a copy. A volume's trash records the path from its top.
    std::string trash = homeTrash();
    std::string recordedPath = path;
    const std::string dataHome = parentDirectory(trash);
    std::error_code ec;
    std::filesystem::create_directories(dataHome, ec);
    struct stat home {};
    if (::stat(dataHome.c_str(), &home) == 0 && home.st_dev == file.st_dev) {
        if (!ensureTrash(trash))
            trash.clear();
    } else {
        const std::string top = volumeTop(parentDirectory(path), file.st_dev);
        trash = volumeTrash(top);
        recordedPath = path.substr(top == "/" ? 1 : top.size() + 1);
    }
    if (trash.empty())
        return TrashResult::Refused;

    const std::size_t slash = path.rfind('/');
    const std::string name = path.substr(slash + 1);
    const std::string info = "[Trash Info]\nPath=" + trashInfoPathText(recordedPath)
        + "\nDeletionDate=" + QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-ddThh:mm:ss")).toStdString() + "\n";
    const std::string key = trash + '/' + name;
    unsigned n = 0;
    {
        const std::lock_guard lock(lastNumbersMutex);
        if (const auto last = lastNumbers.find(key); last != lastNumbers.end())
            n = last->second + 1;
    }
    for (int attempt = 0; attempt < 64; n = nextTrashNumber(n, attempt++)) {
        const std::string candidate = trashName(name, n);
        const std::string filePath = trash + "/files/" + candidate;
        const std::string infoPath = trash + "/info/" + candidate + ".trashinfo";
        if (!trashNameFree(filePath, infoPath))
            continue;
        // The record is complete before it has its name, and it reserves the name: a move cut
        // short leaves at worst a record without its file.
        switch (writeNewFile(infoPath, QByteArray::fromStdString(info))) {
        case WriteResult::Ok: break;
        case WriteResult::AlreadyExists: continue;
        case WriteResult::CannotCreate:
        case WriteResult::WriteFailed: return TrashResult::Refused;
        }
        switch (renameNoReplace(path, filePath)) {
        case RenameResult::Renamed:
            if (n != 0) {
                const std::lock_guard lock(lastNumbersMutex);
                lastNumbers[key] = n;
            }
            return TrashResult::Trashed;
        case RenameResult::TargetExists: ::unlink(infoPath.c_str()); continue;
        case RenameResult::Failed:
            ::unlink(infoPath.c_str());
            // Another program may have taken the file in the meantime.
            return ::lstat(path.c_str(), &file) != 0 && errno == ENOENT ? TrashResult::Missing : TrashResult::Refused;
        }
    }
    return TrashResult::Refused;
}

RenameResult renameNoReplace(const std::string& from, const std::string& to)
{
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return RenameResult::Renamed;
    if (errno == EEXIST)
        return RenameResult::TargetExists;
    if (errno != EINVAL && errno != ENOSYS)
        return RenameResult::Failed;
    // File systems without RENAME_NOREPLACE: a hard link never replaces its target either.
    if (::link(from.c_str(), to.c_str()) != 0)
        return errno == EEXIST ? RenameResult::TargetExists : RenameResult::Failed;
    if (::unlink(from.c_str()) != 0) {
        ::unlink(to.c_str());
        return RenameResult::Failed;
    }
    return RenameResult::Renamed;
}

std::vector<std::string> renumberedNames(std::size_t count, const std::string& prefix)
{
    std::vector<std::string> names;
    if (count == 0)
        return names;
    const std::size_t width = std::to_string(count - 1).size();
    names.reserve(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::string number = std::to_string(i);
        names.push_back(prefix + "_" + std::string(width - number.size(), '0') + number);
    }
    return names;
}

RenumberCounts renumberFiles(const std::string& directory, const std::vector<std::string>& names, const std::string& prefix,
                             const std::function<void(std::size_t left)>& countdown, const std::function<bool()>& cancelled)
{
    const std::vector<std::string> newNames = renumberedNames(names.size(), prefix);
    RenumberCounts counts;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i % 10 == 0 || i <= 100)
            countdown(names.size() - 1 - i);
        const std::string from = directory + names[i];
        const std::string to = directory + newNames[i] + ".ico";
        if (!regularFileExists(from))
            ++counts.vanished;
        else if (from != to) {
            switch (renameNoReplace(from, to)) {
            case RenameResult::Renamed: ++counts.renamed; break;
            case RenameResult::TargetExists: ++counts.taken; break;
            case RenameResult::Failed: ++counts.refused; break;
            }
        }
        if (cancelled())
            break;
    }
    return counts;
}

bool isInsideDirectory(std::string_view path, std::string_view directory)
{
    return !directory.empty() && directory.back() == '/' && path.size() > directory.size() && path.starts_with(directory);
}

bool IconFileCheck::passes(std::string_view path, std::uint16_t iconIndex)
{
    const std::string ext = fileExtensionLower(path);
    const std::string file(path);
    if (ext != ".ico" && ext != ".cur")
        return !extractIcon(std::filesystem::path(file), iconIndex).isNull();

    // An icon or cursor file passes when its header is right and its icon loads, as the page
    // draws it: one read of the file serves both.
    struct stat info {};
    const int fd = openRegularFile(file.c_str(), info);
    if (fd < 0)
        return false;
    const MappedFile bytes(fd, static_cast<std::uint64_t>(info.st_size));
    ::close(fd);
    if (!bytes.isOpen() || bytes.size() < 6)
        return false;
    ByteReader header = bytes.reader();
    const unsigned type = header.u16(2);
    // A favicon saved as PNG under an icon's name is an icon of today, not a broken one.
    const bool png = header.matches(0, "\x89PNG\r\n\x1a\n");
    if (!png && (ext == ".ico" ? type > 1 : type != 2))
        return false;
    return !extractIcon(bytes.reader(), iconIndex).isNull() && !bytes.damaged();
}

QString checkSummary(std::int32_t defects, std::int32_t unreadableDirectories)
{
    if (unreadableDirectories > 0)
        return QStringLiteral("FERTIG: ") + QString::number(defects) + QStringLiteral(" Icons Defekt, ")
            + QString::number(unreadableDirectories) + QStringLiteral(" Verzeichnis(se) nicht lesbar !");
    return defects == 0 ? QStringLiteral("FERTIG: Alle Icons OK !")
                        : QStringLiteral("FERTIG: ") + QString::number(defects) + QStringLiteral(" Icons Defekt !");
}

} // namespace bw
