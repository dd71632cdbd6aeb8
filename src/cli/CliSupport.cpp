#include "CliSupport.h"

#include "CommandLine.h"

#include "catalogue/Indexer.h"
#include "catalogue/TreeScanner.h"
#include "icons/IconExtractor.h"
#include "settings/SettingsFile.h"
#include "support/Colours.h"
#include "support/Funky.h"
#include "support/Names.h"
#include "support/SafeFile.h"
#include "support/UserDirectories.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <filesystem>

namespace cli {
namespace {

// How much of the records a command writes at the end is gathered before it goes out.
constexpr std::size_t kRecordBlock = 1 << 16;

// The one message for a directory where a file is wanted, whether it is read or written.
constexpr const char* kIsDirectory = "ist ein Verzeichnis, keine Datei";

// The reading command without windows: the same scan and indexer as "Einlesen".
class CliReader final : public bw::IndexerHost, public bw::ScanProgress {
public:
    bool stop = false;

    void blankPage() override {}
    void setCountPanel(const QString&) override {}
    void pumpMessages() override {}
    void computePageGeometry() override {}
    void reportCatalogueFull() override
    {
        if (!stop)
            std::fprintf(stderr, "bildwiesel-cli: %s\n", bw::catalogueFullText(bw::Catalogue::kDefaultCapacity).toLocal8Bit().constData());
        stop = true; // nothing more fits: the read ends here
    }
    std::int64_t tickCount() override { return bw::tickCount(); }
    int iconCountOf(std::string_view path) override { return bw::iconCount(std::filesystem::path(std::string(path))); }

    void setCaption(const std::string&) override {}
    void setSearchLabel(const QString&) override {}
    void setEntryCount(std::int32_t) override {}
    void addLine(const QString&) override {}
    void addFileLine(const std::string&) override {}
    bool cancelled() override { return stop; }
    void reportPathTooLong(const std::string& path) override { complain("Pfad zu lang, wurde nicht gelesen", path); }
    void reportUnreadable(const std::string& path) override { complain("Verzeichnis kann nicht gelesen werden", path); }
};

bool unreadableDirectoryMet = false;

} // namespace

std::optional<TypeSelection> parseTypes(std::string_view list)
{
    TypeSelection checked;
    checked.fill(false);
    if (list.empty())
        return std::nullopt;
    while (!list.empty()) {
        const std::size_t comma = list.find(',');
        const std::string_view one = list.substr(0, comma);
        const auto it = std::find(bw::kFileTypes.begin(), bw::kFileTypes.end(), one);
        if (it == bw::kFileTypes.end())
            return std::nullopt;
        checked[static_cast<std::size_t>(it - bw::kFileTypes.begin())] = true;
        list = comma == std::string_view::npos ? std::string_view() : list.substr(comma + 1);
    }
    return checked;
}

namespace {

// "ico, cur, exe, ...": every type, in the order a read walks them.
QString typeNames(const QString& separator)
{
    QStringList names;
    for (const std::string_view type : bw::kFileTypes)
        names << QString::fromLatin1(type.data(), static_cast<qsizetype>(type.size()));
    return names.join(separator);
}

} // namespace

QCommandLineOption typesOption()
{
    return QCommandLineOption(QStringLiteral("types"),
                              QStringLiteral("nur diese Dateitypen, durch Kommas getrennt (Voreinstellung: alle):\n")
                                  + typeNames(QStringLiteral(", ")) + QStringLiteral(";\ngelesen wird immer in dieser Reihenfolge"),
                              QStringLiteral("TYPEN"));
}

std::optional<TypeSelection> selectedTypes(const Invocation& call)
{
    TypeSelection all;
    all.fill(true);
    if (!call.isSet(QStringLiteral("types")))
        return all;
    const std::optional<TypeSelection> parsed = parseTypes(call.value(QStringLiteral("types")));
    if (!parsed)
        call.usageError(QStringLiteral("unbekannter Dateityp in --types; erlaubt sind ") + typeNames(QStringLiteral(", ")));
    return parsed;
}

std::optional<int> parseIndex(std::string_view text)
{
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < 0)
        return std::nullopt;
    return value;
}

void writeBytes(std::FILE* stream, std::string_view bytes) { std::fwrite(bytes.data(), 1, bytes.size(), stream); }

std::string quotedName(std::string_view name) { return bw::quotedName(name, bw::NonUtf8::Keep); }

void complain(const char* what, std::string_view path)
{
    std::fprintf(stderr, "bildwiesel-cli: %s: ", what);
    writeBytes(stderr, quotedName(path));
    std::fputc('\n', stderr);
}

void complainAbout(const QString& before, std::string_view path, const QString& after)
{
    std::fputs("bildwiesel-cli: ", stderr);
    writeBytes(stderr, before.toLocal8Bit().toStdString());
    writeBytes(stderr, quotedName(path));
    writeBytes(stderr, after.toLocal8Bit().toStdString());
    std::fputc('\n', stderr);
}

namespace {

// stat, with the path as its bytes; false when there is nothing under that name.
bool statPath(std::string_view path, struct stat& info) { return ::stat(std::string(path).c_str(), &info) == 0; }

// Says why there is nothing to stat: a name that is not there, or one the user may not look at.
void complainNotFound(const char* what, std::string_view path) { complain(errno == EACCES ? "Zugriff verweigert" : what, path); }

} // namespace

bool isInputDirectory(std::string_view path)
{
    struct stat info {};
    if (!statPath(path, info)) {
        complainNotFound("Verzeichnis nicht gefunden", path);
        return false;
    }
    if (!S_ISDIR(info.st_mode)) {
        complain("ist kein Verzeichnis", path);
        return false;
    }
    if (::access(std::string(path).c_str(), R_OK | X_OK) != 0) {
        complain("Zugriff verweigert", path);
        return false;
    }
    return true;
}

bool isInputFile(std::string_view path)
{
    struct stat info {};
    if (!statPath(path, info)) {
        complainNotFound("Datei nicht gefunden", path);
        return false;
    }
    if (S_ISDIR(info.st_mode)) {
        complain(kIsDirectory, path);
        return false;
    }
    // Without this, a file that may not be read would look like a file without icons.
    if (::access(std::string(path).c_str(), R_OK) != 0) {
        complain("Zugriff verweigert", path);
        return false;
    }
    return true;
}

bool isOutputFile(std::string_view path)
{
    struct stat info {};
    if (statPath(path, info) && S_ISDIR(info.st_mode)) {
        complain(kIsDirectory, path);
        return false;
    }
    return true;
}

QCommandLineOption nulOption()
{
    return QCommandLineOption(QStringLiteral("z"),
                              QStringLiteral("jeden Eintrag mit einem Nullbyte beenden und Namen unverändert schreiben"));
}

Records::Records(const Invocation& call, Flush flush) : Records(call.isSet(QStringLiteral("z")), flush) {}

Records::Records(bool nul, Flush flush) : m_nul(nul), m_flush(flush) {}

Records::~Records()
{
    writeOut(); // a record begun and never ended is not written
    std::fflush(stdout);
}

Records& Records::text(std::string_view text)
{
    m_buffer.append(text);
    return *this;
}

Records& Records::number(long long value)
{
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    m_buffer.append(digits, static_cast<std::size_t>(end - digits));
    return *this;
}

Records& Records::name(std::string_view bytes)
{
    // Most names need no quotes: they go in as they are, without a copy.
    if (m_nul || bw::isPlainName(bytes, bw::NonUtf8::Keep))
        m_buffer.append(bytes);
    else
        m_buffer.append(quotedName(bytes));
    return *this;
}

void Records::end()
{
    m_buffer.push_back(m_nul ? '\0' : '\n');
    m_ends.push_back(m_buffer.size());
    if (m_flush == Flush::EachRecord || m_buffer.size() >= kRecordBlock)
        writeOut();
}

void Records::writeOut()
{
    std::fflush(stdout); // what else went to stdout comes first
    std::size_t start = 0;
    for (std::size_t i = 0; i < m_ends.size() && !m_broken;) {
        // As many whole records as one write to a pipe takes in one piece, and at least one.
        std::size_t end = m_ends[i++];
        while (i < m_ends.size() && m_ends[i] - start <= PIPE_BUF)
            end = m_ends[i++];
        for (std::size_t done = start; done < end && !m_broken;) {
            const ssize_t n = ::write(STDOUT_FILENO, m_buffer.data() + done, end - done);
            if (n > 0)
                done += static_cast<std::size_t>(n);
            else if (!(n < 0 && errno == EINTR))
                m_broken = true;
        }
        start = end;
    }
    m_buffer.erase(0, m_ends.empty() ? 0 : m_ends.back());
    m_ends.clear();
}

std::int64_t readTree(bw::Catalogue& catalogue, const std::string& directory, const TypeSelection& types, bool* endedEarly, bool workers,
                      const bw::IconCounter& counter)
{
    return readTrees(catalogue, {bw::withTrailingSlash(directory)}, types, endedEarly, workers, counter);
}

std::int64_t readTrees(bw::Catalogue& catalogue, const std::vector<std::string>& roots, const TypeSelection& types, bool* endedEarly,
                       bool workers, const bw::IconCounter& counter, std::vector<bw::CollectionDirectory>* walked)
{
    CliReader reader;
    bw::TreeScanner scanner(catalogue, reader, reader);
    if (counter)
        scanner.setIconCounter(counter);
    std::vector<std::string> patterns;
    for (const std::string& root : roots)
        for (std::size_t t = 0; t < bw::kFileTypeCount; ++t)
            if (types[t])
                patterns.push_back(root + bw::fileTypePattern(t));
    if (!workers)
        scanner.setWorkers(0);
    scanner.scanTrees(patterns, roots);
    if (walked)
        *walked = scanner.walkedDirectories();
    if (endedEarly)
        *endedEarly = reader.stop;
    if (catalogue.unreadableDirectories() > 0)
        unreadableDirectoryMet = true;
    return scanner.filesIndexed();
}

bool directoriesLeftOut() { return unreadableDirectoryMet; }

// Without a desktop there is no palette to ask: the button face is Qt's default one.
constexpr QRgb kDefaultButtonFace = 0xFFEFEFEFu;

static QRgb toRgb(std::uint32_t colour)
{
    if (colour == bw::kColourButtonFace)
        return kDefaultButtonFace;
    return qRgb(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF), static_cast<int>((colour >> 16) & 0xFF));
}

// "#RRGGBB", or the settings file's signed decimal with red in the low byte.
std::optional<QRgb> parseColour(std::string_view text)
{
    if (text.size() == 7 && text[0] == '#') {
        unsigned value = 0;
        const auto [end, error] = std::from_chars(text.data() + 1, text.data() + 7, value, 16);
        if (error != std::errc() || end != text.data() + 7)
            return std::nullopt;
        return 0xFF000000u | value;
    }
    const std::optional<std::int32_t> number = bw::parseSettingsInteger(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    if (!number)
        return std::nullopt;
    return toRgb(static_cast<std::uint32_t>(*number));
}

// The colour the program would draw behind the icons: the settings file's, else the default.
QRgb settingsColour()
{
    const std::string path = bw::configDirectory() + bw::kSettingsFileName;
    if (bw::regularFileExists(path))
        if (const std::optional<std::uint32_t> colour = bw::loadSettingsFile(path).backgroundColour)
            return toRgb(*colour);
    return toRgb(bw::kColourButtonFace);
}

QCommandLineOption backgroundOption()
{
    return QCommandLineOption(QStringLiteral("background"),
                              QStringLiteral("Hintergrundfarbe hinter den Icons, #RRGGBB oder Zahl wie in der Einstellungsdatei"),
                              QStringLiteral("FARBE"));
}

std::optional<QRgb> selectedBackground(const Invocation& call)
{
    if (!call.isSet(QStringLiteral("background")))
        return settingsColour();
    const std::optional<QRgb> colour = parseColour(call.value(QStringLiteral("background")));
    if (!colour)
        call.usageError(QStringLiteral("--background nimmt #RRGGBB oder eine Zahl"));
    return colour;
}

std::unique_ptr<bw::Collection> openCollection(const std::string& path, bw::Catalogue& catalogue)
{
    QString error;
    std::unique_ptr<bw::Collection> collection = bw::Collection::open(path, catalogue, error);
    if (!collection)
        std::fprintf(stderr, "bildwiesel-cli: %s\n", error.toLocal8Bit().constData());
    return collection;
}

} // namespace cli
