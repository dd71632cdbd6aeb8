// bildwiesel-cli dupes: the duplicate finder over the icon and cursor files of a tree.

#include "CliSupport.h"
#include "CommandLine.h"
#include "Commands.h"

#include "compare/DuplicateFinder.h"
#include "settings/SettingsFile.h"
#include "support/Colours.h"
#include "support/Funky.h"
#include "support/SafeFile.h"
#include "support/UserDirectories.h"

#include <QFile>

#include <charconv>
#include <cstdio>
#include <optional>
#include <string_view>

namespace cli {
namespace {

// Without a desktop there is no palette to ask: the button face is Qt's default one.
constexpr QRgb kDefaultButtonFace = 0xFFEFEFEFu;

QRgb toRgb(std::uint32_t colour)
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

// Lines on stdout as they come, file names as bytes; no sounds, nothing to pump.
class CliCompareHost final : public bw::CompareHost {
public:
    CliCompareHost(int threshold, Records& records) : m_threshold(threshold), m_records(records) {}
    int threshold() override { return m_threshold; }
    bool cancelled() override { return false; }
    std::int64_t tickCount() override { return bw::tickCount(); }
    void listDefective(std::int32_t, std::string_view path) override { line("  DEFEKT: ", path); }
    void listDuplicate(std::int32_t entry, std::string_view path) override
    {
        m_records.text("DOPPELT: ").number(entry).text(" -> ").name(path).end();
    }
    void reportNoMemory(const QString& text) override { std::fprintf(stderr, "bildwiesel-cli: %s\n", text.toLocal8Bit().constData()); }

private:
    void line(const char* prefix, std::string_view path) { m_records.text(prefix).name(path).end(); }
    int m_threshold;
    Records& m_records;
};

QList<QCommandLineOption> dupesOptions()
{
    return {nulOption(),
            QCommandLineOption(
                QStringLiteral("threshold"),
                QStringLiteral("Pixeldifferenz: Bilder, die sich in weniger Punkten unterscheiden, sind doppelt (Voreinstellung: 5)"),
                QStringLiteral("N")),
            QCommandLineOption(QStringLiteral("background"),
                               QStringLiteral("Hintergrundfarbe hinter den Icons, #RRGGBB oder Zahl wie in der Einstellungsdatei"),
                               QStringLiteral("FARBE"))};
}

int runDupes(const Invocation& call)
{
    int threshold = 5;
    if (call.isSet(QStringLiteral("threshold"))) {
        const std::optional<int> value = parseIndex(call.value(QStringLiteral("threshold")));
        if (!value || *value > bw::kMaxThreshold)
            return call.usageError(QStringLiteral("--threshold nimmt eine Zahl von 0 bis %1").arg(bw::kMaxThreshold));
        threshold = *value;
    }
    std::optional<QRgb> background;
    if (call.isSet(QStringLiteral("background"))) {
        background = parseColour(call.value(QStringLiteral("background")));
        if (!background)
            return call.usageError(QStringLiteral("--background nimmt #RRGGBB oder eine Zahl"));
    }
    if (!isInputDirectory(call.argument(0)))
        return kExitFailure;
    TypeSelection types;
    types.fill(false);
    types[0] = types[1] = true; // ico, cur
    bw::Catalogue catalogue;
    readTree(catalogue, call.argument(0), types);

    Records records(call);
    CliCompareHost host(threshold, records);
    bw::CompareOptions options;
    options.background = background ? *background : settingsColour();
    const bw::CompareResult result = bw::findDuplicates(catalogue, host, options);
    std::fflush(stdout);
    if (!result.started || result.outOfMemory)
        return kExitFailure;
    std::fprintf(stderr, "%d doppelte Icons gefunden.\n", result.duplicatesFound);
    return kExitOk;
}

} // namespace

// Commands read as tables of their texts.
// clang-format off
const Command dupesCommand {
    "dupes", "VERZEICHNIS [--threshold N] [--background #RRGGBB|ZAHL] [-z]", "doppelte Icons der .ico- und .cur-Dateien finden, wie \"Vergleichen\"",
    "Auf der Ausgabe die Zeilen des Vergleichs in ihrer Reihenfolge: \"  DEFEKT: Pfad\" und \"DOPPELT: Nr -> Pfad\".\n"
    BW_NAMES_HELP
    "Auf der Fehlerausgabe \"n doppelte Icons gefunden.\".",
    1, 1, dupesOptions, runDupes};
// clang-format on

} // namespace cli
