#pragma once

// The one decoder for device-independent bitmaps: the images inside icons and whole .bmp files.
// Every byte is read through a ByteReader, sizes are checked before anything is allocated, and a
// picture smaller than the bitmap is made row by row without ever holding the whole bitmap.

#include "ByteReader.h"
#include "ReadError.h"

#include <QImage>

#include <array>
#include <cstdint>
#include <optional>

namespace bw {

// Where a DIB sits. An image inside an icon: its stored height counts the AND mask that follows
// the colour rows, and the rows come right after the palette. A bitmap file: a 14-byte file header
// first, whose offset says where the rows are, and no mask.
enum class DibLayout { IconImage, BitmapFile };

inline constexpr std::uint32_t kBiRgb = 0;
inline constexpr std::uint32_t kBiRle8 = 1;
inline constexpr std::uint32_t kBiRle4 = 2;
inline constexpr std::uint32_t kBiBitfields = 3;
inline constexpr std::uint32_t kBiAlphaBitfields = 6;

struct DibHeader {
    int width = 0;
    int height = 0; // of the colour image: for an icon half the stored height, which counts the mask too
    bool topDown = false;
    int bitCount = 0;
    std::uint32_t compression = kBiRgb;
    std::uint64_t paletteOffset = 0; // offsets count from the start of the bytes the header was read from
    int paletteEntries = 0;
    int paletteEntrySize = 4;
    std::uint64_t pixelOffset = 0;
    std::array<std::uint32_t, 4> masks {}; // red, green, blue, alpha; an alpha mask of 0 means opaque
    bool declaresAlpha = false;            // a bitmap file whose header gives an alpha mask

    bool runLength() const { return compression == kBiRle8 || compression == kBiRle4; }
    std::uint64_t rowBytes() const { return (static_cast<std::uint64_t>(width) * bitCount + 31) / 32 * 4; }
    std::int64_t pixels() const { return static_cast<std::int64_t>(width) * height; }
};

// Whether the uncompressed rows lie in `size` bytes: every row, except that the last may lack its
// padding, as some writers leave it off.
bool rowsInFile(const DibHeader& header, std::uint64_t size);

// Reads and checks the header, the masks and where palette and rows lie. Refuses (with the reason
// left by refuse()) what the layout does not allow: an icon image is at most kMaxIconImageEdge on
// each side and uncompressed; a bitmap file may be run-length coded. The caller bounds the cost.
std::optional<DibHeader> readDibHeader(ByteReader data, DibLayout layout = DibLayout::IconImage);

// The colour rows as a Format_ARGB32 picture with straight alpha, of the bitmap's size or, when
// `fit` is smaller on a side, of that side of `fit`: the bitmap is then reduced by averaging the
// area each target pixel covers, one source row at a time. Without keepAlpha the picture is
// opaque. Null (with the reason recorded) when the rows are not there or memory is refused.
QImage decodeDibPixels(ByteReader data, const DibHeader& header, QSize fit, bool keepAlpha);

// An n-bit channel value widened to 8 bits by repeating its bit pattern (31 of 5 bits is 255, 16
// is 132); wider channels keep their top 8 bits.
std::uint8_t widenChannel(std::uint32_t value, int bits);

} // namespace bw
