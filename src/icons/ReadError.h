#pragma once

#include <QLoggingCategory>

#include <cstdint>

namespace bw {

// Why a reader refused a file, named after the check that refused it. The readers answer with
// nothing (no icon, a count of 0, a null picture) and leave the reason here, so that callers keep
// their simple results and the failure path costs one store: no allocation, no text.
enum class ReadError : std::uint8_t {
    None,
    // Any file
    CannotOpen,    // not a regular file, or it could not be opened or mapped
    FileDamaged,   // the file lost bytes while it was read
    UnknownFormat, // neither an executable, an icon or cursor file, nor a bitmap
    NoSuchIcon,    // the index is not one of the file's icons
    // Windows programs and libraries (PE)
    NotPe,             // no MZ header or no PE signature where it points
    BadOptionalHeader, // unknown magic, or no resource entry in the data directories
    NoResourceSection, // the file names no resource directory
    SectionTableOutside,
    ResourcesOutside,  // the resource directory lies in no section, or past the end of the file
    DirectoryOutside,  // a directory's entries lie outside its section (or file)
    BadDirectoryEntry, // an entry points at data where a directory belongs, or at an empty one
    TooDeep,           // the resource tree goes deeper than type, name and language
    // 16-bit programs and icon libraries (NE)
    NotNe,
    ResourceTableOutside,
    BadAlignShift,
    TypeTableOutside, // a type's names run past the table, or the table has no end
    // Icon groups and icon files
    DataOutside,  // an image or resource lies outside the file
    MissingImage, // a group names an image the file does not hold
    BadGroupHeader,
    TooManyImages,
    TooLarge, // more bytes or pixels than one icon can justify
    // Images
    BadImageHeader, // unknown header size or compression
    BadBitCount,
    BadImageSize, // width or height of 0, negative, or beyond what an icon may have
    BadPalette,
    TruncatedImage,   // the header, palette or pixel rows are cut off
    UndecodableImage, // a PNG or bitmap that Qt's reader refused
    // Animated cursors and Apple icon files
    BadChunk, // a chunk or element runs outside its parent, or a required one is missing
};

// The value's name, for logs.
const char* readErrorName(ReadError error);

namespace detail {
inline thread_local constinit ReadError lastReadError = ReadError::None;
}

// The reason the last refusing read on this thread gave. The readers' entry points clear it, so
// after a call that gave nothing it says why; after one that gave something it is None, or the
// reason for a part that was left out (an image of a group that does not decode).
inline ReadError lastReadError() { return detail::lastReadError; }
inline void clearReadError() { detail::lastReadError = ReadError::None; }
// Records why a read refuses; used as `return refuse(ReadError::X), std::nullopt;`.
inline void refuse(ReadError error) { detail::lastReadError = error; }

// Reasons are logged here (with the file's path where it is known); off unless asked for with
// QT_LOGGING_RULES=bildwiesel.icons.debug=true.
Q_DECLARE_LOGGING_CATEGORY(lcIcons)

} // namespace bw
