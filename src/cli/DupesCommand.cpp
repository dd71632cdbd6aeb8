// bildwiesel-cli dupes: the duplicate finder over the icon and cursor files of a tree.

#include "CliSupport.h"
#include "CommandLine.h"
#include "Commands.h"

#include "compare/CollectionPictures.h"
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
            backgroundOption(),
            QCommandLineOption(QStringLiteral("times"),
                               QStringLiteral("die Zeiten der Bilder und des Vergleichs auf der Fehlerausgabe (zum Messen)")),
            QCommandLineOption(QStringLiteral("collection"),
                               QStringLiteral("die Icons einer gespeicherten Sammlung vergleichen, mit ihren Bildern"),
                               QStringLiteral("DATEI"))};
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
    const std::optional<QRgb> background = selectedBackground(call);
    if (!background)
        return kExitUsage;
    const bool fromCollection = call.isSet(QStringLiteral("collection"));
    if (fromCollection == (call.argumentCount() == 1))
        return call.usageError(QStringLiteral("entweder ein VERZEICHNIS oder --collection DATEI"));

    bw::Catalogue catalogue;
    std::unique_ptr<bw::Collection> collection;
    std::unique_ptr<bw::CollectionPictures> stored;
    bw::CompareOptions options;
    options.background = *background;
    if (fromCollection) {
        collection = openCollection(call.value(QStringLiteral("collection")), catalogue);
        if (!collection)
            return kExitFailure;
        if (const QString refusal = bw::compareRefusal(catalogue); !refusal.isEmpty()) {
            std::fprintf(stderr, "bildwiesel-cli: %s\n", refusal.toLocal8Bit().constData());
            return kExitFailure;
        }
        // The pictures were drawn over the collection's colour; over another one they are drawn anew.
        if (!call.isSet(QStringLiteral("background")) || (*background & 0xFFFFFFu) == collection->info().background) {
            options.background = 0xFF000000u | collection->info().background;
            stored = std::make_unique<bw::CollectionPictures>(*collection);
            options.stored = stored.get();
        } else {
            std::fprintf(stderr, "Andere Hintergrundfarbe als in der Sammlung: die Bilder werden aus den Dateien gelesen.\n");
        }
    } else {
        if (!isInputDirectory(call.argument(0)))
            return kExitFailure;
        TypeSelection types;
        types.fill(false);
        types[0] = types[1] = true; // ico, cur
        readTree(catalogue, call.argument(0), types);
    }

    Records records(call);
    CliCompareHost host(threshold, records);
    const bw::CompareResult result = bw::findDuplicates(catalogue, host, options);
    std::fflush(stdout);
    if (!result.started || result.outOfMemory || result.unreadable)
        return kExitFailure;
    std::fprintf(stderr, "%d doppelte Icons gefunden.\n", result.duplicatesFound);
    if (call.isSet(QStringLiteral("times")))
        std::fprintf(stderr, "Bilder %.3f s, Vergleich %.3f s\n", result.captureSeconds, result.compareSeconds);
    return kExitOk;
}

} // namespace

// Commands read as tables of their texts.
// clang-format off
const Command dupesCommand {
    "dupes", "VERZEICHNIS|--collection DATEI [--threshold N] [--background #RRGGBB|ZAHL] [-z]", "doppelte Icons der .ico- und .cur-Dateien finden, wie \"Vergleichen\"",
    "Mit --collection DATEI die Icons einer Sammlung (siehe collect) mit ihren gespeicherten Bildern, ohne die Dateien zu lesen;\n"
    "mit einer anderen --background-Farbe als der der Sammlung werden die Bilder aus den Dateien gelesen.\n"
    "Auf der Ausgabe die Zeilen des Vergleichs in ihrer Reihenfolge: \"  DEFEKT: Pfad\" und \"DOPPELT: Nr -> Pfad\".\n"
    BW_NAMES_HELP
    "Auf der Fehlerausgabe \"n doppelte Icons gefunden.\".",
    0, 1, dupesOptions, runDupes};
// clang-format on

} // namespace cli
