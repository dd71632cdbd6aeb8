#pragma once

// Whole .bmp files: a file header, then a DIB that the decoder shared with icons reads.

#include "ByteReader.h"
#include "ReadError.h"

#include <QImage>

#include <optional>

namespace bw {

// The bitmap's size and colour depth as its header states them; none when it cannot be read.
struct BitmapShape {
    QSize size;
    int bitCount = 0;
};
std::optional<BitmapShape> bitmapShape(ByteReader file);

// The bitmap as a Format_ARGB32 picture with straight alpha, of its own size or, when `fit` is
// smaller on a side, reduced to that side by area averaging without decoding the whole bitmap.
// keepAlpha keeps the alpha a bitmap declares with an alpha mask; otherwise, and for bitmaps
// without one, the picture is opaque. Null, with the reason recorded, for a bitmap that cannot be
// read or that costs more than its file justifies.
QImage decodeBitmapFile(ByteReader file, QSize fit, bool keepAlpha);

} // namespace bw
