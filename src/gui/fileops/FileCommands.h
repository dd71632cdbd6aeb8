#pragma once

#include "support/ExportFormat.h"

#include <cstdint>

namespace bw {

struct AppState;
class MainWindowAccess;
class TKopierpfadF;
class TMeldungF;

// The commands that copy icons out of their files, for the main window's menus. Each runs to its
// end inside its handler and shows its progress in the report window.

// "als Icon Kopieren ", "Als BMP Kopieren", "Original Kopieren" and "Als PNG Kopieren": `entry`,
// the one under the pointer (none when it is not an entry of the catalogue), in `format`.
void copyPointerEntry(AppState& state, std::int32_t entry, TMeldungF& report, ExportFormat format);
// "Ausgewählte Kopieren": every marked entry, in the format chosen in the settings.
void copyMarkedEntries(AppState& state, TMeldungF& report, MainWindowAccess& main);
// "Alle Kopieren": every entry, in the format chosen in the settings.
void copyAllEntries(AppState& state, TMeldungF& report, MainWindowAccess& main);
// Ctrl+C on the page and "In die Zwischenablage": the largest image of the entry under the
// pointer on the clipboard, as an image and as PNG bytes with alpha.
void copyPointerEntryToClipboard(const AppState& state, std::int32_t entry, TMeldungF& report);
// "Verweis kopieren": the reference Windows uses for the icon under the pointer ("path,-184" for
// a numbered group, "path,3" by index otherwise) on the clipboard as text.
void copyPointerReferenceToClipboard(const AppState& state, std::int32_t entry, TMeldungF& report);
// A click on the copy-directory status bar: the chooser, whose choice becomes the copy directory.
void chooseCopyDirectory(AppState& state, TKopierpfadF& chooser, MainWindowAccess& main);
// "Bmp Als Ico": icon 0 of a chosen file written as a 16-colour icon file.
void bitmapToIcon();

} // namespace bw
