// bildwiesel-cli collect: a read of a tree kept as a collection file, with every icon's picture.

#include "CliSupport.h"
#include "CommandLine.h"
#include "Commands.h"

#include "compare/CollectionPictures.h"
#include "compare/CollectionRefresh.h"
#include "support/Funky.h"

#include <chrono>
#include <cstdio>

namespace cli {
namespace {

QList<QCommandLineOption> collectOptions()
{
    return {typesOption(), backgroundOption(),
            QCommandLineOption(QStringLiteral("replace"), QStringLiteral("eine vorhandene Sammlung dieses Namens ersetzen")),
            QCommandLineOption(QStringLiteral("refresh"),
                               QStringLiteral("die Sammlung DATEI auffrischen: nur Verzeichnisse neu lesen, die sich geändert haben"))};
}

// The collection read again where its directories changed, and written in its place.
int runRefresh(const Invocation& call)
{
    bw::Catalogue opened;
    const std::unique_ptr<bw::Collection> collection = openCollection(call.argument(0), opened);
    if (!collection)
        return kExitFailure;
    const std::optional<TypeSelection> types = parseTypes(collection->info().types.toStdString());
    const std::optional<QRgb> background = call.isSet(QStringLiteral("background"))
        ? selectedBackground(call)
        : std::optional<QRgb>(0xFF000000u | collection->info().background);
    if (!types || !background)
        return kExitFailure;
    if (collection->info().roots.empty()) {
        std::fprintf(stderr, "bildwiesel-cli: Die Sammlung nennt kein gelesenes Verzeichnis.\n");
        return kExitFailure;
    }
    for (const std::string& root : collection->info().roots)
        if (!isInputDirectory(root))
            return kExitFailure;
    const auto start = std::chrono::steady_clock::now();
    const bw::CollectionRefresh refresh(*collection, opened);
    bw::Catalogue fresh;
    std::vector<bw::CollectionDirectory> walked;
    readTrees(fresh, collection->info().roots, *types, nullptr, true, refresh.counter(), &walked);
    if (const QString error = refresh.save(fresh, walked, *background); !error.isEmpty()) {
        std::fprintf(stderr, "bildwiesel-cli: %s\n", error.toLocal8Bit().constData());
        return kExitFailure;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr, "%zu Verzeichnisse unverändert, %zu geändert, %d Einträge, %.3f Sekunden\n", refresh.unchangedDirectories(),
                 refresh.changedDirectories(), fresh.entryCount(), seconds);
    return directoriesLeftOut() ? kExitFailure : kExitOk;
}

int runCollect(const Invocation& call)
{
    if (call.isSet(QStringLiteral("refresh"))) {
        if (call.argumentCount() != 1)
            return call.usageError(QStringLiteral("--refresh nimmt nur die DATEI der Sammlung"));
        return runRefresh(call);
    }
    if (call.argumentCount() != 2)
        return call.usageError(QStringLiteral("VERZEICHNIS und DATEI fehlen"));
    const std::optional<TypeSelection> types = selectedTypes(call);
    if (!types)
        return kExitUsage;
    const std::optional<QRgb> background = selectedBackground(call);
    if (!background)
        return kExitUsage;
    if (!isInputDirectory(call.argument(0)) || !isOutputFile(call.argument(1)))
        return kExitFailure;

    const auto start = std::chrono::steady_clock::now();
    bw::Catalogue catalogue;
    bw::ReadRecord read;
    read.roots = {bw::withTrailingSlash(call.argument(0))};
    const std::int64_t files = readTrees(catalogue, read.roots, *types, nullptr, true, {}, &read.directories);
    QStringList names;
    for (std::size_t t = 0; t < bw::kFileTypeCount; ++t)
        if ((*types)[t])
            names << QString::fromLatin1(bw::kFileTypes[t].data(), static_cast<qsizetype>(bw::kFileTypes[t].size()));
    read.types = names.join(QLatin1Char(','));
    const QString error = bw::saveReadAsCollection(call.argument(1), catalogue, read, *background,
                                                   call.isSet(QStringLiteral("replace")) ? bw::SaveMode::Replace : bw::SaveMode::NewOnly);
    if (!error.isEmpty()) {
        std::fprintf(stderr, "bildwiesel-cli: %s\n", error.toLocal8Bit().constData());
        return kExitFailure;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr, "%lld Dateien, %d Einträge, %.3f Sekunden\n", static_cast<long long>(files), catalogue.entryCount(), seconds);
    return directoriesLeftOut() ? kExitFailure : kExitOk;
}

} // namespace

// Commands read as tables of their texts.
// clang-format off
const Command collectCommand {
    "collect", "VERZEICHNIS DATEI.bwsammlung [--types TYPEN] [--background #RRGGBB|ZAHL] [--replace] | --refresh DATEI.bwsammlung",
    "das Verzeichnis einlesen und als Sammlung mit den Bildern aller Icons speichern",
    "Die Sammlung lässt sich ohne die Dateien öffnen (scan --collection, dupes --collection, \"Sammlung öffnen …\").\n"
    "Sie wird vollständig geschrieben und erst dann benannt; eine vorhandene Datei wird nur mit --replace ersetzt.\n"
    "Die Bilder werden über die Hintergrundfarbe gezeichnet (Voreinstellung: die der Einstellungen).\n"
    "Mit --refresh wird eine Sammlung aufgefrischt: nur die Verzeichnisse, deren Änderungszeit sich seit dem Speichern\n"
    "geändert hat, werden neu gelesen; der Katalog ist der eines neuen Einlesens, und die Datei wird ersetzt.\n"
    "Auf der Fehlerausgabe: Dateien, Einträge und Sekunden.",
    1, 2, collectOptions, runCollect};
// clang-format on

} // namespace cli
