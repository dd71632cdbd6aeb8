#pragma once

#include <cstdint>
#include <string>

namespace bw {

class TIconF;

// "Einlesen": the read directory's tree, one walk per checked file type.
void readTree(TIconF& main);
// "Alle Laufwerke lesen": every mounted volume, each without descending into another.
void readAllDrives(TIconF& main);
// A click in the file list: that one file alone.
void readSingleFile(TIconF& main, const std::string& path);
// "Suchergebnis": the progress window as the last read left it.
void showSearchResult(TIconF& main);
// A close of the main window while a read runs: cancels the read and closes the main window when
// the read has ended. False (nothing done) when no read runs.
bool closeAfterRead();
// How many reads of a tree or of the volumes have started since the program began.
std::uint64_t readsStarted();

} // namespace bw
