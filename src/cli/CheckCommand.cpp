// bildwiesel-cli check: "Checken" from a script.

#include "CliSupport.h"
#include "CommandLine.h"
#include "Commands.h"

#include "fileops/SourceFiles.h"

#include <cstdio>
#include <string>
#include <string_view>

namespace cli {
namespace {

QList<QCommandLineOption> checkOptions() { return {typesOption(), nulOption()}; }

int runCheck(const Invocation& call)
{
    const std::optional<TypeSelection> types = selectedTypes(call);
    if (!types)
        return kExitUsage;
    if (!isInputDirectory(call.argument(0)))
        return kExitFailure;
    bw::Catalogue catalogue;
    readTree(catalogue, call.argument(0), *types);
    Records records(call);
    bw::IconFileCheck check;
    std::int32_t defects = 0;
    for (std::int32_t e = 1; e <= catalogue.entryCount(); ++e) {
        const bw::IconEntry& entry = catalogue[e];
        if (check.passes(entry.path(), entry.iconIndex))
            continue;
        ++defects;
        records.number(e).tab().name(entry.path()).end();
    }
    std::fprintf(stderr, "%s\n", bw::checkSummary(defects, catalogue.unreadableDirectories()).toLocal8Bit().constData());
    return defects == 0 ? kExitOk : kExitFailure;
}

} // namespace

// Commands read as tables of their texts.
// clang-format off
const Command checkCommand {
    "check", "VERZEICHNIS [--types ...] [-z]", "jedes Icon des Verzeichnisses auf Schäden prüfen, wie \"Checken\"",
    "Je defekter Eintrag eine Zeile: Nummer, ein Tabulator und der Pfad. Auf der Fehlerausgabe die Schlusszeile.\n"
    BW_NAMES_HELP
    "Eine Icon-Datei ist heil, wenn ihr Typfeld 0 oder 1 ist, eine Cursor-Datei bei Typfeld 2, und wenn sich\n"
    "ihr Icon laden lässt; jede andere Datei, wenn sich ihr Icon laden lässt. Ende 0, wenn alle heil sind, sonst 1.",
    1, 1, checkOptions, runCheck};
// clang-format on

} // namespace cli
