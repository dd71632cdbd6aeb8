#include "CollectionCommands.h"

#include "catalogue/Indexer.h"
#include "compare/CollectionPictures.h"
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

// The types the read took, as "ico,cur": the type list shows them as "*.ico".
QString typeList(const QStringList& patterns)
{
    QStringList names;
    for (const QString& p : patterns)
        names << (p.startsWith(QLatin1String("*.")) ? p.mid(2) : p);
    return names.join(QLatin1Char(','));
}

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
    // What was read: the roots and types of the read (the read directory and the checked types
    // may have changed since), or those of the collection the catalogue was opened from, whose
    // directory times stay too: a refresh then reads again what changed since that read.
    const QRgb background = toQColor(s.backgroundColour).rgb();
    CollectionInfo info;
    info.roots = s.collection ? s.collection->info().roots : s.readRoots;
    info.directory = info.roots.empty() ? std::string() : info.roots.front();
    info.types = s.collection ? s.collection->info().types : typeList(s.readTypes);
    info.saved = QDateTime::currentDateTimeUtc();
    info.background = background & 0xFFFFFFu;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const std::vector<CollectionDirectory> directories = s.collection ? s.collection->directories() : directoriesBelow(info.roots);
    const QString error
        = saveCollection(path, info, *s.catalogue, directories, examiningFiller(*s.catalogue, background, 0, s.collection.get()), mode);
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
