#include "BitmapFile.h"

#include "Dib.h"

namespace bw {
namespace {

// The largest bitmap decoded at its own size: 256 MB of picture. Reduced pictures are made row
// by row, but the time still grows with every pixel of the file.
constexpr std::int64_t kMaxBitmapPixels = 64LL * 1024 * 1024;

// A compressed bitmap (run-length coded) can claim a large picture in a few bytes, since one
// escape skips whole rows. Real ones are drawings, not photographs; this many pixels keeps one
// extraction within a few tens of milliseconds.
constexpr std::int64_t kMaxCompressedBitmapPixels = 4LL * 1024 * 1024;

// The header, if decoding the bitmap costs no more than its file justifies: the rows of an
// uncompressed bitmap must be in the file (the last may lack its padding), and a compressed one
// gets a pixel cap.
std::optional<DibHeader> boundedHeader(ByteReader file)
{
    std::optional<DibHeader> h = readDibHeader(file, DibLayout::BitmapFile);
    if (!h)
        return std::nullopt;
    if (h->runLength())
        return h->pixels() <= kMaxCompressedBitmapPixels ? h : (refuse(ReadError::TooLarge), std::nullopt);
    if (!rowsInFile(*h, file.size()))
        return refuse(ReadError::TruncatedImage), std::nullopt;
    if (h->pixels() > kMaxBitmapPixels)
        return refuse(ReadError::TooLarge), std::nullopt;
    return h;
}

} // namespace

std::optional<BitmapShape> bitmapShape(ByteReader file)
{
    const std::optional<DibHeader> h = readDibHeader(file, DibLayout::BitmapFile);
    if (!h)
        return std::nullopt;
    return BitmapShape {QSize(h->width, h->height), h->bitCount};
}

QImage decodeBitmapFile(ByteReader file, QSize fit, bool keepAlpha)
{
    const std::optional<DibHeader> h = boundedHeader(file);
    if (!h)
        return {};
    return decodeDibPixels(file, *h, fit, keepAlpha);
}

} // namespace bw
