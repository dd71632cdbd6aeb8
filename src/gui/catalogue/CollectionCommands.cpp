#include "CollectionCommands.h"

#include "catalogue/Indexer.h"
#include "compare/CollectionPictures.h"
#include "compare/CollectionRefresh.h"
#include "gui/catalogue/EinleseFrm.h"
#include "gui/widgets/AppState.h"
#include "gui/widgets/MainWindowAccess.h"
#include "support/Colours.h"
#include "support/Dialogs.h"
#include "support/Funky.h"
#include "support/SafeFile.h"
#include "view/PageState.h"

#include <QApplication>
#include <QFile>

namespace bw {
namespace {

const QString kFilter = QStringLiteral("Bildwiesel-Sammlungen (*.bwsammlung);;Alle Dateien (*)");

} // namespace

void saveCollectionAs(AppState& s, MainWindowAccess&)
{
    if (!s.catalogue || s.catalogue->entryCount() == 0) {
        dialogs().message(kNothingLoaded, kAppTitle);
        return;
    }
    const std::optional<QString> chosen = dialogs().saveFile(QStringLiteral("Sammlung speichern"), kFilter, QStringLiteral("bwsammlung"));
    if (!chosen)
        return;
    const std::string path = QFile::encodeName(*chosen).toStdString();
    SaveMode mode = SaveMode::NewOnly;
    if (regularFileExists(path)) {
        if (!dialogs().confirm(*chosen + kLineBreak + QStringLiteral("ist schon vorhanden. Ersetzen?"), kAppTitle))
            return;
        mode = SaveMode::Replace;
    }
    // What was read, as it was read (the read directory, the checked types and the directories
    // may have changed since), or as the collection the catalogue was opened from keeps it: a
    // refresh then reads again what changed since that read.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const ReadRecord read
        = s.collection ? ReadRecord {s.collection->info().roots, s.collection->info().types, s.collection->directories()} : s.read;
    const QString error = saveReadAsCollection(path, *s.catalogue, read, toQColor(s.backgroundColour).rgb(), mode, 0, s.collection.get());
    QApplication::restoreOverrideCursor();
    if (!error.isEmpty())
        dialogs().message(error, kAppTitle);
}

void openCollectionFile(AppState& s, MainWindowAccess& main, const TEinleseF& progress)
{
    if (progress.readRunning || !s.catalogue)
        return;
    const std::optional<QString> chosen = dialogs().openPicture(QStringLiteral("Sammlung öffnen"), kFilter);
    if (!chosen)
        return;
    QString error;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::unique_ptr<Collection> opened = Collection::open(QFile::encodeName(*chosen).toStdString(), *s.catalogue, error);
    QApplication::restoreOverrideCursor();
    if (!opened) {
        dialogs().message(error, kAppTitle);
        return;
    }
    s.collection = std::move(opened);
    pageState().pointerCell = 1;
    main.setIconCountPanel(QStringLiteral("Icon(s) ") + QString::number(s.catalogue->entryCount()));
    main.pageIndexer().computePageGeometry();
    main.showPageAtScrollBar();
}

bool isDisconnected(const AppState& s, std::int32_t entry)
{
    return s.collection && s.catalogue && isCatalogueEntry(s, entry)
        && s.collection->sourceState(entry, (*s.catalogue)[entry].path()) != SourceState::Present;
}

namespace {

// Entry n's stored picture (null when it cannot be read or none was drawn).
QImage storedPicture(const AppState& s, std::int32_t entry)
{
    CollectionEntry stored;
    if (!s.collection->entry(entry, stored))
        return {};
    return storedImage(stored, s.collection->info().background);
}

} // namespace

QImage disconnectedPicture(const AppState& s, std::int32_t entry) { return isDisconnected(s, entry) ? storedPicture(s, entry) : QImage(); }

std::optional<QImage> CollectionKeptPictures::disconnected(std::int32_t n) const
{
    if (!isDisconnected(m_state, n))
        return std::nullopt;
    return storedPicture(m_state, n);
}

} // namespace bw
