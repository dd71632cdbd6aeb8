#pragma once

// What the commands that remove, rename and check the user's own files need of the file system,
// each result checked: nothing is replaced, nothing goes without a trace.

#include "support/SafeFile.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace bw {

enum class TrashResult { Trashed, Missing, Refused };

// Moves a file into the desktop trash, laid out as file managers expect (files/ and info/ with a
// .trashinfo per file, as freedesktop.org describes it): the home trash under
// $XDG_DATA_HOME when the file is on the same file system, else the trash at the top of its own
// volume, found on the resolved directory, whose records hold the path from that top. The record
// is written before the file moves. Names are bytes; one too long for its record is shortened
// before its extension. The file stays where it was when anything fails; Missing when it is gone.
TrashResult moveToTrash(const std::string& path);

// Percent-encodes a path for the Path= line of a .trashinfo file.
std::string trashInfoPathText(std::string_view path);

enum class RenameResult { Renamed, TargetExists, Failed };

// Renames a file without ever replacing another: renameat2 with RENAME_NOREPLACE, or link and
// unlink where the file system lacks it.
RenameResult renameNoReplace(const std::string& from, const std::string& to);

// The names renumbering gives `count` files: prefix + "_" + the running number from 0, zero-padded
// to the digits of count - 1 (no extension).
std::vector<std::string> renumberedNames(std::size_t count, const std::string& prefix);

// What a renumbering did with its files. A file that had its new name already counts in none.
struct RenumberCounts {
    int renamed = 0;
    int vanished = 0; // gone before its turn
    int taken = 0;    // its new name belongs to another file, which stays as it is
    int refused = 0;  // the file system refused the rename
    friend bool operator==(const RenumberCounts&, const RenumberCounts&) = default;
};

// Gives the files `names` of `directory` (ending in '/') the names of renumberedNames with ".ico",
// in their order, never replacing a file. Before file i, for the first hundred and then every
// tenth, `countdown` hears how many files follow it; after each file `cancelled` may stop the run.
RenumberCounts renumberFiles(const std::string& directory, const std::vector<std::string>& names, const std::string& prefix,
                             const std::function<void(std::size_t left)>& countdown, const std::function<bool()>& cancelled);

// True when the path lies in the directory (ending in '/') or below it.
bool isInsideDirectory(std::string_view path, std::string_view directory);

// The damage test of "Checken". An icon file passes when it can be opened, holds at least six
// bytes, its type field is 0 or 1 and its icon can be loaded; a cursor file likewise with type
// field 2; an executable, library or bitmap when the entry's icon can be loaded. So an entry
// passes exactly when the page shows its icon. The icons of one library reuse the file as long as
// it is the one being checked.
class IconFileCheck {
public:
    bool passes(std::string_view path, std::uint16_t iconIndex);
};

// The last line of "Checken": "FERTIG: Alle Icons OK !" only over a tree read whole; where
// directories could not be listed, the check knows nothing of their files and says how many.
QString checkSummary(std::int32_t defects, std::int32_t unreadableDirectories);

} // namespace bw
