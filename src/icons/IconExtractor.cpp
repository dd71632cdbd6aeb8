#include "IconExtractor.h"

#include "IconDirectory.h"
#include "MappedFile.h"
#include "NeResources.h"
#include "PeResources.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

namespace bw {
namespace {

// A bitmap file larger than this is not turned into an icon: decoding it would take more memory
// than a picture of 32 x 32 pixels can justify.
constexpr qint64 kMaxBitmapPixels = 64LL * 1024 * 1024;

bool isBitmapFile(ByteReader file)
{
    // File header (14 bytes) and at least the smallest info header (12 bytes).
    return file.matches(0, "BM") && file.size() >= 26;
}

QImage bitmapPicture(ByteReader file)
{
    QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(file.data()),
                                               static_cast<qsizetype>(file.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "BMP");
    // Qt reports a top-down bitmap with a negative height.
    const qint64 width = qAbs(reader.size().width());
    const qint64 height = qAbs(reader.size().height());
    if (width == 0 || height == 0 || width * height > kMaxBitmapPixels)
        return {};
    QImage picture = reader.read();
    if (picture.isNull())
        return {};
    // A bitmap is always drawn opaque, whatever its fourth byte holds.
    return scaleToIconSize(picture.convertToFormat(QImage::Format_RGB32));
}

} // namespace

IconSourceKind iconSourceKind(ByteReader file)
{
    if (file.matches(0, "MZ")) {
        if (isPeFile(file))
            return IconSourceKind::Pe;
        if (isNeFile(file))
            return IconSourceKind::Ne;
        return IconSourceKind::None;
    }
    if (isBitmapFile(file))
        return IconSourceKind::Bitmap;
    if (isIconFile(file))
        return IconSourceKind::IconFile;
    return IconSourceKind::None;
}

int iconCount(ByteReader file)
{
    switch (iconSourceKind(file)) {
    case IconSourceKind::Pe: return peGroupIconCount(file);
    case IconSourceKind::Ne: return neGroupIconCount(file);
    case IconSourceKind::IconFile:
    case IconSourceKind::Bitmap: return 1;
    case IconSourceKind::None: break;
    }
    return 0;
}

QImage extractIcon(ByteReader file, int index)
{
    switch (iconSourceKind(file)) {
    case IconSourceKind::Pe: return peGroupIcon(file, index);
    case IconSourceKind::Ne: return neGroupIcon(file, index);
    case IconSourceKind::IconFile: {
        if (index != 0)
            return {};
        const auto candidates = iconFileCandidates(file);
        return candidates ? pictureFromCandidates(*candidates) : QImage();
    }
    case IconSourceKind::Bitmap: return index == 0 ? bitmapPicture(file) : QImage();
    case IconSourceKind::None: break;
    }
    return {};
}

int iconCount(const std::filesystem::path& path)
{
    const MappedFile file(path);
    return file.isOpen() ? iconCount(file.reader()) : 0;
}

QImage extractIcon(const std::filesystem::path& path, int index)
{
    const MappedFile file(path);
    if (!file.isOpen())
        return {};
    // The picture must not point into the mapping, which ends with this call.
    QImage picture = extractIcon(file.reader(), index);
    picture.detach();
    return picture;
}

} // namespace bw
