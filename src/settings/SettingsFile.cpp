#include "SettingsFile.h"

#include "support/Funky.h"
#include "support/ReadFile.h"
#include "support/SafeFile.h"

#include <QFile>
#include <QList>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <ctime>
#include <string_view>

namespace bw {

std::optional<std::int32_t> parseSettingsInteger(const QByteArray& line)
{
    QByteArray text = line;
    while (!text.isEmpty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove(0, 1);
    const char* begin = text.constData();
    const char* end = begin + text.size();
    if (begin != end && *begin == '+')
        ++begin;
    std::int32_t value = 0;
    const auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop != end || begin == end)
        return std::nullopt;
    return value;
}

LoadedSettings parseSettings(const QByteArray& content)
{
    QList<QByteArray> lines = content.split('\n');
    for (QByteArray& line : lines)
        if (line.endsWith('\r'))
            line.chop(1);
    const auto lineAt = [&](int i) { return i < lines.size() ? lines.at(i) : QByteArray(); };

    LoadedSettings loaded;
    const auto number = [&](int i) -> std::optional<std::int32_t> {
        const std::optional<std::int32_t> v = parseSettingsInteger(lineAt(i));
        if (!v)
            loaded.error = QLatin1Char('\'') + QFile::decodeName(lineAt(i)) + QStringLiteral("' ist kein gültiger Integerwert");
        return v;
    };

    const std::optional<std::int32_t> colour = number(0);
    if (!colour)
        return loaded;
    loaded.backgroundColour = static_cast<std::uint32_t>(*colour);
    loaded.readDirectory = lineAt(1).toStdString();
    loaded.copyDirectory = lineAt(2).toStdString();
    const std::optional<std::int32_t> autoRead = number(3);
    if (!autoRead)
        return loaded;
    loaded.autoRead = *autoRead == 1;
    for (std::size_t t = 0; t < kOldFileTypeCount; ++t) {
        const std::optional<std::int32_t> mark = number(4 + static_cast<int>(t));
        if (!mark)
            return loaded;
        loaded.fileTypes[t] = *mark == 1;
    }
    return loaded;
}

LoadedSettings loadSettingsFile(const std::string& path)
{
    // Opened by its bytes (the configuration folder need not be UTF-8); an unreadable file reads
    // as empty lines.
    return parseSettings(readWholeFile(path).value_or(QByteArray()));
}

QByteArray formatSettings(const Settings& settings)
{
    QByteArray out;
    const auto line = [&out](const QByteArray& text) { out += text + "\r\n"; };
    // A directory whose name holds a line break would shift every later line, and the next start
    // would lose them all. It is written as an empty line instead: the next start then falls back
    // to the home directory, and every other line stays in its place.
    const auto directoryLine = [&line](const std::string& directory) {
        line(directory.find_first_of("\r\n") == std::string::npos ? QByteArray::fromStdString(directory) : QByteArray());
    };
    line(QByteArray::number(static_cast<std::int32_t>(settings.backgroundColour)));
    directoryLine(settings.readDirectory);
    directoryLine(settings.copyDirectory);
    line(settings.autoRead ? "1" : "0");
    for (bool checked : settings.fileTypes)
        line(checked ? "1" : "0");
    return out;
}

void removeStaleSettingsTemporaries(const std::string& directory)
{
    // The temporary of a save is hidden (".bwsave.kwb.XXXXXX", ".bildwiesel.conf.XXXXXX"); older
    // versions left it visible.
    DIR* listing = ::opendir(directory.c_str());
    if (!listing)
        return;
    const std::time_t now = std::time(nullptr);
    while (const dirent* entry = ::readdir(listing)) {
        std::string_view name = entry->d_name;
        if (name.starts_with('.'))
            name.remove_prefix(1);
        std::string_view suffix;
        for (const std::string_view file : {std::string_view(kSettingsFileName), std::string_view(kExtraSettingsFileName)})
            if (name.size() == file.size() + 7 && name.starts_with(file) && name[file.size()] == '.')
                suffix = name.substr(file.size() + 1);
        if (suffix.empty())
            continue;
        if (!std::all_of(suffix.begin(), suffix.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; }))
            continue;
        struct stat st {};
        if (::fstatat(::dirfd(listing), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) && now - st.st_mtime > 60)
            ::unlinkat(::dirfd(listing), entry->d_name, 0);
    }
    ::closedir(listing);
}

namespace {

// The copy formats' values in the file. A bitmap is no choice of the copy loops and has none.
struct CopyFormatName {
    ExportFormat format;
    const char* name;
};
constexpr CopyFormatName kCopyFormatNames[]
    = {{ExportFormat::Icon, "classic"}, {ExportFormat::Original, "original"}, {ExportFormat::Png, "png"}};
constexpr const char* kCopyFormatKey = "copyformat";
constexpr const char* kFileTypeKeyPrefix = "filetype.";

// "filetype.ani": the key of a type's mark.
QByteArray fileTypeKey(std::size_t type)
{
    return QByteArray(kFileTypeKeyPrefix) + QByteArray(kFileTypes[type].data(), static_cast<qsizetype>(kFileTypes[type].size()));
}

// The index in ExtraSettings::laterFileTypes of a key "filetype.ani"; none for any other key.
std::optional<std::size_t> laterFileTypeOfKey(const QByteArray& key)
{
    for (std::size_t t = kOldFileTypeCount; t < kFileTypeCount; ++t)
        if (key == fileTypeKey(t))
            return t - kOldFileTypeCount;
    return std::nullopt;
}

} // namespace

ExtraSettings parseExtraSettings(const QByteArray& content)
{
    ExtraSettings settings;
    for (const QByteArray& rawLine : content.split('\n')) {
        const qsizetype equals = rawLine.indexOf('=');
        if (equals < 0)
            continue;
        const QByteArray key = rawLine.left(equals).trimmed();
        const QByteArray value = rawLine.mid(equals + 1).trimmed();
        if (const std::optional<std::size_t> type = laterFileTypeOfKey(key)) {
            if (value == "0" || value == "1")
                settings.laterFileTypes[*type] = value == "1";
            continue;
        }
        if (key != kCopyFormatKey)
            continue;
        for (const CopyFormatName& known : kCopyFormatNames)
            if (value == known.name)
                settings.copyFormat = known.format;
    }
    return settings;
}

QByteArray formatExtraSettings(const ExtraSettings& settings)
{
    QByteArray out;
    for (const CopyFormatName& known : kCopyFormatNames)
        if (known.format == settings.copyFormat)
            out += QByteArray(kCopyFormatKey) + '=' + known.name + '\n';
    for (std::size_t t = 0; t < kLaterFileTypeCount; ++t)
        out += fileTypeKey(kOldFileTypeCount + t) + '=' + (settings.laterFileTypes[t] ? '1' : '0') + '\n';
    return out;
}

ExtraSettings loadExtraSettingsFile(const std::string& path) { return parseExtraSettings(readWholeFile(path).value_or(QByteArray())); }

bool saveExtraSettingsFile(const std::string& path, const ExtraSettings& settings)
{
    return replaceFile(std::filesystem::path(path), formatExtraSettings(settings));
}

bool saveSettingsFile(const std::string& path, const Settings& settings)
{
    return replaceFile(std::filesystem::path(path), formatSettings(settings));
}

} // namespace bw
