#pragma once

#include <cstdint>
#include <string>

namespace bw {

struct AppState;
class MainWindowAccess;
class TEinleseF;

// "Einlesen": the read directory's tree, one walk per checked file type.
void readTree(AppState& state, MainWindowAccess& main, TEinleseF& progress);
// "Alle Laufwerke lesen": every mounted volume, each without descending into another.
void readAllDrives(AppState& state, MainWindowAccess& main, TEinleseF& progress);
// A click in the file list: that one file alone.
// "Sammlung auffrischen": the opened collection's directory read again, opening only the files of
// directories changed since it was saved, and the collection written anew.
void refreshCollection(AppState& state, MainWindowAccess& main, TEinleseF& progress);
void readSingleFile(AppState& state, MainWindowAccess& main, TEinleseF& progress, const std::string& path);
// "Suchergebnis": the progress window as the last read left it.
void showSearchResult(TEinleseF& progress);
// A close of the main window while a read runs: cancels the read and closes the main window when
// the read has ended. False (nothing done) when no read runs.
bool closeAfterRead(TEinleseF& progress);
// How many reads of a tree or of the volumes have started since the program began.
std::uint64_t readsStarted();

} // namespace bw
