#pragma once

#include "ByteReader.h"
#include "IconDirectory.h"
#include "ReadError.h"

#include <QImage>

#include <optional>
#include <vector>

namespace bw {

// An Apple icon file ("icns"): elements of a four-letter type and a big-endian length, each one
// image at a size its type implies (or its PNG header states). Decoding is left to Qt's ICNS
// reader; this side checks the file first and hands Qt one element at a time (with its mask), in
// a file of its own, so that Qt decodes only bytes that were checked and an image whose size is
// known and capped.
inline constexpr std::uint32_t kMaxIcnsElements = 256;
inline constexpr std::uint64_t kMaxIcnsFileBytes = 32ULL * 1024 * 1024;

// Whether the file starts like an Apple icon file: "icns" and a length that fits the file.
bool isIcnsFile(ByteReader file);

// One image of an Apple icon file that Qt can be asked for.
struct IcnsImage {
    int width = 0;
    int height = 0;
    int bitCount = 32;
    bool png = false;
    int element = 0; // its number among the file's elements
};

// The images of the file that Qt's reader lists, in the stored order (JPEG 2000 elements, elements
// of unknown types and elements longer than their type allows are left out); none when the file
// is malformed or holds no such image.
std::optional<std::vector<IcnsImage>> icnsImages(ByteReader file);

// The chosen image, by the same rule as for icons (ImagePick); IconSize brings it to edge x edge.
QImage icnsPicture(ByteReader file, ImagePick pick, int edge = kIconEdge);

// Every image that decodes, in the stored order, until `maxPixels` are listed.
std::vector<IconImageInfo> icnsAllImages(ByteReader file, qint64 maxPixels);

} // namespace bw
