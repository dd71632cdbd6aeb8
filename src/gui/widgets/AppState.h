#pragma once

#include "catalogue/Catalogue.h"
#include "catalogue/Collection.h"
#include "settings/SettingsFile.h"
#include "support/Colours.h"
#include "support/UserDirectories.h"
#include "view/PageState.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>

namespace bw {

// The state start-up sets and the commands share.
struct AppState {
    std::unique_ptr<Catalogue> catalogue;
    // The collection file the catalogue was opened from, while the catalogue holds its entries.
    std::unique_ptr<Collection> collection;
    int pixelThreshold = 5;
    bool autoRead = true;
    std::uint32_t backgroundColour = kColourButtonFace;
    std::string windowsDirectory; // holds the settings file; ends in '/'
    std::string readDirectory;    // ends in '/'
    // What the catalogue's read started from, looked for and walked, as a saved collection keeps
    // it: the read directory, the checked types and the directories may have changed since.
    ReadRecord read;
    std::string copyDirectory;                    // ends in '/'
    ExportFormat copyFormat = ExportFormat::Icon; // what the copy loops write
};

AppState& appState();
// Where the page of the main window stands.
PageState& pageState();

// The number of entries of the catalogue (0 before start-up made it), and whether `entry` is one
// of them (the cells behind the last entry are none).
std::int32_t catalogueEntryCount(const AppState& state);
std::int32_t catalogueEntryCount();
inline bool isCatalogueEntry(const AppState& state, std::int32_t entry) { return entry >= 1 && entry <= catalogueEntryCount(state); }

} // namespace bw
