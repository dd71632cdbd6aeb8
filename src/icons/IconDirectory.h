#pragma once

#include "ByteReader.h"
#include "ReadError.h"

#include <QByteArray>
#include <QImage>

#include <functional>
#include <optional>
#include <vector>

namespace bw {

// The edge of the pictures the program works with (the platform's large icon size).
inline constexpr int kIconEdge = 32;

// One image listed in an icon directory: its size as the directory states it and its bytes.
struct IconCandidate {
    int width = 0;
    int height = 0;
    ByteReader data;
    ByteReader entry; // the directory entry as stored: 14 bytes in a group resource, 16 in a file
};

// One image of an icon as stored: its decoded size, its colour depth (from its own header, 32 for
// PNG), whether it is PNG, and the picture (Format_ARGB32, straight alpha; a bitmap is opaque
// unless its header gives an alpha mask).
// Where an icon has several variants, which one the image belongs to: the language of a group
// that a program holds in several languages, the frame of an animated cursor.
struct IconImageInfo {
    int bitCount = 0;
    bool png = false;
    QImage picture;
    int language = -1; // -1: the icon has one variant only
    int frame = -1;    // -1: not a frame of an animated cursor
};

// Which image of an icon group a caller wants: the one the program shows (nearest to 32 x 32,
// brought to 32 x 32), or the largest as stored (for thumbnails).
enum class ImagePick { IconSize, Largest };

// IconSize: the image nearest to edge x edge (32 x 32 unless a high-density screen asks for more),
// then the deepest colour (from the image's own header), then the larger area, then the first.
// Largest: the larger area, then the deepest colour, then the first. None when the list is empty
// or an image header is unreadable, since such a directory is inconsistent.
std::optional<std::size_t> chooseIconImage(const std::vector<IconCandidate>& candidates, ImagePick pick = ImagePick::IconSize,
                                           int edge = kIconEdge);

// Decodes the chosen image; IconSize brings it to edge x edge (smooth scaling where needed).
QImage pictureFromCandidates(const std::vector<IconCandidate>& candidates, ImagePick pick = ImagePick::IconSize, int edge = kIconEdge);

// Smoothly scales a picture to edge x edge, keeping straight alpha in the result.
QImage scaleToEdge(const QImage& picture, int edge);
inline QImage scaleToIconSize(const QImage& picture) { return scaleToEdge(picture, kIconEdge); }

// The directory of an icon or cursor file and of a group resource (offsets in bytes): both have
// the same header (reserved 0, type, image count); an entry of either starts with the image's
// width, height, colour count, reserved byte, planes, bit count and size in bytes. A file's entry
// (16 bytes) then says where the image is; a group's (14 bytes) names the image's resource by id.
inline constexpr std::uint16_t kIconType = 1, kCursorType = 2;
inline constexpr std::uint64_t kIconDirTypeAt = 2, kIconDirCountAt = 4, kIconDirHeaderSize = 6;
inline constexpr std::uint64_t kIconEntryHeightAt = 1, kIconEntryImageInfoSize = 8 /* width to bit count */, kIconEntryBytesAt = 8;
inline constexpr std::uint64_t kIconFileEntryOffsetAt = 12, kIconFileEntrySize = 16, kGroupEntryIdAt = 12, kGroupEntrySize = 14;

// Header test of an icon (type 1) or cursor (type 2) file: reserved 0, a known type, at least one
// image, and a directory that fits in the file. None, else UnknownFormat (not an icon header) or
// DirectoryOutside.
ReadError iconFileHeaderCheck(ByteReader file);

// The images of an icon or cursor file; none when any entry points outside the file.
std::optional<std::vector<IconCandidate>> iconFileCandidates(ByteReader file);

// Real icons hold a handful of images; a group naming more than this is refused, so that a small
// crafted file cannot make one extraction look up and weigh tens of thousands of images.
inline constexpr std::uint16_t kMaxGroupImages = 256;

// The images of a group icon resource (GRPICONDIR). lookupIcon finds an RT_ICON by id; a group
// naming a missing icon gives none. A lookup that finds the icon but cannot read it records why
// (refuse()); otherwise the reason is MissingImage.
using IconLookup = std::function<std::optional<ByteReader>(std::uint16_t id)>;
std::optional<std::vector<IconCandidate>> groupCandidates(ByteReader group, const IconLookup& lookupIcon);

// An icon group as an icon file of its own: the group's header, for each image the group's
// directory entry (width, height, colour count, planes, bit count, size) with its offset in the
// new file, then every image's bytes as stored, in the group's order. An image takes the size its
// entry states when the resource holds at least that much (resources of 16-bit programs are
// padded to their alignment), else the whole resource. None when the file would be larger than
// kMaxGroupFileBytes (a group may name one huge image many times).
inline constexpr std::uint64_t kMaxGroupFileBytes = 64ULL * 1024 * 1024;
std::optional<QByteArray> iconFileOfGroup(const std::vector<IconCandidate>& candidates);

} // namespace bw
