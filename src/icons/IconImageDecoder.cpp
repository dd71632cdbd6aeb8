#include "IconImageDecoder.h"

#include "Dib.h"
#include "ReadError.h"

#include <QByteArray>

#include <algorithm>

namespace bw {
namespace {

QImage decodeDib(ByteReader data)
{
    const std::optional<DibHeader> header = readDibHeader(data);
    if (!header)
        return {};
    const DibHeader& h = *header;

    const std::uint64_t rowBytes = h.rowBytes();
    const std::uint64_t maskRowBytes = ((static_cast<std::uint64_t>(h.width) + 31) / 32) * 4;
    if (!data.contains(h.pixelOffset, rowBytes * h.height))
        return refuse(ReadError::TruncatedImage), QImage();
    // A missing or cut-off mask means the picture is opaque.
    const std::uint64_t maskOffset = h.pixelOffset + rowBytes * h.height;
    ByteReader mask = data.sub(maskOffset, maskRowBytes * h.height);
    const bool hasMask = mask.ok();

    QImage image = decodeDibPixels(data, h, QSize(h.width, h.height), true);
    if (image.isNull())
        return {};

    // A 32-bit image with real alpha ignores its mask; every other image takes its transparency
    // from the mask.
    bool anyAlpha = false;
    for (int y = 0; h.bitCount == 32 && h.masks[3] != 0 && !anyAlpha && y < h.height; ++y) {
        const auto* row = reinterpret_cast<const QRgb*>(image.constScanLine(y));
        anyAlpha = std::any_of(row, row + h.width, [](QRgb c) { return qAlpha(c) != 0; });
    }
    if (anyAlpha)
        return image;
    uchar* outBits = image.bits();
    const qsizetype outStride = image.bytesPerLine();
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
