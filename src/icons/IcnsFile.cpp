#include "IcnsFile.h"

#include "IconImageDecoder.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include <cstring>
#include <tuple>

namespace bw {
namespace {

// The edge and depth each image type stands for. Types whose data may be PNG take their size
// from the PNG's own header instead (the retina types "ic11".."ic14" are stored at twice the
// edge their name suggests, which the table already gives).
struct IcnsType {
    char code[5];
    int edge;
    int bitCount;
};
constexpr IcnsType kIcnsTypes[] = {
    {"ics#", 16, 1},    {"ICN#", 32, 1},  {"ich#", 48, 1},  {"ics4", 16, 4},   {"icl4", 32, 4},   {"ich4", 48, 4},   {"ics8", 16, 8},
    {"icl8", 32, 8},    {"ich8", 48, 8},  {"is32", 16, 24}, {"il32", 32, 24},  {"ih32", 48, 24},  {"it32", 128, 24}, {"icp4", 16, 32},
    {"icp5", 32, 32},   {"icp6", 64, 32}, {"ic04", 16, 32}, {"ic05", 32, 32},  {"ic07", 128, 32}, {"ic08", 256, 32}, {"ic09", 512, 32},
    {"ic10", 1024, 32}, {"ic11", 32, 32}, {"ic12", 64, 32}, {"ic13", 256, 32}, {"ic14", 512, 32},
};

const IcnsType* icnsType(const QByteArray& code)
{
    for (const IcnsType& t : kIcnsTypes)
        if (code.size() == 4 && std::memcmp(code.constData(), t.code, 4) == 0)
            return &t;
    return nullptr;
}

// One element as stored: its type and its data.
struct Element {
    QByteArray code;
    ByteReader data;
};

// The elements of a well-formed file; none when one runs outside the file or there are too many.
std::optional<std::vector<Element>> icnsElements(ByteReader file)
{
    if (!isIcnsFile(file))
        return refuse(ReadError::UnknownFormat), std::nullopt;
    if (file.size() > kMaxIcnsFileBytes)
        return refuse(ReadError::TooLarge), std::nullopt;
    const std::uint64_t end = std::min<std::uint64_t>(file.size(), file.u32be(4));
    std::vector<Element> elements;
    for (std::uint64_t at = 8; at + 8 <= end;) {
        const std::uint32_t length = file.u32be(at + 4);
        if (!file.ok() || length < 8 || length > end - at)
            return refuse(ReadError::BadChunk), std::nullopt;
        if (elements.size() == kMaxIcnsElements)
            return refuse(ReadError::TooManyImages), std::nullopt;
        elements.push_back({QByteArray(reinterpret_cast<const char*>(file.data() + at), 4), file.sub(at + 8, length - 8)});
        at += length;
    }
    return elements;
}

// Qt's reader over the file's bytes, which stay in the caller's memory.
struct QtIcnsReader {
    explicit QtIcnsReader(ByteReader file)
        : bytes(QByteArray::fromRawData(reinterpret_cast<const char*>(file.data()), static_cast<qsizetype>(file.size())))
        , buffer(&bytes)
    {
        buffer.open(QIODevice::ReadOnly);
        reader.setDevice(&buffer);
        reader.setFormat("icns");
    }
    QImage read(int index)
    {
        if (!reader.jumpToImage(index))
            return {};
        QImage picture = reader.read();
        return picture.isNull() ? QImage() : picture.convertToFormat(QImage::Format_ARGB32);
    }
    QByteArray bytes;
    QBuffer buffer;
    QImageReader reader;
};

} // namespace

bool isIcnsFile(ByteReader file)
{
    const std::uint32_t length = file.u32be(4);
    return file.matches(0, "icns") && file.ok() && length >= 8;
}

std::optional<std::vector<IcnsImage>> icnsImages(ByteReader file)
{
    const std::optional<std::vector<Element>> elements = icnsElements(file);
    if (!elements)
        return std::nullopt;
    // Qt numbers the images it lists; each is matched to the first element of its type not yet
    // taken, so that the size is known before Qt decodes anything.
    QtIcnsReader qt(file);
    std::vector<bool> taken(elements->size(), false);
    std::vector<IcnsImage> images;
    const int count = qt.reader.imageCount();
    for (int i = 0; i < count && i < static_cast<int>(kMaxIcnsElements); ++i) {
        if (!qt.reader.jumpToImage(i))
            break;
        const QByteArray code = qt.reader.subType();
        const IcnsType* type = icnsType(code);
        if (!type)
            continue;
        for (std::size_t e = 0; e < elements->size(); ++e) {
            if (taken[e] || (*elements)[e].code != code)
                continue;
            taken[e] = true;
            ByteReader data = (*elements)[e].data;
            IcnsImage image {type->edge, type->edge, type->bitCount, isPngImage(data), i};
            if (image.png) {
                image.width = static_cast<int>(data.u32be(16));
                image.height = static_cast<int>(data.u32be(20));
            } else if (data.matches(0, "\0\0\0\x0cjP  ") || data.matches(0, "\xff\x4f\xff\x51")) {
                break; // JPEG 2000, which Qt does not read
            }
            if (data.ok() && image.width > 0 && image.height > 0 && image.width <= kMaxIconImageEdge && image.height <= kMaxIconImageEdge)
                images.push_back(image);
            break;
        }
    }
    if (images.empty())
        return refuse(ReadError::MissingImage), std::nullopt;
    return images;
}

QImage icnsPicture(ByteReader file, ImagePick pick, int edge)
{
    const std::optional<std::vector<IcnsImage>> images = icnsImages(file);
    if (!images)
        return {};
    // Ordered as the icon rule orders images, from their known sizes and depths.
    const IcnsImage* best = nullptr;
    const auto key = [&](const IcnsImage& i) {
        const int area = i.width * i.height;
        const int distance = pick == ImagePick::Largest ? -area : std::abs(i.width - edge) + std::abs(i.height - edge);
        return std::tuple(distance, -i.bitCount, -area);
    };
    for (const IcnsImage& image : *images)
        if (!best || key(image) < key(*best))
            best = &image;
    QtIcnsReader qt(file);
    const QImage picture = qt.read(best->qtIndex);
    if (picture.isNull())
        return refuse(ReadError::UndecodableImage), QImage();
    return pick == ImagePick::Largest ? picture : scaleToEdge(picture, edge);
}

std::vector<IconImageInfo> icnsAllImages(ByteReader file, qint64 maxPixels)
{
    std::vector<IconImageInfo> result;
    const std::optional<std::vector<IcnsImage>> images = icnsImages(file);
    if (!images)
        return result;
    QtIcnsReader qt(file);
    qint64 pixels = 0;
    for (const IcnsImage& image : *images) {
        pixels += static_cast<qint64>(image.width) * image.height;
        if (pixels > maxPixels)
            break;
        QImage picture = qt.read(image.qtIndex);
        if (!picture.isNull())
            result.push_back({image.bitCount, image.png, std::move(picture)});
    }
    return result;
}

} // namespace bw
