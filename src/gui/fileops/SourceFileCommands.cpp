#include "SourceFileCommands.h"

#include "catalogue/Indexer.h"
#include "fileops/Export.h"
#include "fileops/SourceFiles.h"
#include "gui/catalogue/CollectionCommands.h"
#include "gui/catalogue/ReadCommands.h"
#include "gui/fileops/MeldungFrm.h"
#include "gui/fileops/NummerFrm.h"
#include "gui/widgets/AppState.h"
#include "gui/widgets/DirectoryWidgets.h"
#include "gui/widgets/MainWindowAccess.h"
#include "icons/IconExtractor.h"
#include "support/Dialogs.h"
#include "support/Funky.h"
#include "support/Pacer.h"
#include "view/PageState.h"

#include <unordered_set>

namespace bw {
namespace {

const QString kNotDeleted = QStringLiteral("..kann nicht gelöscht werden.");
const QString kGoneBeforeDeletion = QStringLiteral(" Ist nicht mehr vorhanden und kann nicht gelöscht werden.");

bool deletableKind(std::string_view path)
{
    const std::string ext = fileExtensionLower(path);
    return ext == ".ico" || ext == ".cur" || ext == ".bmp";
}

// Shows the report window for a loop with its caption and an empty list.
void showReport(TMeldungF& report, const QString& caption)
{
    report.setWindowTitle(caption);
    report.clearList();
    report.show();
}

} // namespace

void deleteIconFile(const std::string& path)
{
    if (!regularFileExists(path)) {
        dialogs().message(pathText(path) + kLineBreak + kGoneBeforeDeletion, kAppTitle);
        return;
    }
    if (!deletableKind(path)) {
        dialogs().message(QStringLiteral("Es sollten nur Icons, Curser oder Bmp gelöscht werden."), kAppTitle);
        return;
    }
    releaseFileCache();
    if (const TrashResult result = moveToTrash(path); result != TrashResult::Trashed)
        dialogs().message(pathText(path) + (result == TrashResult::Missing ? kLineBreak + kGoneBeforeDeletion : kNotDeleted), kAppTitle);
}

void deletePointerEntry(AppState& state, std::int32_t entry, MainWindowAccess& main)
{
    if (!isCatalogueEntry(state, entry))
        return; // an empty cell behind the last entry has no file
    if (isDisconnected(state, entry)) {
        // A file that changed since the collection was saved is not the icon shown: it stays.
        dialogs().message(pathText((*state.catalogue)[entry].path()) + kNotPresent, kAppTitle);
        return;
    }
    deleteIconFile(std::string((*state.catalogue)[entry].path()));
    main.fileList().refresh(); // a name gone from the disk goes from the list
    main.repaintPage();
}

void deleteMarkedEntries(AppState& state, TMeldungF& report, MainWindowAccess& main)
{
    showReport(report, QStringLiteral("Ausgwählte Icons Löschen"));
    const TMeldungF::Loop loop(report);
    Pacer pacer(500);
    pacer.refreshed(); // the first refresh comes after a whole interval
    releaseFileCache();
    Catalogue& catalogue = *state.catalogue;
    const std::int32_t count = catalogue.entryCount();
    std::int32_t deleted = 0;
    // Several entries share one file (the icons of a library): the first deals with it and reports
    // what went wrong, the others add nothing.
    std::unordered_set<std::string_view> handledHere;
    for (std::int32_t e = 1; e <= count; ++e) {
        IconEntry& entry = catalogue[e];
        if (entry.marked) {
            entry.marked = 0;
            entry.defective = 1;
            const std::string path(entry.path());
            if (!handledHere.insert(entry.path()).second) {
                // an earlier icon of this file dealt with it
            } else if (!regularFileExists(path) || isDisconnected(state, e)) {
                report.addLine(pathText(path) + kNotPresent);
            } else {
                switch (moveToTrash(path)) {
                case TrashResult::Trashed: ++deleted; break;
                case TrashResult::Missing: report.addLine(pathText(path) + kNotPresent); break;
                case TrashResult::Refused: report.addLine(pathText(path) + kNotDeleted); break;
                }
            }
        }
        if (pacer.due()) {
            report.refresh(QStringLiteral("Prüfe Symbol: ") + QString::number(e) + QStringLiteral("  >") + QString::number(deleted)
                           + QStringLiteral(" Symbol(e) gelöscht."));
            pacer.refreshed();
        }
        // "Abbrechen" only closes the window: a deletion pass always runs to its end.
    }
    report.Label1->setText(QString::number(deleted) + QStringLiteral(" Icons gelöscht"));
    report.addLine(QStringLiteral("FERTIG"));
    report.flushLines();
    main.fileList().setDirectory(state.readDirectory);
    main.repaintPage();
}

void deleteAllEntries(AppState& state, TMeldungF& report, MainWindowAccess& main, TEinleseF& progress)
{
    const std::int32_t count = catalogueEntryCount(state);
    if (count == 0) {
        dialogs().message(kNothingLoaded, kAppTitle);
        return;
    }
    const std::string readDirectory = state.readDirectory;
    if (!dialogs().confirm(QStringLiteral("Wirklich alle Löschen in :") + kLineBreak + pathText(readDirectory),
                           QStringLiteral("Bestätigung")))
        return;
    {
        showReport(report, QStringLiteral("Alle Icons, Curser. Bmp Löschen"));
        const TMeldungF::Loop loop(report);
        releaseFileCache();
        Catalogue& catalogue = *state.catalogue;
        std::int32_t deleted = 0;
        Pacer pacer(500);
        for (std::int32_t e = 1; e <= count; ++e) {
            IconEntry& entry = catalogue[e];
            const std::string path(entry.path());
            if (deletableKind(path)) {
                if (!isInsideDirectory(path, readDirectory)) {
                    // The question named the read directory: nothing outside it goes.
                    report.addLine(pathText(path) + QStringLiteral("..liegt außerhalb von ") + pathText(readDirectory)
                                   + QStringLiteral(" und wurde nicht gelöscht."));
                } else if (regularFileExists(path) && !isDisconnected(state, e)) {
                    entry.defective = 1;
                    switch (moveToTrash(path)) {
                    case TrashResult::Trashed: ++deleted; break;
                    case TrashResult::Missing: report.addLine(pathText(path) + kNotPresent); break;
                    case TrashResult::Refused: report.addLine(pathText(path) + kNotDeleted); break;
                    }
                } else {
                    report.addLine(pathText(path) + kNotPresent);
                }
            }
            if (pacer.due()) {
                report.refresh(QString::number(deleted) + QStringLiteral(" von ") + QString::number(count)
                               + QStringLiteral(" Icons gelöscht !"));
                pacer.refreshed();
            }
            if (report.cancelRequested)
                break;
        }
        report.Label1->setText(QString::number(deleted) + QStringLiteral(" Icons gelöscht"));
    }
    main.fileList().refresh();
    readTree(state, main, progress);
}

void renumberIcons(const AppState& state, const FileListBox& files, TNummerF& window)
{
    const std::string& directory = state.readDirectory;
    for (const std::string& name : files.names()) {
        if (fileExtensionLower(directory + name) != ".ico") {
            dialogs().message(QStringLiteral("Keine Icon Dateien vorhanden !"), kAppTitle);
            return;
        }
    }
    window.exec();
}

void checkEntries(AppState& state, TMeldungF& report, MainWindowAccess& main)
{
    const std::int32_t count = catalogueEntryCount(state);
    if (count == 0) {
        dialogs().message(kNothingLoaded, kAppTitle);
        return;
    }
    showReport(report, QStringLiteral("Alle Icons auf Fehler Checken"));
    report.Label1->setText(QString());
    const TMeldungF::Loop loop(report);
    Catalogue& catalogue = *state.catalogue;
    IconFileCheck check;
    std::int32_t defects = 0;
    Pacer pacer(500);
    for (std::int32_t e = 1; e <= count; ++e) {
        if (pacer.due()) {
            report.refresh(QStringLiteral("Noch ") + QString::number(count - e) + QStringLiteral(" Icons"));
            pacer.refreshed();
        }
        IconEntry& entry = catalogue[e];
        if (!check.passes(entry.path(), entry.iconIndex)) {
            ++defects;
            entry.marked = 1;
            report.addLine(pathText(entry.path()) + QStringLiteral(" ist Defekt, wurde zum Löschen markiert."));
        }
        if (report.cancelRequested)
            break;
    }
    report.Label1->setText(checkSummary(defects, catalogue.unreadableDirectories()));
    report.flushLines();
    main.repaintPage();
}

} // namespace bw
