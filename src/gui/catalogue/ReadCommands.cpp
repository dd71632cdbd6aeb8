#include "ReadCommands.h"

#include "catalogue/TreeScanner.h"
#include "catalogue/Volumes.h"
#include "compare/CollectionRefresh.h"
#include "gui/catalogue/EinleseFrm.h"
#include "gui/support/Sound.h"
#include "gui/widgets/AppState.h"
#include "gui/widgets/DirectoryWidgets.h"
#include "gui/widgets/MainWindowAccess.h"
#include "gui/widgets/WindowPlacement.h"
#include "support/Colours.h"
#include "support/Dialogs.h"
#include "support/Funky.h"
#include "support/Pacer.h"
#include "view/PageState.h"

#include <QApplication>
#include <QFile>
#include <QTimer>

#include <optional>

namespace bw {
namespace {

// One read command: the indexer reports to the main window, the scan to the progress window.
// A full catalogue is reported once and ends the read, as "Abbrechen" would: nothing more fits.
//
// The window keeps pace with the screen, not with the files: the caption, the labels, the page
// geometry and the new list lines are kept and shown at the next real pump of messages (at most
// every 20 ms, see Pacer), with their latest values and every line in order.
class ReadSession final : public IndexerHost, public ScanProgress {
public:
    ReadSession(MainWindowAccess& main, TEinleseF& progress) : m_mainHost(main.pageIndexer()), m_progress(progress) {}

    void blankPage() override { m_mainHost.blankPage(); }
    void setCountPanel(const QString& text) override { m_mainHost.setCountPanel(text); }
    void pumpMessages() override
    {
        m_pacer.pump([this] { show(); });
    }
    void computePageGeometry() override { m_geometryChanged = true; }
    void reportCatalogueFull() override
    {
        if (!m_fullReported) {
            m_fullReported = true;
            // The message stands over the windows until it is answered: the numbers under it are
            // the final ones, not those of the last pump.
            const std::int32_t count = appState().catalogue->entryCount();
            m_mainHost.setCountPanel(QStringLiteral("Icon(s) ") + QString::number(count));
            m_entryCount = count;
            show();
            m_mainHost.reportCatalogueFull();
        }
        m_progress.readCancelled = true;
    }
    std::int64_t tickCount() override { return bw::tickCount(); }
    int iconCountOf(std::string_view path) override { return m_mainHost.iconCountOf(path); }

    void setCaption(const std::string& path) override { m_caption = path; }
    void setSearchLabel(const QString& text) override { m_searchLabel = text; }
    void setEntryCount(std::int32_t entries) override { m_entryCount = entries; }
    void addLine(const QString& text) override { m_lines << text; }
    bool cancelled() override { return m_progress.readCancelled; }

    // Puts what was kept on the screen; also at the end of the read.
    void show()
    {
        if (m_caption) {
            m_progress.setWindowTitle(pathText(*m_caption));
            m_caption.reset();
        }
        if (m_searchLabel) {
            if (m_progress.Label1->text() != *m_searchLabel) {
                m_progress.Label1->setText(*m_searchLabel);
                m_progress.Label1->adjustSize();
            }
            m_searchLabel.reset();
        }
        if (m_entryCount) {
            m_progress.setLabel2(QStringLiteral("Symbole ") + QString::number(*m_entryCount));
            m_entryCount.reset();
        }
        if (!m_lines.isEmpty()) {
            m_progress.ListBox1->addItems(m_lines);
            m_lines.clear();
        }
        if (m_geometryChanged) {
            m_geometryChanged = false;
            m_mainHost.computePageGeometry();
        }
    }

private:
    IndexerHost& m_mainHost;
    TEinleseF& m_progress;
    bool m_fullReported = false;
    Pacer m_pacer;
    std::optional<std::string> m_caption;
    std::optional<QString> m_searchLabel;
    std::optional<std::int32_t> m_entryCount;
    QStringList m_lines;
    bool m_geometryChanged = false;
};

bool closeMainAfterRead = false;
std::uint64_t readCount = 0;

// A read pumps messages, and what runs then (a directory change, a click in the file list, a
// second "Einlesen") must never start a read inside it: that would clear the catalogue under the
// first and mix the two.
bool readRunning(const TEinleseF& progress) { return progress.readRunning; }

// The end of every read: a close of the main window that came meanwhile takes effect now.
void readEnded(MainWindowAccess& main, TEinleseF& progress)
{
    progress.readRunning = false;
    if (closeMainAfterRead) {
        closeMainAfterRead = false;
        QWidget& window = main.widget();
        QTimer::singleShot(0, &window, [&window] { window.close(); });
    }
}

// Starts a read from an empty catalogue and shows the progress window. A close still pending
// from the last read is called off, so the main window stays disabled until this read has ended.
void beginRead(AppState& state, MainWindowAccess& main, TEinleseF& progress)
{
    ++readCount;
    state.catalogue->clearCatalogue();
    state.collection.reset();
    progress.readRunning = true;
    progress.readCancelled = false;
    progress.ListBox1->clear();
    progress.ListBox2->clear();
    progress.Timer1->stop();
    main.widget().setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    showPainted(progress);
    main.keepSplashInFront();
}

void endRead(const AppState& state, MainWindowAccess& main, TEinleseF& progress)
{
    QApplication::restoreOverrideCursor();
    main.setIconCountPanel(QStringLiteral("Icon(s) ") + QString::number(state.catalogue->entryCount()));
    readEnded(main, progress);
    progress.Timer1->start();
    PlayWav(QStringLiteral("fertig"), 0);
}

// Keeps what the read started from, looked for ("*.ico" in the type list) and walked.
void recordRead(AppState& s, std::vector<std::string> roots, const QStringList& types, const TreeScanner& scanner)
{
    QStringList names;
    for (const QString& type : types)
        names << (type.startsWith(QLatin1String("*.")) ? type.mid(2) : type);
    s.read = {std::move(roots), names.join(QLatin1Char(',')), scanner.walkedDirectories()};
}

} // namespace

void readTree(AppState& s, MainWindowAccess& main, TEinleseF& progress)
{
    if (readRunning(progress))
        return;
    // The tree is read as it is now, and the directory list shows it so.
    main.directoryList().refresh();
    beginRead(s, main, progress);
    const std::string base = withTrailingSlash(s.readDirectory);
    ReadSession session(main, progress);
    TreeScanner scanner(*s.catalogue, session, session);
    const QStringList types = main.checkedFileTypes();
    std::vector<std::string> patterns;
    for (const QString& type : types)
        patterns.push_back(base + QFile::encodeName(type).toStdString());
    scanner.scanTrees(patterns);
    recordRead(s, {base}, types, scanner);
    session.show();
    endRead(s, main, progress);
}

void readAllDrives(AppState& s, MainWindowAccess& main, TEinleseF& progress)
{
    if (readRunning(progress))
        return;
    beginRead(s, main, progress);
    ReadSession session(main, progress);
    TreeScanner scanner(*s.catalogue, session, session);
    const QStringList types = main.checkedFileTypes();
    const std::vector<Volume> volumes = mountedVolumes();
    std::vector<std::string> roots;
    for (const Volume& volume : volumes)
        roots.push_back(volume.root);
    std::vector<std::string> patterns;
    for (const Volume& volume : volumes)
        for (const QString& type : types)
            patterns.push_back(volume.root + QFile::encodeName(type).toStdString());
    scanner.scanTrees(patterns, roots);
    recordRead(s, roots, types, scanner);
    session.show();
    endRead(s, main, progress);
}

void refreshCollection(AppState& s, MainWindowAccess& main, TEinleseF& progress)
{
    if (readRunning(progress))
        return;
    if (!s.collection || s.collection->info().roots.empty()) {
        dialogs().message(QStringLiteral("Keine Sammlung mit Verzeichnis geöffnet."), kAppTitle);
        return;
    }
    // The opened catalogue and collection tell the new read what it need not read again.
    const std::unique_ptr<Collection> old = std::move(s.collection);
    const std::unique_ptr<Catalogue> opened = std::move(s.catalogue);
    s.catalogue = std::make_unique<Catalogue>(opened->capacity());
    const CollectionRefresh refresh(*old, *opened);
    beginRead(s, main, progress);
    ReadSession session(main, progress);
    TreeScanner scanner(*s.catalogue, session, session);
    scanner.setIconCounter(refresh.counter());
    // The roots the collection's read started from, each read in its own turn as that read did.
    const std::vector<std::string>& roots = old->info().roots;
    std::vector<std::string> patterns;
    QStringList types;
    for (const QString& type : old->info().types.split(QLatin1Char(','), Qt::SkipEmptyParts))
        types << QStringLiteral("*.") + type;
    for (const std::string& root : roots)
        for (const QString& type : types)
            patterns.push_back(root + QFile::encodeName(type).toStdString());
    scanner.scanTrees(patterns, roots);
    recordRead(s, roots, types, scanner);
    session.show();
    if (!progress.readCancelled) {
        QString error = refresh.save(*s.catalogue, s.read.directories, toQColor(s.backgroundColour).rgb());
        if (error.isEmpty())
            s.collection = Collection::open(old->path(), *s.catalogue, error);
        if (!error.isEmpty())
            dialogs().message(error, kAppTitle);
    }
    endRead(s, main, progress);
    main.repaintPage();
}

void readSingleFile(AppState& s, MainWindowAccess& main, TEinleseF& progress, const std::string& path)
{
    if (readRunning(progress))
        return;
    pageState().pointerCell = 1;
    s.catalogue->clearCatalogue();
    s.collection.reset();
    s.read = {}; // one file: no directory to read again
    progress.readRunning = true;
    progress.readCancelled = false;
    progress.ListBox1->clear();
    indexFile(*s.catalogue, path, main.pageIndexer());
    readEnded(main, progress);
    main.repaintPage();
}

void showSearchResult(TEinleseF& progress) { progress.show(); }

std::uint64_t readsStarted() { return readCount; }

bool closeAfterRead(TEinleseF& progress)
{
    if (!readRunning(progress))
        return false;
    closeMainAfterRead = true;
    progress.readCancelled = true;
    return true;
}

} // namespace bw
