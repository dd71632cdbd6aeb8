#pragma once

#include "catalogue/Catalogue.h"
#include "settings/SettingsFile.h"

#include <QColor>
#include <QImage>
#include <QString>

#include <cstdint>
#include <memory>
#include <string>

namespace bw {

// Colours are kept as the program stores them: red in the low byte (0x00BBGGRR), or the system
// colour reference 0x8000000F for the button face.
inline constexpr std::uint32_t kColourButtonFace = 0x8000000F;
inline constexpr std::uint32_t kColourRed = 255;
inline constexpr std::uint32_t kColourYellow = 65535;
inline constexpr std::uint32_t kColourWhite = 16777215;
QColor toQColor(std::uint32_t colour);

// The state start-up sets and the commands share.
struct AppState {
    std::unique_ptr<Catalogue> catalogue;
    int pixelThreshold = 5;
    // The one live extracted icon, and the drawing surface of bitmap exports.
    QImage scratchIcon;
    QImage scratchBitmap;
    bool autoRead = true;
    std::uint32_t backgroundColour = kColourButtonFace;
    std::string windowsDirectory; // holds the settings file; ends in '/'
    std::string readDirectory;    // ends in '/'
    std::string copyDirectory;    // ends in '/'
    CopyFormat copyFormat = CopyFormat::Classic; // what the copy loops write
};

AppState& appState();

// The number of entries of the catalogue (0 before start-up made it).
std::int32_t catalogueEntryCount();

// The refusal of the commands that need a catalogue with entries.
inline const QString kNothingLoaded = QStringLiteral("Keine Symbole geladen !");

// $XDG_CONFIG_HOME/bildwiesel/ (default ~/.config/bildwiesel/), created when missing.
std::string configDirectory();

// The user's home directory, ending in '/': where the user's own directories fall back to (first
// start, a read or copy directory that no longer exists). The program's folder is no place for
// them: once installed it is a system folder.
std::string homeDirectory();

// True when the path names an existing directory (an empty path does not).
bool isDirectory(const std::string& path);

} // namespace bw
