#pragma once

namespace bw {

// What a copy of an icon writes. The settings keep the choice of the copy loops, the popup menu
// names one for a single copy, and the command-line tool takes one with --as.
enum class ExportFormat {
    Icon,     // a 16-colour icon file (".ico"); icon and cursor files are copied byte for byte
    Original, // the icon as stored, under the extension of its kind
    Png,      // the largest image at its own size, as a 32-bit RGBA PNG
    Bitmap,   // the icon drawn on the 8-bit template bitmap (".bmp"); not a choice of the copy loops
};

} // namespace bw
