#include "DragFiles.h"

#include "icons/IconExtractor.h"
#include "support/SafeFile.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QStandardPaths>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <string_view>

namespace bw {
namespace {

constexpr std::string_view kFolderPrefix = "ziehen-";

std::string defaultBase()
{
    QString root = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (root.isEmpty())
        root = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
    return root.isEmpty() ? std::string() : QFile::encodeName(root).toStdString() + "/bildwiesel";
}

// A directory that only the user can enter: made with 0700, or found as a real directory (no
// link) of the user's with that mode.
bool privateDirectory(const std::string& path)
{
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::geteuid() && (info.st_mode & 0077) == 0;
}

// Removes the folders of runs that ended without removing their own: those nobody holds locked.
// Each run locks its folder itself (flock on the directory), so no lock file is ever written.
void removeLeftovers(const std::string& base)
{
    namespace fs = std::filesystem;
    std::error_code error;
    for (fs::directory_iterator it(base, error), end; !error && it != end; it.increment(error)) {
        if (!it->path().filename().native().starts_with(kFolderPrefix))
            continue;
        const int fd = ::open(it->path().c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0)
            continue;
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            std::error_code ignored;
            fs::remove_all(it->path(), ignored);
        }
        ::close(fd);
    }
}

// True when `path` still names the folder open as `fd`: another run clearing leftovers may have
// taken the folder between its creation and its lock.
bool stillNamed(const std::string& path, int fd)
{
    struct stat named {};
    struct stat held {};
    return ::lstat(path.c_str(), &named) == 0 && ::fstat(fd, &held) == 0 && named.st_dev == held.st_dev && named.st_ino == held.st_ino;
}

} // namespace

DragFolder::DragFolder(std::string base) : m_base(std::move(base)) {}

DragFolder::~DragFolder()
{
    if (m_lock < 0)
        return;
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
    ::close(m_lock);
}

bool DragFolder::open()
{
    if (m_lock >= 0)
        return true;
    const std::string base = m_base.empty() ? defaultBase() : m_base;
    if (base.empty() || !privateDirectory(base))
        return false;
    removeLeftovers(base);
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::string folder = base + "/" + std::string(kFolderPrefix) + "XXXXXX";
        if (!::mkdtemp(folder.data()))
            return false;
        const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        if (fd >= 0 && ::flock(fd, LOCK_EX) == 0 && stillNamed(folder, fd)) {
            m_lock = fd;
            m_path = folder + "/";
            return true;
        }
        if (fd >= 0)
            ::close(fd);
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
    }
    return false;
}

std::string DragFolder::newDragDirectory()
{
    if (!open())
        return {};
    const std::string directory = m_path + std::to_string(++m_drags);
    return ::mkdir(directory.c_str(), 0700) == 0 ? directory + "/" : std::string();
}

QStringList writeDragFiles(const std::string& directory, const std::vector<DraggedIcon>& icons)
{
    QStringList written;
    for (const DraggedIcon& icon : icons) {
        const QImage picture = icon.kept.isNull() ? extractLargestIcon(std::filesystem::path(icon.path), icon.index) : icon.kept;
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (picture.isNull() || !picture.convertToFormat(QImage::Format_ARGB32).save(&buffer, "PNG"))
            continue;
        // The name is made as text and written as its encoding, so that the URL handed on names
        // exactly this file even where the source's name is not valid UTF-8. Short enough that
        // any suffix fits in a file name.
        QString stem = QFile::decodeName(QByteArray::fromStdString(std::filesystem::path(icon.path).stem().native())).left(64);
        if (stem.isEmpty())
            stem = QStringLiteral("icon");
        if (icon.index > 0)
            stem += QLatin1Char('_') + QString::number(icon.index);
        NewFile file {std::filesystem::path(directory)};
        if (!file.write(png))
            continue;
        // Files that only live until the program ends need no sync; a taken name gets " (2)", ...
        for (int k = 1; k <= 1000; ++k) {
            const QString name = stem + (k > 1 ? QStringLiteral(" (%1)").arg(k) : QString()) + QStringLiteral(".png");
            const std::string path = directory + QFile::encodeName(name).toStdString();
            const WriteResult result = file.publish(std::filesystem::path(path));
            if (result == WriteResult::Ok)
                written << QFile::decodeName(QByteArray::fromStdString(path));
            if (result != WriteResult::AlreadyExists)
                break;
        }
    }
    return written;
}

} // namespace bw
