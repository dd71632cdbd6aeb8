#pragma once

#include <QString>

namespace bw {

class TIconF;

// The commands that copy icons out of their files, for the main window's menus. Each runs to its
// end inside its handler and shows its progress in the report window.

// "als Icon Kopieren " (".ico") and "Als BMP Kopieren" (".bmp"): the entry under the pointer.
void copyPointerEntry(TIconF& main, const QString& extension);
// "Ausgewählte Kopieren": every marked entry as an icon file.
void copyMarkedEntries(TIconF& main);
// "Alle Kopieren": every entry as an icon file.
void copyAllEntries(TIconF& main);
// A click on the copy-directory status bar: the chooser.
void chooseCopyDirectory(TIconF& main);
// "Bmp Als Ico": icon 0 of a chosen file written as a 16-colour icon file.
void bitmapToIcon(TIconF& main);

} // namespace bw
