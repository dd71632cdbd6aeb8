#include "IconExtractor.h"

#include "AniFile.h"
#include "BitmapFile.h"
#include "FileWindow.h"
#include "IcnsFile.h"
#include "IconDirectory.h"
#include "IconImageDecoder.h"
#include "MappedFile.h"
#include "NeResources.h"
#include "PeResources.h"
#include "ReadError.h"

#include "support/ReadFile.h"

#include <QByteArray>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cmath>

namespace bw {
namespace {

bool isBitmapFile(ByteReader file)
{
    // File header (14 bytes) and at least the smallest info header (12 bytes).
    return file.matches(0, "BM") && file.size() >= 26;
}

// The page's picture of a bitmap is opaque and made while the rows are read, so that a large
// bitmap never lies in memory whole; the largest image is the whole bitmap with the alpha it
// declares (for the viewer and for copies out).
QImage bitmapPicture(ByteReader file, ImagePick pick, int edge = kIconEdge)
{
    if (pick == ImagePick::Largest)
        return decodeBitmapFile(file, QSize(INT_MAX, INT_MAX), true);
    return scaleToEdge(decodeBitmapFile(file, QSize(edge, edge), false), edge);
}

// The bitmap fitted within edge x edge, keeping its proportions, as a thumbnail scales it.
QImage bitmapWithin(ByteReader file, int edge)
{
    const std::optional<BitmapShape> shape = bitmapShape(file);
    if (!shape)
        return {};
    const int longer = std::max(shape->size.width(), shape->size.height());
    if (longer <= edge)
        return decodeBitmapFile(file, shape->size, true);
    const double factor = static_cast<double>(edge) / longer;
    const QSize fit(std::max(1, static_cast<int>(std::lround(shape->size.width() * factor))),
                    std::max(1, static_cast<int>(std::lround(shape->size.height() * factor))));
    return decodeBitmapFile(file, fit, true);
}

// A PNG file is an icon of one image. It may be larger than an image inside an icon (a favicon
// or an icon pack's 1024 px PNG), but a picture of 32 x 32 pixels cannot justify more than this.
constexpr qint64 kMaxPngFilePixels = 4LL * 1024 * 1024;

QImage pngFilePicture(ByteReader file, ImagePick pick, int edge = kIconEdge)
{
    const std::uint32_t width = file.u32be(16);
    const std::uint32_t height = file.u32be(20);
    if (!file.ok() || !file.matches(12, "IHDR"))
        return refuse(ReadError::TruncatedImage), QImage();
    if (width == 0 || height == 0 || static_cast<qint64>(width) * height > kMaxPngFilePixels)
        return refuse(ReadError::BadImageSize), QImage();
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(file.data()), static_cast<qsizetype>(file.size()));
    const QImage picture = QImage::fromData(bytes, "PNG");
    if (picture.isNull())
        return refuse(ReadError::UndecodableImage), QImage();
    return pick == ImagePick::Largest ? picture.convertToFormat(QImage::Format_ARGB32) : scaleToEdge(picture, edge);
}

// The images of the frame an animated cursor shows first.
std::optional<std::vector<IconCandidate>> firstFrameCandidates(ByteReader file)
{
    const std::optional<AniCursor> ani = readAniCursor(file);
    if (!ani)
        return std::nullopt;
    return iconFileCandidates(ani->frames[ani->firstShown]);
}

} // namespace

IconSourceKind iconSourceKind(ByteReader file)
{
    if (file.matches(0, "MZ")) {
        if (isPeFile(file))
            return IconSourceKind::Pe;
        if (isNeFile(file))
            return IconSourceKind::Ne;
        return refuse(ReadError::UnknownFormat), IconSourceKind::None;
    }
    if (isBitmapFile(file))
        return IconSourceKind::Bitmap;
    if (isAniFile(file))
        return IconSourceKind::AnimatedCursor;
    if (isIcnsFile(file))
        return IconSourceKind::AppleIcon;
    if (isPngImage(file))
        return IconSourceKind::Png;
    // An icon header whose directory does not fit is told apart from any other content.
    const ReadError iconHeader = iconFileHeaderCheck(file);
    if (iconHeader == ReadError::None)
        return IconSourceKind::IconFile;
    return refuse(iconHeader), IconSourceKind::None;
}

namespace {

// Logs why a read gave nothing, when the log is asked for: with the file's path where the caller
// knows it. Nothing is formatted otherwise.
void logRefusal(const std::filesystem::path* path)
{
    const ReadError why = lastReadError();
    if (why == ReadError::None || !lcIcons().isDebugEnabled())
        return;
    if (path)
        qCDebug(lcIcons).noquote() << QString::fromLocal8Bit(path->c_str()) << readErrorName(why);
    else
        qCDebug(lcIcons).noquote() << readErrorName(why);
}

int countIcons(ByteReader file)
{
    clearReadError();
    switch (iconSourceKind(file)) {
    case IconSourceKind::Pe: return peGroupIconCount(file);
    case IconSourceKind::Ne: return neGroupIconCount(file);
    case IconSourceKind::IconFile:
    case IconSourceKind::Bitmap:
    case IconSourceKind::AnimatedCursor:
    case IconSourceKind::AppleIcon:
    case IconSourceKind::Png: return 1;
    case IconSourceKind::None: break;
    }
    return 0;
}

} // namespace

int iconCount(ByteReader file)
{
    const int count = countIcons(file);
    if (count == 0)
        logRefusal(nullptr);
    return count;
}

namespace {

// The picture of a file that is one icon of a kind without a directory of our own reading.
QImage oneIconPicture(ByteReader file, IconSourceKind kind, int index, ImagePick pick, int edge)
{
    if (index != 0)
        return refuse(ReadError::NoSuchIcon), QImage();
    switch (kind) {
    case IconSourceKind::AnimatedCursor: {
        const auto candidates = firstFrameCandidates(file);
        return candidates ? pictureFromCandidates(*candidates, pick, edge) : QImage();
    }
    case IconSourceKind::AppleIcon: return icnsPicture(file, pick, edge);
    case IconSourceKind::Png: return pngFilePicture(file, pick, edge);
    default: return {};
    }
}

QImage extract(ByteReader file, int index, ImagePick pick, PeGroupMemo* memo = nullptr)
{
    clearReadError();
    const IconSourceKind kind = iconSourceKind(file);
    switch (kind) {
    case IconSourceKind::Pe: return peGroupIcon(file, index, pick, memo);
    case IconSourceKind::Ne: return neGroupIcon(file, index, pick);
    case IconSourceKind::IconFile: {
        if (index != 0)
            return refuse(ReadError::NoSuchIcon), QImage();
        const auto candidates = iconFileCandidates(file);
        return candidates ? pictureFromCandidates(*candidates, pick) : QImage();
    }
    case IconSourceKind::Bitmap: return index == 0 ? bitmapPicture(file, pick) : (refuse(ReadError::NoSuchIcon), QImage());
    case IconSourceKind::AnimatedCursor:
    case IconSourceKind::AppleIcon:
    case IconSourceKind::Png: return oneIconPicture(file, kind, index, pick, kIconEdge);
    case IconSourceKind::None: break;
    }
    return {};
}

// Logs why a picture is missing and gives the picture.
QImage logged(QImage picture, const std::filesystem::path* path = nullptr)
{
    if (picture.isNull())
        logRefusal(path);
    return picture;
}

} // namespace

QImage extractIcon(ByteReader file, int index) { return logged(extract(file, index, ImagePick::IconSize)); }

namespace {

std::optional<StoredIcon> stored(ByteReader file, int index, PeGroupMemo* memo, bool allLanguages)
{
    clearReadError();
    const IconSourceKind kind = iconSourceKind(file);
    std::optional<std::vector<IconCandidate>> group;
    switch (kind) {
    case IconSourceKind::Pe:
        if (allLanguages) {
            // Every variant's images in one icon file, the language shown first.
            if (std::optional<std::vector<PeGroupVariant>> variants = peGroupVariants(file, index, memo)) {
                group.emplace();
                for (PeGroupVariant& v : *variants)
                    group->insert(group->end(), v.candidates.begin(), v.candidates.end());
            }
        } else {
            group = peGroupCandidates(file, index, memo);
        }
        break;
    case IconSourceKind::Ne: group = neGroupCandidates(file, index); break;
    case IconSourceKind::IconFile:
    case IconSourceKind::Bitmap:
    case IconSourceKind::AnimatedCursor:
    case IconSourceKind::AppleIcon:
    case IconSourceKind::Png: {
        if (index != 0)
            return refuse(ReadError::NoSuchIcon), std::nullopt;
        StoredIcon stored {QByteArray(reinterpret_cast<const char*>(file.data()), static_cast<qsizetype>(file.size())), kind};
        stored.cursor = kind == IconSourceKind::IconFile && file.u16(2) == 2;
        return stored;
    }
    case IconSourceKind::None: break;
    }
    if (!group)
        return std::nullopt;
    std::optional<QByteArray> bytes = iconFileOfGroup(*group);
    if (!bytes)
        return std::nullopt;
    return StoredIcon {std::move(*bytes), kind};
}

} // namespace

std::optional<StoredIcon> storedIcon(ByteReader file, int index, bool allLanguages)
{
    std::optional<StoredIcon> icon = stored(file, index, nullptr, allLanguages);
    if (!icon)
        logRefusal(nullptr);
    return icon;
}

namespace {

std::optional<IconOrigin> originOf(ByteReader file, int index, PeGroupMemo* memo)
{
    clearReadError();
    IconOrigin origin {iconSourceKind(file), index, {}, {}, {}};
    switch (origin.kind) {
    case IconSourceKind::Pe: {
        std::optional<PeGroupName> group = peGroupName(file, index, memo);
        if (!group)
            return std::nullopt;
        if (group->name)
            origin.groupName = QString::fromStdU16String(*group->name);
        else
            origin.groupNumber = group->number;
        origin.languages = std::move(group->languages);
        return origin;
    }
    case IconSourceKind::Ne: {
        const std::optional<NeGroupName> group = neGroupName(file, index);
        if (!group)
            return std::nullopt;
        if (group->name)
            origin.groupName = QString::fromLatin1(*group->name); // Windows 3.x names are 8-bit text
        else
            origin.groupNumber = group->number;
        return origin;
    }
    case IconSourceKind::None: return std::nullopt;
    default: break;
    }
    if (index != 0)
        return refuse(ReadError::NoSuchIcon), std::nullopt;
    return origin;
}

} // namespace

std::optional<IconOrigin> iconOrigin(ByteReader file, int index)
{
    std::optional<IconOrigin> origin = originOf(file, index, nullptr);
    if (!origin)
        logRefusal(nullptr);
    return origin;
}

QString iconReference(const QString& path, const IconOrigin& origin)
{
    if (origin.groupNumber)
        return path + QStringLiteral(",-") + QString::number(*origin.groupNumber);
    return path + QLatin1Char(',') + QString::number(origin.index);
}

namespace {

// The images of the icon group at `index`, for the kinds that have a directory.
std::optional<std::vector<IconCandidate>> candidatesOf(ByteReader file, IconSourceKind kind, int index, PeGroupMemo* memo)
{
    switch (kind) {
    case IconSourceKind::Pe: return peGroupCandidates(file, index, memo);
    case IconSourceKind::Ne: return neGroupCandidates(file, index);
    case IconSourceKind::IconFile:
        if (index != 0)
            return refuse(ReadError::NoSuchIcon), std::nullopt;
        return iconFileCandidates(file);
    case IconSourceKind::AnimatedCursor:
        if (index != 0)
            return refuse(ReadError::NoSuchIcon), std::nullopt;
        return firstFrameCandidates(file);
    case IconSourceKind::Bitmap:
    case IconSourceKind::AppleIcon:
    case IconSourceKind::Png:
    case IconSourceKind::None: break;
    }
    return std::nullopt;
}

QImage extractAt(ByteReader file, int index, int edge, PeGroupMemo* memo)
{
    if (edge == kIconEdge)
        return extract(file, index, ImagePick::IconSize, memo);
    clearReadError();
    const IconSourceKind kind = iconSourceKind(file);
    if (kind == IconSourceKind::Bitmap)
        return index == 0 ? bitmapPicture(file, ImagePick::IconSize, edge) : (refuse(ReadError::NoSuchIcon), QImage());
    if (kind == IconSourceKind::AppleIcon || kind == IconSourceKind::Png)
        return oneIconPicture(file, kind, index, ImagePick::IconSize, edge);
    const auto candidates = candidatesOf(file, kind, index, memo);
    return candidates ? pictureFromCandidates(*candidates, ImagePick::IconSize, edge) : QImage();
}

std::vector<IconImageInfo> imagesOf(ByteReader file, int index, PeGroupMemo* memo)
{
    clearReadError();
    std::vector<IconImageInfo> images;
    const IconSourceKind kind = iconSourceKind(file);
    if (kind == IconSourceKind::Bitmap) {
        QImage picture = index == 0 ? bitmapPicture(file, ImagePick::Largest) : (refuse(ReadError::NoSuchIcon), QImage());
        if (!picture.isNull())
            images.push_back({bitmapShape(file)->bitCount, false, std::move(picture)});
        return images;
    }
    if (index != 0 && kind != IconSourceKind::Pe && kind != IconSourceKind::Ne)
        return refuse(ReadError::NoSuchIcon), images;
    if (kind == IconSourceKind::AppleIcon)
        return icnsAllImages(file, kMaxListedPixels);
    if (kind == IconSourceKind::Png) {
        QImage picture = pngFilePicture(file, ImagePick::Largest);
        if (!picture.isNull())
            images.push_back({32, true, std::move(picture)});
        return images;
    }
    // The images of one variant, each tagged; decoding stops once kMaxListedPixels are listed.
    qint64 pixels = 0;
    const auto addAll = [&](const std::vector<IconCandidate>& candidates, int language, int frame) {
        for (const IconCandidate& c : candidates) {
            const std::optional<int> bits = iconImageBitCount(c.data);
            const std::optional<QSize> size = iconImageSize(c.data);
            if (!bits || !size || pixels + static_cast<qint64>(size->width()) * size->height() > kMaxListedPixels)
                continue;
            QImage picture = decodeIconImage(c.data);
            if (picture.isNull())
                continue;
            pixels += static_cast<qint64>(picture.width()) * picture.height();
            images.push_back({*bits, isPngImage(c.data), picture.convertToFormat(QImage::Format_ARGB32), language, frame});
        }
    };
    if (kind == IconSourceKind::AnimatedCursor) {
        if (const std::optional<AniCursor> ani = readAniCursor(file))
            for (std::size_t f = 0; f < ani->frames.size(); ++f)
                if (const auto candidates = iconFileCandidates(ani->frames[f]))
                    addAll(*candidates, -1, static_cast<int>(f));
        return images;
    }
    if (kind == IconSourceKind::Pe) {
        if (const std::optional<std::vector<PeGroupVariant>> variants = peGroupVariants(file, index, memo))
            for (const PeGroupVariant& v : *variants)
                addAll(v.candidates, variants->size() > 1 ? static_cast<int>(v.language) : -1, -1);
        return images;
    }
    if (const auto candidates = candidatesOf(file, kind, index, memo))
        addAll(*candidates, -1, -1);
    return images;
}

// A list with images says nothing of those left out (a broken frame, an image that does not
// decode); an empty one always says why.
std::vector<IconImageInfo> listed(std::vector<IconImageInfo> images)
{
    if (!images.empty())
        clearReadError();
    else if (lastReadError() == ReadError::None)
        refuse(ReadError::UndecodableImage);
    return images;
}

} // namespace

QImage extractIcon(ByteReader file, int index, int edge) { return logged(extractAt(file, index, edge, nullptr)); }

std::vector<IconImageInfo> iconImages(ByteReader file, int index)
{
    std::vector<IconImageInfo> images = listed(imagesOf(file, index, nullptr));
    if (images.empty())
        logRefusal(nullptr);
    return images;
}

QImage extractLargestIcon(ByteReader file, int index) { return logged(extract(file, index, ImagePick::Largest)); }

namespace {

// The file read last stays mapped: painting a page extracts icon after icon from the same
// library, and mapping it anew for each one would cost more than decoding the icon. The mapping
// is used again only while the file's identity, size and modification time are unchanged.
// Each thread has its own file and its own batches: a page painted meanwhile says nothing of the
// files a reading worker counts.
thread_local int batchDepth = 0;

class LastFile {
public:
    const MappedFile* open(const std::filesystem::path& path)
    {
        if (batchDepth > 0 && m_checkedInBatch && m_file.isOpen() && !m_file.damaged() && path.native() == m_path.native())
            return &m_file;
        m_checkedInBatch = batchDepth > 0;
        // The file read last: one stat tells whether its bytes are still the ones in memory.
        const bool samePath = m_file.isOpen() && !m_file.damaged() && path.native() == m_path.native();
        struct stat st {};
        if (samePath && ::stat(path.c_str(), &st) == 0 && unchanged(st))
            return &m_file;
        // Another file is opened first and checked by its descriptor, so that what is checked
        // is what gets read.
        const int fd = openRegularFile(path.c_str(), st);
        if (fd < 0) {
            release();
            return nullptr;
        }
        m_file = MappedFile(fd, static_cast<std::uint64_t>(st.st_size));
        ::close(fd);
        if (!m_file.isOpen()) {
            release();
            return nullptr;
        }
        m_path = path;
        m_stat = st;
        m_memo = {};
        return &m_file;
    }
    // What the readers learnt about the file now open; emptied whenever another file is opened.
    PeGroupMemo* memo() { return &m_memo; }
    void release()
    {
        m_file = MappedFile();
        m_memo = {};
        m_path.clear();
        m_checkedInBatch = false;
    }
    void endBatch() { m_checkedInBatch = false; }

private:
    bool unchanged(const struct stat& st) const
    {
        return S_ISREG(st.st_mode) && st.st_dev == m_stat.st_dev && st.st_ino == m_stat.st_ino && st.st_size == m_stat.st_size
            && st.st_mtim.tv_sec == m_stat.st_mtim.tv_sec && st.st_mtim.tv_nsec == m_stat.st_mtim.tv_nsec;
    }

    bool m_checkedInBatch = false;
    MappedFile m_file;
    PeGroupMemo m_memo;
    std::filesystem::path m_path;
    struct stat m_stat {};
};

thread_local LastFile lastFile;

} // namespace

namespace {

// The file at `path`, mapped; none (and the reason recorded) when it cannot be opened.
const MappedFile* openFile(const std::filesystem::path& path)
{
    clearReadError();
    const MappedFile* file = lastFile.open(path);
    if (!file) {
        refuse(ReadError::CannotOpen);
        logRefusal(&path);
    }
    return file;
}

// Whether the file lost data while it was read; what was read then counts for nothing.
bool lostData(const MappedFile* file)
{
    if (!file->damaged())
        return false;
    lastFile.release();
    refuse(ReadError::FileDamaged);
    return true;
}

} // namespace

namespace {

// What a first read of a large file takes: the MZ, PE and NE headers and, in most files, the
// section table; enough, too, for the header of every other kind of file.
constexpr std::uint64_t kHeaderBytes = 4096;

// Counts from the parts of the file the readers look at, read with a few preads: a small file
// whole, a larger one its first page and then what the readers ask for. None when the file
// cannot be opened or the readers want more than a window holds; the caller then maps the file.
std::optional<int> countInWindow(int directory, const char* name)
{
    struct stat st {};
    const int fd = openRegularFileAt(directory, name, st);
    if (fd < 0)
        return std::nullopt;
    const auto size = static_cast<std::uint64_t>(st.st_size);
    FileWindow window(fd, size);
    std::optional<int> count;
    if (window.load(0, size <= MappedFile::kReadLimit ? size : kHeaderBytes)) {
        for (;;) {
            const int n = countIcons(window.reader());
            if (!window.missing()) {
                count = n;
                break;
            }
            const FileWindow::Load load = window.loadMissing();
            if (load == FileWindow::Load::Full)
                break;
            if (load == FileWindow::Load::Failed) {
                refuse(ReadError::FileDamaged);
                count = 0;
                break;
            }
        }
    }
    ::close(fd);
    return count;
}

} // namespace

int iconCount(const std::filesystem::path& path) { return iconCountAt(AT_FDCWD, path.c_str(), path.native()); }

int iconCountAt(int directory, const char* name, const std::string& pathText)
{
    clearReadError();
    // A read counts tens of thousands of files: their path is made a filesystem path only for
    // the few that are mapped or logged.
    if (const std::optional<int> count = countInWindow(directory, name)) {
        if (*count == 0 && lcIcons().isDebugEnabled()) {
            const std::filesystem::path path(pathText);
            logRefusal(&path);
        }
        return *count;
    }
    const std::filesystem::path path(pathText);
    const MappedFile* file = openFile(path);
    if (!file)
        return 0;
    const int count = countIcons(file->reader());
    // A file that lost data while it was read counts as unreadable.
    if (lostData(file) || count == 0) {
        logRefusal(&path);
        return 0;
    }
    return count;
}

namespace {

// Runs `extract` on the bytes of the file at `path`. A file that lost data while it was read
// gives no picture, and the picture must not point into the mapping, which may end with the
// next call.
template <typename Extract> QImage pictureOfFile(const std::filesystem::path& path, Extract&& extract)
{
    const MappedFile* file = openFile(path);
    if (!file)
        return {};
    QImage picture = extract(file->reader());
    if (lostData(file))
        picture = QImage();
    picture.detach();
    return logged(picture, &path);
}

} // namespace

QImage extractIcon(const std::filesystem::path& path, int index)
{
    return pictureOfFile(path, [index](ByteReader bytes) { return extract(bytes, index, ImagePick::IconSize, lastFile.memo()); });
}

QImage extractLargestIcon(const std::filesystem::path& path, int index)
{
    return pictureOfFile(path, [index](ByteReader bytes) { return extract(bytes, index, ImagePick::Largest, lastFile.memo()); });
}

QImage extractLargestIconWithin(const std::filesystem::path& path, int index, int edge)
{
    return pictureOfFile(path, [index, edge](ByteReader bytes) {
        if (index == 0 && iconSourceKind(bytes) == IconSourceKind::Bitmap)
            return bitmapWithin(bytes, edge);
        return extract(bytes, index, ImagePick::Largest, lastFile.memo());
    });
}

QImage extractIcon(const std::filesystem::path& path, int index, int edge)
{
    return pictureOfFile(path, [index, edge](ByteReader bytes) { return extractAt(bytes, index, edge, lastFile.memo()); });
}

std::vector<IconImageInfo> iconImages(const std::filesystem::path& path, int index)
{
    const MappedFile* file = openFile(path);
    if (!file)
        return {};
    std::vector<IconImageInfo> images = listed(imagesOf(file->reader(), index, lastFile.memo()));
    // The pictures are decoded copies; they count only if every byte was there.
    if (lostData(file))
        images.clear();
    if (images.empty())
        logRefusal(&path);
    return images;
}

std::optional<StoredIcon> storedIcon(const std::filesystem::path& path, int index, bool allLanguages)
{
    const MappedFile* file = openFile(path);
    if (!file)
        return std::nullopt;
    std::optional<StoredIcon> icon = stored(file->reader(), index, lastFile.memo(), allLanguages);
    // The bytes were copied out of the mapping; they count only if all of them were there.
    if (lostData(file))
        icon.reset();
    if (!icon)
        logRefusal(&path);
    return icon;
}

std::optional<IconOrigin> iconOrigin(const std::filesystem::path& path, int index)
{
    const MappedFile* file = openFile(path);
    if (!file)
        return std::nullopt;
    std::optional<IconOrigin> origin = originOf(file->reader(), index, lastFile.memo());
    if (lostData(file))
        origin.reset();
    if (!origin)
        logRefusal(&path);
    return origin;
}

void releaseFileCache() { lastFile.release(); }

ExtractionBatch::ExtractionBatch() { ++batchDepth; }

ExtractionBatch::~ExtractionBatch()
{
    if (--batchDepth == 0)
        lastFile.endBatch();
}

} // namespace bw
