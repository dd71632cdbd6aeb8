#pragma once

#include "ByteReader.h"
#include "ReadError.h"

#include <QImage>

#include <optional>

namespace bw {

// Largest edge accepted for one image inside an icon. Real icons stop at 256; the margin keeps
// odd but harmless files working while a hostile header cannot ask for a huge allocation.
inline constexpr int kMaxIconImageEdge = 1024;

// True when the image data is PNG-compressed (icons of Windows Vista and later).
bool isPngImage(const ByteReader& data);

// The colour depth an icon image declares in its own header: bits per pixel of a DIB, 32 for PNG.
// None when the header cannot be read.
std::optional<int> iconImageBitCount(ByteReader data);

// The size an icon image states in its own header: the PNG's IHDR, or a DIB's width and the
// height of its colour image. None when the header cannot be read. A directory entry's width or
// height byte can only say "256 or more"; this is the size that is really there.
std::optional<QSize> iconImageSize(ByteReader data);

// Decodes one image of an icon resource or icon file: a DIB (BITMAPINFOHEADER or
// BITMAPCOREHEADER, 1/4/8/16/24/32 bits, followed by its AND mask) or a PNG. The result is
// Format_ARGB32 with straight alpha, or a null image when the data is not a valid image (the reason
// is then in lastReadError()).
QImage decodeIconImage(ByteReader data);

} // namespace bw
