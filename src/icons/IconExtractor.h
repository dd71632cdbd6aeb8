#pragma once

#include "ByteReader.h"
#include "IconDirectory.h"
#include "ReadError.h"

#include <QImage>

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace bw {

// A call that gives nothing (a count of 0, a null picture, no images) leaves the reason in
// lastReadError() and logs it under bildwiesel.icons, with the path where it is known.

// What a file holds, decided by its content, never by its name.
// Beyond Windows' own kinds: animated cursors (RIFF "ACON"), Apple icon files and PNG files, each
// one icon.
enum class IconSourceKind { None, Pe, Ne, IconFile, Bitmap, AnimatedCursor, AppleIcon, Png };

IconSourceKind iconSourceKind(ByteReader file);

// The number of icons a file offers: the group icons of an executable or icon library, 1 for an
// icon, cursor, animated cursor, Apple icon, PNG or bitmap file, 0 for anything else or a file
// that cannot be read. Files of one icon are told by their header alone; nothing is decoded.
int iconCount(const std::filesystem::path& path);
// The same for the file `name` in the open directory `directory`, whose path is `path` (for the
// rare file that must be mapped, and for the log).
int iconCountAt(int directory, const char* name, const std::string& path);
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

// Every image of the icon at `index` that decodes, in the stored order: one for an icon group per
// image (of every language the group is stored in, the one shown first), every image of every
// frame of an animated cursor, every size of an Apple icon, one for a bitmap or PNG file. Images
// that do not decode are left out, and so are those past kMaxListedPixels in all; none for no
// icon.
inline constexpr qint64 kMaxListedPixels = 16LL * 1024 * 1024;
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

// An icon as it is stored, for copying it out unchanged: the bytes of a file that is one icon
// (icon, cursor, animated cursor, Apple icon, PNG, bitmap), or an icon group of an executable or
// icon library as an icon file of its own (iconFileOfGroup), in the language shown; with
// allLanguages, the images of every language the group is stored in, one after the other.
struct StoredIcon {
    QByteArray bytes;
    IconSourceKind kind = IconSourceKind::None;
    bool cursor = false; // an icon file whose header says cursor
};
std::optional<StoredIcon> storedIcon(const std::filesystem::path& path, int index, bool allLanguages = false);
std::optional<StoredIcon> storedIcon(ByteReader file, int index, bool allLanguages = false);

// Where an icon lies in its file, as Windows names it: the group of a program or icon library by
// its resource number or its name, with the languages a 32- or 64-bit program stores it in (the
// one shown first); for any other file only the index. None when the file has no icon there.
struct IconOrigin {
    IconSourceKind kind = IconSourceKind::None;
    int index = 0;
    std::optional<std::uint32_t> groupNumber; // a numbered group
    std::optional<QString> groupName;         // a named group
    std::vector<std::uint32_t> languages;
};
std::optional<IconOrigin> iconOrigin(const std::filesystem::path& path, int index);
std::optional<IconOrigin> iconOrigin(ByteReader file, int index);

// The reference Windows passes around for an icon: the path, "," and the negative resource
// number of a numbered group ("imageres.dll,-184"), else the icon's index in the file ("a.ico,0"):
// named groups and files without resource numbers are found by position.
QString iconReference(const QString& path, const IconOrigin& origin);

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
