// libFuzzer harness: the settings file. Reading never fails hard, and what was read is written
// back so that reading it again gives the same values.

#include "settings/SettingsFile.h"

#include <QByteArray>

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const bw::LoadedSettings loaded = bw::parseSettings(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)));
    if (loaded.error || !loaded.readDirectory || !loaded.copyDirectory || !loaded.autoRead)
        return 0;
    bw::Settings s;
    s.backgroundColour = *loaded.backgroundColour;
    s.readDirectory = *loaded.readDirectory;
    s.copyDirectory = *loaded.copyDirectory;
    s.autoRead = *loaded.autoRead;
    for (std::size_t t = 0; t < s.fileTypes.size(); ++t)
        s.fileTypes[t] = loaded.fileTypes[t].value_or(false);
    const bw::LoadedSettings again = bw::parseSettings(bw::formatSettings(s));
    const auto kept = [](const std::string& dir) { return dir.find_first_of("\r\n") == std::string::npos ? dir : std::string(); };
    if (again.error || again.backgroundColour != s.backgroundColour || again.readDirectory != kept(s.readDirectory)
        || again.copyDirectory != kept(s.copyDirectory) || again.autoRead != s.autoRead)
        __builtin_trap();
    for (std::size_t t = 0; t < s.fileTypes.size(); ++t)
        if (again.fileTypes[t] != s.fileTypes[t])
            __builtin_trap();
    return 0;
}
