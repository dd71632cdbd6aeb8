#pragma once

#include <string>

namespace bw {

class TIconF;

// The commands that act on the icons' own files: deleting (into the desktop trash), renumbering
// the icon files of the read directory, and checking every entry for damage.

// The single-file deletion behind "Löschen": only icon, cursor and bitmap files; says why not.
void deleteIconFile(const std::string& path);
// "Löschen": the file of the entry under the pointer.
void deletePointerEntry(TIconF& main);
// "Ausgewählte Löschen": the files of all marked entries.
void deleteMarkedEntries(TIconF& main);
// "Alle Löschen": the icon, cursor and bitmap files of all entries inside the read directory.
void deleteAllEntries(TIconF& main);
// "Nummerieren": opens the renumbering window when the read directory holds only icon files.
void renumberIcons(TIconF& main);
// "Checken": marks every entry whose file is damaged.
void checkEntries(TIconF& main);

} // namespace bw
