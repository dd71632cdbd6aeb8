// bildwiesel-cli export: "Alle Kopieren" from a script.

#include "CliSupport.h"
#include "CommandLine.h"
#include "Commands.h"

#include "fileops/Export.h"
#include "support/Dialogs.h"
#include "support/Funky.h"
#include "support/UserDirectories.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <map>
#include <string>
#include <string_view>

namespace cli {
namespace {

// Report lines go to stderr as they come, names as their bytes.
class StderrReport final : public bw::ReportLines {
public:
    void addLine(const QString& line) override
    {
        const QByteArray bytes = line.toLocal8Bit();
        std::fwrite(bytes.constData(), 1, static_cast<std::size_t>(bytes.size()), stderr);
        std::fputc('\n', stderr);
        ++lines;
    }
    void addPathLine(const QString& before, std::string_view path, const QString& after) override
    {
        writeBytes(stderr, before.toLocal8Bit().toStdString());
        writeBytes(stderr, quotedName(path));
        writeBytes(stderr, after.toLocal8Bit().toStdString());
        std::fputc('\n', stderr);
        ++lines;
    }
    int lines = 0;
};

void message(const QString& text) { std::fprintf(stderr, "bildwiesel-cli: %s\n", text.toLocal8Bit().constData()); }

QList<QCommandLineOption> exportOptions()
{
    return {typesOption(), nulOption(),
            QCommandLineOption(QStringLiteral("as"),
                               QStringLiteral("als Icon-Datei (ico, Voreinstellung), als Bitmap (bmp), wie gespeichert (original) "
                                              "oder als PNG-Bild des größten Bildes (png)"),
                               QStringLiteral("ico|bmp|original|png"))};
}

int runExport(const Invocation& call)
{
    const std::optional<TypeSelection> types = selectedTypes(call);
    if (!types)
        return kExitUsage;
    bw::ExportFormat format = bw::ExportFormat::Icon;
    if (call.isSet(QStringLiteral("as"))) {
        static const std::map<std::string, bw::ExportFormat> kFormats {{"ico", bw::ExportFormat::Icon},
                                                                       {"bmp", bw::ExportFormat::Bitmap},
                                                                       {"original", bw::ExportFormat::Original},
                                                                       {"png", bw::ExportFormat::Png}};
        const auto named = kFormats.find(call.value(QStringLiteral("as")));
        if (named == kFormats.end())
            return call.usageError(QStringLiteral("--as nimmt ico, bmp, original oder png"));
        format = named->second;
    }
    const std::string& directory = call.argument(0);
    const std::string& copyDirectory = call.argument(1);

    // The copy directory is checked before anything is read: a typo must not cost a whole read.
    if (!bw::isDirectory(copyDirectory)) {
        const bool exists = ::access(copyDirectory.c_str(), F_OK) == 0;
        complainAbout(QStringLiteral("Das Kopierverzeichnis "), copyDirectory,
                      exists ? QStringLiteral(" ist kein Verzeichnis.") : QStringLiteral(" existiert nicht."));
        return kExitFailure;
    }
    if (::access(copyDirectory.c_str(), W_OK | X_OK) != 0) {
        if (errno == EROFS)
            complainAbout(QStringLiteral("Das Kopierverzeichnis "), copyDirectory, QStringLiteral(" ist schreibgeschützt."));
        else
            complainAbout(QStringLiteral("Zugriff verweigert: In das Kopierverzeichnis "), copyDirectory,
                          QStringLiteral(" kann nicht geschrieben werden."));
        return kExitFailure;
    }
    if (!isInputDirectory(directory))
        return kExitFailure;

    bw::Catalogue catalogue;
    bool endedEarly = false;
    readTree(catalogue, directory, *types, &endedEarly);

    Records records(call);
    StderrReport report;
    bw::ExportDirectory target(copyDirectory);
    target.learnExistingNames();
    const std::int32_t count = catalogue.entryCount();
    std::int32_t done = 0;
    std::int32_t written = 0;
    // A file is listed and counted once it has its name, which comes after its batch's sync.
    target.nameInBatches([&](std::int32_t e, const std::string& name) {
        ++written;
        records.number(e).tab().name(name).end();
    });
    try {
        for (std::int32_t e = 1; e <= count; ++e) {
            done = e; // an entry that ends the export failed as well
            bw::exportEntry(catalogue, e, format, target, report);
        }
        target.flush();
    } catch (const bw::CommandError& error) {
        target.flushAfterError(); // the files written before the error still get their names
        if (error.namesPath())
            complainAbout(error.before(), error.path(), error.after());
        else
            message(error.text());
        endedEarly = true;
    }
    // What was done, not what was tried: the files written, and the entries that gave none.
    QString status = QString::number(written) + QStringLiteral(" von ") + QString::number(count) + QStringLiteral(" Icons kopiert");
    if (done > written)
        status += QStringLiteral(", ") + QString::number(done - written) + QStringLiteral(" fehlgeschlagen");
    std::fprintf(stderr, "%s\n", status.toLocal8Bit().constData());
    return endedEarly || report.lines > 0 || written != count ? kExitFailure : kExitOk;
}

} // namespace

// Commands read as tables of their texts.
// clang-format off
const Command exportCommand {
    "export", "VERZEICHNIS KOPIERVERZEICHNIS [--types ...] [--as ico|bmp|original|png] [-z]", "jedes Icon des Verzeichnisses in das Kopierverzeichnis, wie \"Alle Kopieren\"",
    "Je geschriebene Datei eine Zeile: Nummer des Eintrags, ein Tabulator und der Pfad.\n"
    BW_NAMES_HELP
    "Auf der Fehlerausgabe: jede Meldung des Kopierens, dann \"c von N Icons kopiert\" mit c geschriebenen\n"
    "Dateien, und \", f fehlgeschlagen\" für die Einträge, die keine Datei ergaben.\n"
    "Ein voller Datenträger oder ein schreibgeschütztes Kopierverzeichnis beendet das Kopieren sofort.\n"
    "--as original: Icon-, Cursor-, Bitmap-, Animierte-Cursor-, Apple-Icon- und PNG-Dateien Byte für Byte\n"
    "unter ihrer Endung, eine Icon-Gruppe eines Programms oder einer Bibliothek als .ico mit allen ihren\n"
    "Bildern in der Sprache, die die Seite zeigt, wie gespeichert.\n"
    "--as png: das größte Bild des Icons in seiner eigenen Größe, 32 Bit mit Alphakanal.\n"
    "Eine vorhandene Datei wird nie ersetzt; ein belegter Name bekommt _1, _2, ... angehängt.\n"
    "Ende 0, wenn jeder Eintrag eine Datei ergab, sonst 1.",
    2, 2, exportOptions, runExport};
// clang-format on

} // namespace cli
