#pragma once

#include "ByteReader.h"
#include "ReadError.h"

#include <QImage>

#include <filesystem>
#include <optional>
#include <vector>

namespace bw {

// A call that gives nothing (a count of 0, a null picture, no images) leaves the reason in
// lastReadError() and logs it under bildwiesel.icons, with the path where it is known.

// What a file holds, decided by its content, never by its name.
enum class IconSourceKind { None, Pe, Ne, IconFile, Bitmap };

IconSourceKind iconSourceKind(ByteReader file);

// The number of icons a file offers: the group icons of an executable or icon library, 1 for an
// icon, cursor or bitmap file, 0 for anything else or a file that cannot be read.
int iconCount(const std::filesystem::path& path);
int iconCount(ByteReader file);

// The icon at `index` as a 32 x 32 Format_ARGB32 picture with straight alpha, or a null image
// when there is none. A bitmap file gives one opaque picture reduced from the whole bitmap.
QImage extractIcon(const std::filesystem::path& path, int index);
QImage extractIcon(ByteReader file, int index);

// The icon at `index` as an edge x edge picture for a high-density screen: from the image nearest
// to that edge by the same rule as for 32 x 32, scaled smoothly. With edge 32 the same picture as
// extractIcon.
QImage extractIcon(const std::filesystem::path& path, int index, int edge);
QImage extractIcon(ByteReader file, int index, int edge);

// One image of an icon as stored: its decoded size, its colour depth (from its own header, 32 for
// PNG), whether it is PNG, and the picture (Format_ARGB32, straight alpha; a bitmap is opaque
// unless its header gives an alpha mask).
struct IconImageInfo {
    int bitCount = 0;
    bool png = false;
    QImage picture;
};

// Every image of the icon at `index` that decodes, in the stored order: one for an icon group per
// image, one for a bitmap file. Images that do not decode are left out; none for no icon.
std::vector<IconImageInfo> iconImages(const std::filesystem::path& path, int index);
std::vector<IconImageInfo> iconImages(ByteReader file, int index);

// The largest image of the icon at `index`, as stored (Format_ARGB32, straight alpha), or a null
// image when there is none. A bitmap file gives the whole bitmap, opaque unless its header gives
// an alpha mask. For copies out.
QImage extractLargestIcon(const std::filesystem::path& path, int index);
QImage extractLargestIcon(ByteReader file, int index);

// The same for thumbnails of at most edge x edge: a bitmap file larger than that comes already
// fitted within it (keeping its proportions), reduced while it is read rather than decoded whole.
QImage extractLargestIconWithin(const std::filesystem::path& path, int index, int edge);

// An icon as it is stored, for copying it out unchanged: an icon, cursor or bitmap file's bytes,
// or an icon group of an executable or icon library as an icon file of its own (iconFileOfGroup).
struct StoredIcon {
    QByteArray bytes;
    IconSourceKind kind = IconSourceKind::None;
    bool cursor = false; // an icon file whose header says cursor
};
std::optional<StoredIcon> storedIcon(const std::filesystem::path& path, int index);
std::optional<StoredIcon> storedIcon(ByteReader file, int index);

// Lets go of the file the path functions keep mapped between calls (they check on every call
// that it is unchanged; this only frees the mapping early, e.g. before deleting files).
void releaseFileCache();

// While a batch is alive, a file found unchanged once is trusted for the rest of the batch, which
// saves a stat() per icon. For loops that let no other command run meanwhile (painting a page).
class ExtractionBatch {
public:
    ExtractionBatch();
    ~ExtractionBatch();
    ExtractionBatch(const ExtractionBatch&) = delete;
    ExtractionBatch& operator=(const ExtractionBatch&) = delete;
};

} // namespace bw
