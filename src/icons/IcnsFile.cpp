#include "IcnsFile.h"

#include "IconImageDecoder.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>

#include <cstring>
#include <tuple>

namespace bw {
namespace {

// The edge and depth each image type stands for, and the type of the mask Qt's reader takes
// its alpha from. Types whose data may be PNG take their size from the PNG's own header instead
// (the retina types "ic11".."ic14" are stored at twice the edge their name suggests, which the
// table already gives).
struct IcnsType {
    char code[5];
    int edge;
    int bitCount;
    char mask[5];
};
constexpr IcnsType kIcnsTypes[] = {
    {"ics#", 16, 1, ""},      {"ICN#", 32, 1, ""},      {"ich#", 48, 1, ""},       {"ics4", 16, 4, "ics#"}, {"icl4", 32, 4, "ICN#"},
    {"ich4", 48, 4, "ich#"},  {"ics8", 16, 8, "ics#"},  {"icl8", 32, 8, "ICN#"},   {"ich8", 48, 8, "ich#"}, {"is32", 16, 24, "s8mk"},
    {"il32", 32, 24, "l8mk"}, {"ih32", 48, 24, "h8mk"}, {"it32", 128, 24, "t8mk"}, {"icp4", 16, 32, ""},    {"icp5", 32, 32, ""},
    {"icp6", 64, 32, ""},     {"ic04", 16, 32, ""},     {"ic05", 32, 32, ""},      {"ic07", 128, 32, ""},   {"ic08", 256, 32, ""},
    {"ic09", 512, 32, ""},    {"ic10", 1024, 32, ""},   {"ic11", 32, 32, ""},      {"ic12", 64, 32, ""},    {"ic13", 256, 32, ""},
    {"ic14", 512, 32, ""},
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

// One element, and the mask Qt's reader takes its alpha from, as a file of their own: Qt's
// reader then sees only bytes this side has checked. Given the whole file, it follows a table of
// contents and reads past the file's own length, each with lengths of its own.
QByteArray oneElementFile(const std::vector<Element>& elements, std::size_t chosen)
{
    QByteArray file("icns\0\0\0\0", 8);
    const auto add = [&](const Element& e) {
        const std::uint64_t length = e.data.size() + 8;
        file.append(e.code);
        for (int shift = 24; shift >= 0; shift -= 8)
            file.append(static_cast<char>(length >> shift));
        file.append(reinterpret_cast<const char*>(e.data.data()), static_cast<qsizetype>(e.data.size()));
    };
    add(elements[chosen]);
    // Qt uses a mask only when the edge it takes from the mask's length is the image's, which
    // no mask longer than twice the image's pixels gives; a longer one would only be copied.
    const IcnsType* type = icnsType(elements[chosen].code);
    const std::uint64_t maxMaskBytes = type ? 2ULL * type->edge * type->edge : 0;
    for (const Element& e : elements)
        if (type && type->mask[0] && e.code == type->mask && e.data.size() <= maxMaskBytes) {
            add(e);
            break;
        }
    for (int i = 0; i < 4; ++i)
        file[4 + i] = static_cast<char>(static_cast<std::uint32_t>(file.size()) >> (24 - 8 * i));
    return file;
}

// Qt's reader over one element (and its mask), which it lists as image 0.
struct QtIcnsReader {
    QtIcnsReader(const std::vector<Element>& elements, std::size_t chosen) : bytes(oneElementFile(elements, chosen)), buffer(&bytes)
    {
        buffer.open(QIODevice::ReadOnly);
        reader.setDevice(&buffer);
        reader.setFormat("icns");
    }
    bool lists() { return reader.imageCount() >= 1 && reader.jumpToImage(0); }
    QImage read()
    {
        if (!lists())
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
    std::vector<IcnsImage> images;
    for (std::size_t e = 0; e < elements->size(); ++e) {
        const IcnsType* type = icnsType((*elements)[e].code);
        if (!type)
            continue;
        ByteReader data = (*elements)[e].data;
        IcnsImage image {type->edge, type->edge, type->bitCount, isPngImage(data), static_cast<int>(e)};
        if (image.png) {
            image.width = static_cast<int>(data.u32be(16));
            image.height = static_cast<int>(data.u32be(20));
        } else if (data.matches(0, "\0\0\0\x0cjP  ") || data.matches(0, "\xff\x4f\xff\x51")) {
            continue; // JPEG 2000, which Qt does not read
        } else if (data.size() > 4ULL * type->edge * type->edge + 4) {
            // Qt's reader takes the edge of an image of the old kinds from its length, not its
            // type; no real one is longer than at 32 bits uncompressed.
            continue;
        }
        if (!data.ok() || image.width <= 0 || image.height <= 0 || image.width > kMaxIconImageEdge || image.height > kMaxIconImageEdge)
            continue;
        if (QtIcnsReader(*elements, e).lists())
            images.push_back(image);
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
    const QImage picture = QtIcnsReader(*icnsElements(file), static_cast<std::size_t>(best->element)).read();
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
    const std::vector<Element> elements = *icnsElements(file);
    qint64 pixels = 0;
    for (const IcnsImage& image : *images) {
        pixels += static_cast<qint64>(image.width) * image.height;
        if (pixels > maxPixels)
            break;
        QImage picture = QtIcnsReader(elements, static_cast<std::size_t>(image.element)).read();
        if (!picture.isNull())
            result.push_back({image.bitCount, image.png, std::move(picture)});
    }
    return result;
}

} // namespace bw
