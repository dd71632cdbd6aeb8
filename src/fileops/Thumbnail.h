#pragma once

#include <QImage>

#include <filesystem>

namespace bw {

// Thumbnail edges a caller may ask for.
inline constexpr int kMinThumbnailEdge = 1;
inline constexpr int kMaxThumbnailEdge = 1024;
inline constexpr int kDefaultThumbnailEdge = 128;

// A square edge x edge picture (Format_ARGB32, straight alpha) with `picture` fitted inside,
// keeping its proportions and centred on transparent ground. Smaller pictures are enlarged:
// first by a whole factor with hard pixel edges, so that small icons stay crisp, then smoothly
// for the rest; larger ones are reduced smoothly. Null for a null picture.
QImage thumbnailPicture(const QImage& picture, int edge);

// The thumbnail of the first icon of a file: the largest image of its first icon group (not the
// 32 x 32 one the program shows). Null when the file holds no icon.
QImage thumbnailOf(const std::filesystem::path& file, int edge);

// Writes a PNG atomically: a file of that name is replaced only by a complete new one, never
// left half written. A file manager names the output and may create it empty first.
bool writePngReplacing(const std::filesystem::path& path, const QImage& picture);

} // namespace bw
