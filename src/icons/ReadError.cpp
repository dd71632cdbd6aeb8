#include "ReadError.h"

namespace bw {

Q_LOGGING_CATEGORY(lcIcons, "bildwiesel.icons", QtWarningMsg)

const char* readErrorName(ReadError error)
{
    switch (error) {
    case ReadError::None: return "None";
    case ReadError::CannotOpen: return "CannotOpen";
    case ReadError::FileDamaged: return "FileDamaged";
    case ReadError::UnknownFormat: return "UnknownFormat";
    case ReadError::NoSuchIcon: return "NoSuchIcon";
    case ReadError::NotPe: return "NotPe";
    case ReadError::BadOptionalHeader: return "BadOptionalHeader";
    case ReadError::NoResourceSection: return "NoResourceSection";
    case ReadError::SectionTableOutside: return "SectionTableOutside";
    case ReadError::ResourcesOutside: return "ResourcesOutside";
    case ReadError::DirectoryOutside: return "DirectoryOutside";
    case ReadError::BadDirectoryEntry: return "BadDirectoryEntry";
    case ReadError::TooDeep: return "TooDeep";
    case ReadError::NotNe: return "NotNe";
    case ReadError::ResourceTableOutside: return "ResourceTableOutside";
    case ReadError::BadAlignShift: return "BadAlignShift";
    case ReadError::TypeTableOutside: return "TypeTableOutside";
    case ReadError::DataOutside: return "DataOutside";
    case ReadError::MissingImage: return "MissingImage";
    case ReadError::BadGroupHeader: return "BadGroupHeader";
    case ReadError::TooManyImages: return "TooManyImages";
    case ReadError::TooLarge: return "TooLarge";
    case ReadError::BadImageHeader: return "BadImageHeader";
    case ReadError::BadBitCount: return "BadBitCount";
    case ReadError::BadImageSize: return "BadImageSize";
    case ReadError::BadPalette: return "BadPalette";
    case ReadError::TruncatedImage: return "TruncatedImage";
    case ReadError::UndecodableImage: return "UndecodableImage";
    case ReadError::BadChunk: return "BadChunk";
    }
    return "?";
}

} // namespace bw
