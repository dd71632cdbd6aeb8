#include "IconImageDecoder.h"

#include "ReadError.h"

#include <QByteArray>

#include <array>
#include <bit>

namespace bw {
namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;

struct DibHeader {
    int width = 0;
    int height = 0; // of the colour image: half the stored height, which counts the mask too
    int bitCount = 0;
    std::uint32_t compression = kBiRgb;
    std::uint64_t paletteOffset = 0;
    int paletteEntries = 0;
    int paletteEntrySize = 4;
    std::uint64_t pixelOffset = 0;
    std::array<std::uint32_t, 4> masks {}; // red, green, blue, alpha
};

std::optional<DibHeader> readDibHeader(ByteReader data)
{
    DibHeader h;
    const std::uint32_t headerSize = data.u32(0);
    std::int64_t storedHeight = 0;
    if (headerSize == 12) {
        h.width = data.u16(4);
        storedHeight = data.u16(6);
        h.bitCount = data.u16(10);
        h.paletteEntrySize = 3;
    } else if (headerSize >= 40 && headerSize <= 1024) {
        h.width = data.i32(4);
        storedHeight = data.i32(8);
        h.bitCount = data.u16(14);
        h.compression = data.u32(16);
        const std::uint32_t clrUsed = data.u32(32);
        if (data.ok() && clrUsed > 256)
            return refuse(ReadError::BadPalette), std::nullopt;
        h.paletteEntries = static_cast<int>(clrUsed);
    } else {
        return refuse(data.ok() ? ReadError::BadImageHeader : ReadError::TruncatedImage), std::nullopt;
    }
    if (!data.ok())
        return refuse(ReadError::TruncatedImage), std::nullopt;

    switch (h.bitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32: break;
    default: return refuse(ReadError::BadBitCount), std::nullopt;
    }
    h.height = static_cast<int>(storedHeight / 2);
    if (h.width <= 0 || h.width > kMaxIconImageEdge || h.height <= 0 || h.height > kMaxIconImageEdge)
        return refuse(ReadError::BadImageSize), std::nullopt;

    std::uint64_t afterHeader = headerSize;
    if (h.compression == kBiBitfields && (h.bitCount == 16 || h.bitCount == 32)) {
        // The masks follow a 40-byte header; larger headers carry them inside.
        const std::uint64_t maskAt = 40;
        h.masks = {data.u32(maskAt), data.u32(maskAt + 4), data.u32(maskAt + 8), 0};
        if (headerSize >= 56)
            h.masks[3] = data.u32(52);
        if (headerSize == 40)
            afterHeader += 12;
        if (!data.ok())
            return refuse(ReadError::TruncatedImage), std::nullopt;
    } else if (h.compression != kBiRgb) {
        return refuse(ReadError::BadImageHeader), std::nullopt;
    } else if (h.bitCount == 16) {
        h.masks = {0x7C00, 0x03E0, 0x001F, 0};
    } else if (h.bitCount == 32) {
        h.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    }

    if (h.bitCount <= 8 && (h.paletteEntries == 0 || h.paletteEntries > (1 << h.bitCount)))
        h.paletteEntries = h.paletteEntries == 0 ? (1 << h.bitCount) : h.paletteEntries;
    h.paletteOffset = afterHeader;
    h.pixelOffset = afterHeader + static_cast<std::uint64_t>(h.paletteEntries) * h.paletteEntrySize;
    return h;
}

// Scales a masked channel to 0..255.
inline int channel(std::uint32_t pixel, std::uint32_t mask)
{
    if (mask == 0)
        return 0;
    const int shift = std::countr_zero(mask);
    const std::uint32_t max = mask >> shift;
    const std::uint32_t value = (pixel & mask) >> shift;
    return max == 255 ? static_cast<int>(value) : static_cast<int>((value * 255 + max / 2) / max);
}

QImage decodeDib(ByteReader data)
{
    const std::optional<DibHeader> header = readDibHeader(data);
    if (!header)
        return {};
    const DibHeader& h = *header;

    const std::uint64_t rowBytes = ((static_cast<std::uint64_t>(h.width) * h.bitCount + 31) / 32) * 4;
    const std::uint64_t maskRowBytes = ((static_cast<std::uint64_t>(h.width) + 31) / 32) * 4;
    ByteReader pixels = data.sub(h.pixelOffset, rowBytes * h.height);
    if (!pixels.ok())
        return refuse(ReadError::TruncatedImage), QImage();
    // A missing or cut-off mask means the picture is opaque.
    const std::uint64_t maskOffset = h.pixelOffset + rowBytes * h.height;
    ByteReader mask = data.sub(maskOffset, maskRowBytes * h.height);
    const bool hasMask = mask.ok();

    std::array<QRgb, 256> palette {};
    ByteReader paletteBytes = data.sub(h.paletteOffset, static_cast<std::uint64_t>(h.paletteEntries) * h.paletteEntrySize);
    if (!paletteBytes.ok())
        return refuse(ReadError::TruncatedImage), QImage();
    for (int i = 0; i < h.paletteEntries && i < 256; ++i) {
        const std::uint64_t at = static_cast<std::uint64_t>(i) * h.paletteEntrySize;
        palette[i] = qRgb(paletteBytes.u8(at + 2), paletteBytes.u8(at + 1), paletteBytes.u8(at));
    }
    // Indices past a short palette are drawn black, as the palette array is zero there.
    for (int i = h.paletteEntries; i < 256; ++i)
        palette[i] = qRgb(0, 0, 0);

    QImage image(h.width, h.height, QImage::Format_ARGB32);
    if (image.isNull())
        return refuse(ReadError::TooLarge), QImage();

    bool anyAlpha = false;
    const std::uint8_t* base = pixels.data();
    uchar* outBits = image.bits();
    const qsizetype outStride = image.bytesPerLine();
    for (int y = 0; y < h.height; ++y) {
        const std::uint8_t* row = base + rowBytes * static_cast<std::uint64_t>(h.height - 1 - y);
        auto* out = reinterpret_cast<QRgb*>(outBits + y * outStride);
        for (int x = 0; x < h.width; ++x) {
            QRgb c = 0;
            switch (h.bitCount) {
            case 1: c = palette[(row[x >> 3] >> (7 - (x & 7))) & 1]; break;
            case 4: c = palette[(row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F]; break;
            case 8: c = palette[row[x]]; break;
            case 16: {
                const std::uint32_t v = row[2 * x] | (row[2 * x + 1] << 8);
                c = qRgb(channel(v, h.masks[0]), channel(v, h.masks[1]), channel(v, h.masks[2]));
                break;
            }
            case 24: c = qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]); break;
            case 32: {
                const std::uint32_t v
                    = row[4 * x] | (row[4 * x + 1] << 8) | (row[4 * x + 2] << 16) | (static_cast<std::uint32_t>(row[4 * x + 3]) << 24);
                const int a = channel(v, h.masks[3]);
                anyAlpha = anyAlpha || a != 0;
                c = qRgba(channel(v, h.masks[0]), channel(v, h.masks[1]), channel(v, h.masks[2]), a);
                break;
            }
            }
            out[x] = h.bitCount == 32 ? c : (c | 0xFF000000u);
        }
    }

    // A 32-bit image with real alpha ignores its mask; every other image takes its transparency
    // from the mask.
    const bool useMask = !(h.bitCount == 32 && anyAlpha);
    if (!useMask)
        return image;
    const std::uint8_t* maskBase = hasMask ? mask.data() : nullptr;
    for (int y = 0; y < h.height; ++y) {
        auto* out = reinterpret_cast<QRgb*>(outBits + y * outStride);
        const std::uint8_t* mrow = maskBase ? maskBase + maskRowBytes * static_cast<std::uint64_t>(h.height - 1 - y) : nullptr;
        for (int x = 0; x < h.width; ++x) {
            const bool transparent = mrow && ((mrow[x >> 3] >> (7 - (x & 7))) & 1);
            out[x] = transparent ? (out[x] & 0x00FFFFFFu) : (out[x] | 0xFF000000u);
        }
    }
    return image;
}

QImage decodePng(ByteReader data)
{
    // Width and height from IHDR, checked before Qt allocates anything.
    const std::uint32_t width = data.u32be(16);
    const std::uint32_t height = data.u32be(20);
    if (!data.ok())
        return refuse(ReadError::TruncatedImage), QImage();
    if (width == 0 || height == 0 || width > kMaxIconImageEdge || height > kMaxIconImageEdge)
        return refuse(ReadError::BadImageSize), QImage();
    const QByteArray bytes = QByteArray::fromRawData(reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size()));
    QImage image = QImage::fromData(bytes, "PNG");
    if (image.isNull())
        return refuse(ReadError::UndecodableImage), QImage();
    return image.convertToFormat(QImage::Format_ARGB32);
}

} // namespace

bool isPngImage(const ByteReader& data) { return data.matches(0, "\x89PNG\r\n\x1a\n"); }

std::optional<int> iconImageBitCount(ByteReader data)
{
    clearReadError();
    if (isPngImage(data))
        return 32;
    const std::optional<DibHeader> header = readDibHeader(data);
    if (!header)
        return std::nullopt;
    return header->bitCount;
}

std::optional<QSize> iconImageSize(ByteReader data)
{
    if (isPngImage(data)) {
        const std::uint32_t width = data.u32be(16);
        const std::uint32_t height = data.u32be(20);
        if (!data.ok() || width == 0 || height == 0 || width > kMaxIconImageEdge || height > kMaxIconImageEdge)
            return std::nullopt;
        return QSize(static_cast<int>(width), static_cast<int>(height));
    }
    const std::optional<DibHeader> header = readDibHeader(data);
    if (!header)
        return std::nullopt;
    return QSize(header->width, header->height);
}

QImage decodeIconImage(ByteReader data)
{
    clearReadError();
    if (!data.ok())
        return refuse(ReadError::DataOutside), QImage();
    return isPngImage(data) ? decodePng(data) : decodeDib(data);
}

} // namespace bw
