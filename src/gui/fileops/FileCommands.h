#pragma once

#include "settings/SettingsFile.h"

#include <QString>

#include <cstdint>
#include <string_view>

namespace bw {

struct AppState;
class MainWindowAccess;
class TKopierpfadF;
class TMeldungF;

// The commands that copy icons out of their files, for the main window's menus. Each runs to its
// end inside its handler and shows its progress in the report window.

// "als Icon Kopieren " (".ico"), "Als BMP Kopieren" (".bmp"), "Original Kopieren"
// (kOriginalFormat) and "Als PNG Kopieren" (".png"): `entry`, the one under the pointer (none
// when it is not an entry of the catalogue).
void copyPointerEntry(AppState& state, std::int32_t entry, TMeldungF& report, const QString& extension);
// "Ausgewählte Kopieren": every marked entry, in the format chosen in the settings.
void copyMarkedEntries(AppState& state, TMeldungF& report, MainWindowAccess& main);
// "Alle Kopieren": every entry, in the format chosen in the settings.
void copyAllEntries(AppState& state, TMeldungF& report, MainWindowAccess& main);
// The target extension of exportEntry for a copy format.
std::string_view copyFormatExtension(CopyFormat format);
// Ctrl+C on the page and "In die Zwischenablage": the largest image of the entry under the
// pointer on the clipboard, as an image and as PNG bytes with alpha.
void copyPointerEntryToClipboard(const AppState& state, std::int32_t entry, TMeldungF& report);
// A click on the copy-directory status bar: the chooser.
void chooseCopyDirectory(TKopierpfadF& chooser);
// "Bmp Als Ico": icon 0 of a chosen file written as a 16-colour icon file.
void bitmapToIcon();

} // namespace bw
