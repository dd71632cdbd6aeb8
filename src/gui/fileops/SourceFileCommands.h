#pragma once

#include <cstdint>
#include <string>

namespace bw {

struct AppState;
class FileListBox;
class MainWindowAccess;
class TEinleseF;
class TMeldungF;
class TNummerF;

// The commands that act on the icons' own files: deleting (into the desktop trash), renumbering
// the icon files of the read directory, and checking every entry for damage.

// The single-file deletion behind "Löschen": only icon, cursor and bitmap files; says why not.
void deleteIconFile(const std::string& path);
// "Löschen": the file of `entry`, the one under the pointer.
void deletePointerEntry(AppState& state, std::int32_t entry, MainWindowAccess& main);
// "Ausgewählte Löschen": the files of all marked entries.
void deleteMarkedEntries(AppState& state, TMeldungF& report, MainWindowAccess& main);
// "Alle Löschen": the icon, cursor and bitmap files of all entries inside the read directory;
// then the directory is read again.
void deleteAllEntries(AppState& state, TMeldungF& report, MainWindowAccess& main, TEinleseF& progress);
// "Nummerieren": opens the renumbering window when the read directory (listed in `files`) holds
// only icon files.
void renumberIcons(const AppState& state, const FileListBox& files, TNummerF& window);
// "Checken": marks every entry whose file is damaged.
void checkEntries(AppState& state, TMeldungF& report, MainWindowAccess& main);

} // namespace bw
