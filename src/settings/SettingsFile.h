#pragma once

#include "catalogue/FileTypes.h"
#include "support/ExportFormat.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>
#include <string>

namespace bw {

inline const char* const kSettingsFileName = "bwsave.kwb";

// The settings kept between runs.
struct Settings {
    std::uint32_t backgroundColour = 0;
    std::string readDirectory;
    std::string copyDirectory;
    bool autoRead = true;
    std::array<bool, kOldFileTypeCount> fileTypes {}; // the marks of the six types of old
};

// What a settings file gave: each value is set only when its line was read; reading stops at the
// first number line that is not a decimal integer, with the message for it.
struct LoadedSettings {
    std::optional<std::uint32_t> backgroundColour;
    std::optional<std::string> readDirectory;
    std::optional<std::string> copyDirectory;
    std::optional<bool> autoRead;
    std::array<std::optional<bool>, kOldFileTypeCount> fileTypes {};
    std::optional<QString> error; // "'x' ist kein gültiger Integerwert"
};

// Reads the ten lines (CR LF or LF); missing lines read as empty text, extra lines are ignored.
// A file that cannot be read reads as empty lines.
LoadedSettings loadSettingsFile(const std::string& path);
LoadedSettings parseSettings(const QByteArray& content);

// The ten lines, each ending in CR LF; the colour as a signed decimal number.
QByteArray formatSettings(const Settings& settings);

// Writes the file atomically: a failed write leaves the old file as it was. False on failure.
bool saveSettingsFile(const std::string& path, const Settings& settings);

// Removes what a write of the settings file left behind when the program was killed at the
// moment of saving: "bwsave.kwb." and six letters or digits, older than a minute (a younger one
// may belong to another instance saving right now).
void removeStaleSettingsTemporaries(const std::string& directory);

// The settings that bwsave.kwb has no line for. They live in a file of their own beside it, so
// that bwsave.kwb keeps its ten lines and an older program still reads it.
inline const char* const kExtraSettingsFileName = "bildwiesel.conf";
constexpr std::array<bool, kLaterFileTypeCount> allLaterTypesChecked()
{
    std::array<bool, kLaterFileTypeCount> marks {};
    marks.fill(true);
    return marks;
}
struct ExtraSettings {
    // What "Ausgewählte Kopieren" and "Alle Kopieren" write: the 16-colour icon files of old, the
    // icon as stored, or a PNG of its largest image.
    ExportFormat copyFormat = ExportFormat::Icon;
    // The marks of the types after the six of old, in list order: "filetype.ani=1" or "=0". A
    // type the file does not name is checked, as on a first start.
    std::array<bool, kLaterFileTypeCount> laterFileTypes = allLaterTypesChecked();
};

// "key=value" lines (LF or CR LF). Unknown keys, unknown values and lines without "=" are
// skipped, so the file of an older or newer program never stops the start; a value missing
// keeps its default.
ExtraSettings parseExtraSettings(const QByteArray& content);
QByteArray formatExtraSettings(const ExtraSettings& settings);
// A missing or unreadable file reads as the defaults.
ExtraSettings loadExtraSettingsFile(const std::string& path);
// Atomically, as saveSettingsFile. False on failure.
bool saveExtraSettingsFile(const std::string& path, const ExtraSettings& settings);

// The whole-line integer rule of the settings file: optional blanks and sign, decimal digits,
// within 32 bits.
std::optional<std::int32_t> parseSettingsInteger(const QByteArray& line);

} // namespace bw
