// The first commands of bildwiesel-cli: icon counts, single icons, and the catalogue of a read.

#include "CliSupport.h"
#include "Commands.h"

#include "catalogue/Catalogue.h"
#include "fileops/BitmapExport.h"
#include "fileops/IconFileWriter.h"
#include "icons/IconExtractor.h"
#include "support/SafeFile.h"

#include <QBuffer>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string_view>

namespace cli {
namespace {

int reportWrite(bw::WriteResult result, const char* target)
{
    switch (result) {
    case bw::WriteResult::Ok: return kExitOk;
    case bw::WriteResult::AlreadyExists: complain("Datei existiert bereits", target); break;
    case bw::WriteResult::CannotCreate: complain("Datei kann nicht erstellt werden", target); break;
    case bw::WriteResult::WriteFailed: complain("Datei kann nicht geschrieben werden", target); break;
    }
    return kExitFailure;
}

int runCount(const Invocation& call)
{
    int exitCode = kExitOk;
    Records records(false, Records::Flush::AtEnd);
    for (qsizetype i = 0; i < call.argumentCount(); ++i) {
        // A name that is not there is an error, not a file without icons.
        if (!isInputFile(call.argument(i))) {
            exitCode = kExitFailure;
            continue;
        }
        records.number(bw::iconCount(std::filesystem::path(call.argument(i)))).tab().name(call.argument(i)).end();
    }
    return exitCode;
}

enum class Output { Png, Icon, Bitmap };

// The icon as stored: an icon group of a program or library as one icon file with all its
// images, an icon or cursor file as it is.
int writeStoredIcon(const char* source, int index, const char* targetName)
{
    const std::optional<bw::StoredIcon> stored = bw::storedIcon(std::filesystem::path(source), index, true);
    if (!stored || stored->kind == bw::IconSourceKind::Bitmap) {
        complainAbout(QStringLiteral("kein Icon mit Index %1 in: ").arg(index), source, QString());
        return kExitFailure;
    }
    return reportWrite(bw::writeNewFile(std::filesystem::path(targetName), stored->bytes), targetName);
}

int writeIcon(const Invocation& call, Output output)
{
    const std::optional<int> index = parseIndex(call.argument(1));
    if (!index)
        return call.usageError(QStringLiteral("INDEX ist keine Zahl ab 0: ") + QString::fromLatin1(call.argumentText(1)));
    const char* source = call.argumentText(0);
    const char* targetName = call.argumentText(2);
    if (!isInputFile(source) || !isOutputFile(targetName))
        return kExitFailure;
    if (output == Output::Png && call.isSet(QStringLiteral("all")))
        return writeStoredIcon(source, *index, targetName);
    const QImage icon = bw::extractIcon(std::filesystem::path(source), *index);
    if (icon.isNull()) {
        complainAbout(QStringLiteral("kein Icon mit Index %1 in: ").arg(*index), source, QString());
        return kExitFailure;
    }
    const std::filesystem::path target(targetName);
    switch (output) {
    case Output::Png: {
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        // Format_ARGB32 is stored with straight alpha, as PNG wants it.
        if (!icon.save(&buffer, "PNG"))
            return reportWrite(bw::WriteResult::WriteFailed, targetName);
        return reportWrite(bw::writeNewFile(target, png), targetName);
    }
    case Output::Icon:
        switch (bw::writeIconFile(target, icon)) {
        case bw::IconWriteResult::Ok: return kExitOk;
        case bw::IconWriteResult::InvalidIcon: complain("Ungültiges Symbol", source); return kExitFailure;
        case bw::IconWriteResult::CannotCreate: return reportWrite(bw::WriteResult::CannotCreate, targetName);
        case bw::IconWriteResult::WriteFailed: return reportWrite(bw::WriteResult::WriteFailed, targetName);
        }
        return kExitFailure;
    case Output::Bitmap: return reportWrite(bw::writeBitmapExport(target, icon), targetName);
    }
    return kExitFailure;
}

QList<QCommandLineOption> scanOptions()
{
    return {typesOption(), nulOption(),
            QCommandLineOption(QStringLiteral("single-thread"), QStringLiteral("ohne Hilfsthreads lesen, alles nacheinander (zum Messen)")),
            QCommandLineOption(QStringLiteral("collection"),
                               QStringLiteral("die Einträge einer gespeicherten Sammlung statt eines Verzeichnisses"),
                               QStringLiteral("DATEI"))};
}

int runScan(const Invocation& call)
{
    const std::optional<TypeSelection> types = selectedTypes(call);
    if (!types)
        return kExitUsage;
    const TypeSelection& checked = *types;
    const bool fromCollection = call.isSet(QStringLiteral("collection"));
    if (fromCollection == (call.argumentCount() == 1))
        return call.usageError(QStringLiteral("entweder ein VERZEICHNIS oder --collection DATEI"));
    if (!fromCollection && !isInputDirectory(call.argument(0)))
        return kExitFailure;

    const auto start = std::chrono::steady_clock::now();
    bw::Catalogue catalogue;
    std::int64_t files = 0;
    if (fromCollection) {
        if (!openCollection(call.value(QStringLiteral("collection")), catalogue))
            return kExitFailure;
        for (std::int32_t n = 1; n <= catalogue.entryCount(); ++n)
            files += n == 1 || catalogue[n].pathData != catalogue[n - 1].pathData ? 1 : 0;
    } else {
        files = readTree(catalogue, call.argument(0), checked, nullptr, !call.isSet(QStringLiteral("single-thread")));
    }

    // Every record is known only when the read has ended, so they go out in blocks.
    {
        Records records(call, Records::Flush::AtEnd);
        for (std::int32_t n = 1; n <= catalogue.entryCount(); ++n) {
            const bw::IconEntry& e = catalogue[n];
            records.number(n).tab().number(e.iconIndex).tab().name(e.path()).end();
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(stderr, "%lld Dateien, %d Einträge, %.3f Sekunden\n", static_cast<long long>(files), catalogue.entryCount(), seconds);
    return kExitOk;
}

} // namespace

// Commands read as tables of their texts.
// clang-format off
const Command countCommand {
    "count", "DATEI...", "Zahl der Icons jeder Datei, ein Tabulator und der Pfad",
    "Eine Datei ohne Icons oder eine, die sich nicht lesen lässt, hat 0. Ein Name, unter dem keine Datei\n"
    "steht, wird auf der Fehlerausgabe genannt; dann endet der Befehl mit 1.", 1, -1, nullptr, runCount};

const Command extractCommand {
    "extract", "[--all] DATEI INDEX AUSGABE.png|AUSGABE.ico", "ein Icon als PNG-Bild von 32 x 32 Punkten, mit --all wie gespeichert",
    "INDEX zählt die Icons der Datei ab 0. Eine vorhandene Datei wird nie ersetzt.\n"
    "Mit --all: die Icon-Gruppe eines Programms oder einer Bibliothek als Icon-Datei mit allen ihren\n"
    "Bildern in jeder Sprache, in der sie gespeichert ist, Byte für Byte wie gespeichert; eine Icon-,\n"
    "Cursor-, Animierte-Cursor-, Apple-Icon- oder PNG-Datei unverändert.", 3, 3,
    [] { return QList<QCommandLineOption> {QCommandLineOption(QStringLiteral("all"), QStringLiteral("alle Bilder des Icons, wie gespeichert"))}; },
    [](const Invocation& call) { return writeIcon(call, Output::Png); }};

const Command writeIcoCommand {
    "write-ico", "DATEI INDEX AUSGABE.ico", "ein Icon als Icon-Datei mit 16 Farben, wie Bildwiesel sie schreibt",
    "INDEX zählt die Icons der Datei ab 0. Eine vorhandene Datei wird nie ersetzt.", 3, 3, nullptr,
    [](const Invocation& call) { return writeIcon(call, Output::Icon); }};

const Command writeBmpCommand {
    "write-bmp", "DATEI INDEX AUSGABE.bmp", "ein Icon als Bitmap mit 256 Farben, wie \"Als BMP Kopieren\"",
    "INDEX zählt die Icons der Datei ab 0. Eine vorhandene Datei wird nie ersetzt.", 3, 3, nullptr,
    [](const Invocation& call) { return writeIcon(call, Output::Bitmap); }};

const Command scanCommand {
    "scan", "VERZEICHNIS|--collection DATEI [--types TYPEN] [-z]", "die Sammlung, die \"Einlesen\" aus dem Verzeichnis macht",
    "Je Eintrag eine Zeile: Nummer, Icon-Nummer in der Datei und Pfad, durch Tabulatoren getrennt.\n"
    "Mit --collection DATEI die Einträge einer gespeicherten Sammlung (siehe collect), ohne ihre Dateien zu lesen.\n"
    BW_NAMES_HELP
    "Auf der Fehlerausgabe: Dateien, Einträge und Sekunden.",
    0, 1, scanOptions, runScan};
// clang-format on

} // namespace cli
