#include "ReadCommands.h"

#include "gui/widgets/AppState.h"
#include "gui/app/IconFrm.h"
#include "gui/app/MainU.h"
#include "gui/app/StartFrm.h"
#include "gui/widgets/WindowPlacement.h"
#include "gui/catalogue/EinleseFrm.h"
#include "catalogue/TreeScanner.h"
#include "catalogue/Volumes.h"
#include "support/Dialogs.h"
#include "support/Funky.h"
#include "support/Pacer.h"
#include "support/Sound.h"
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
    ReadSession(TIconF& main, TEinleseF& progress) : m_main(main), m_mainHost(main), m_progress(progress) {}

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
            m_mainHost.reportCatalogueFull();
        }
        m_progress.readCancelled = true;
    }
    std::int64_t tickCount() override { return bw::tickCount(); }
    int iconCountOf(std::string_view path) override { return m_mainHost.iconCountOf(path); }

    void setCaption(const std::string& path) override { m_caption = path; }
    void setSearchLabel(const QString& text) override { m_searchLabel = text; }
    void setCountLabel(const QString& text) override { m_countLabel = text; }
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
        if (m_countLabel) {
            m_progress.setLabel2(*m_countLabel);
            m_countLabel.reset();
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
    TIconF& m_main;
    MainIndexerHost m_mainHost;
    TEinleseF& m_progress;
    bool m_fullReported = false;
    Pacer m_pacer;
    std::optional<std::string> m_caption;
    std::optional<QString> m_searchLabel;
    std::optional<QString> m_countLabel;
    QStringList m_lines;
    bool m_geometryChanged = false;
};

// The checked patterns of the file-type list, in list order.
QStringList checkedTypes(const TIconF& main)
{
    QStringList types;
    for (int i = 0; i < main.CheckListBox1->count(); ++i)
        if (main.CheckListBox1->item(i)->checkState() == Qt::Checked)
            types << main.CheckListBox1->item(i)->text();
    return types;
}

bool closeMainAfterRead = false;
std::uint64_t readCount = 0;

// A read pumps messages, and what runs then (a directory change, a click in the file list, a
// second "Einlesen") must never start a read inside it: that would clear the catalogue under the
// first and mix the two.
bool readRunning() { return windows().EinleseF && windows().EinleseF->readRunning; }

// The end of every read: a close of the main window that came meanwhile takes effect now.
void readEnded(TIconF& main, TEinleseF& progress)
{
    progress.readRunning = false;
    if (closeMainAfterRead) {
        closeMainAfterRead = false;
        QTimer::singleShot(0, &main, [&main] { main.close(); });
    }
}

// Starts a read from an empty catalogue and shows the progress window. A close still pending
// from the last read is called off, so the main window stays disabled until this read has ended.
TEinleseF& beginRead(TIconF& main)
{
    ++readCount;
    appState().catalogue->clearCatalogue();
    TEinleseF& progress = *windows().EinleseF;
    progress.readRunning = true;
    progress.readCancelled = false;
    progress.ListBox1->clear();
    progress.ListBox2->clear();
    progress.Timer1->stop();
    main.setEnabled(false);
    QApplication::setOverrideCursor(Qt::WaitCursor);
    showPainted(progress);
    // At start-up the splash stays in front until it closes.
    if (TStartF* splash = windows().StartF; splash && splash->isVisible())
        splash->raise();
    return progress;
}

void endRead(TIconF& main, TEinleseF& progress)
{
    QApplication::restoreOverrideCursor();
    main.StatusBar1->setPanelText(1, QStringLiteral("Icon(s) ") + QString::number(appState().catalogue->entryCount()));
    readEnded(main, progress);
    progress.Timer1->start();
    PlayWav(QStringLiteral("fertig"), 0);
}

} // namespace

void readTree(TIconF& main)
{
    if (readRunning())
        return;
    AppState& s = appState();
    TEinleseF& progress = beginRead(main);
    const std::string base = withTrailingSlash(s.readDirectory);
    ReadSession session(main, progress);
    TreeScanner scanner(*s.catalogue, session, session);
    std::vector<std::string> patterns;
    for (const QString& type : checkedTypes(main))
        patterns.push_back(base + QFile::encodeName(type).toStdString());
    scanner.scanTrees(patterns);
    session.show();
    endRead(main, progress);
}

void readAllDrives(TIconF& main)
{
    if (readRunning())
        return;
    AppState& s = appState();
    TEinleseF& progress = beginRead(main);
    ReadSession session(main, progress);
    TreeScanner scanner(*s.catalogue, session, session);
    const QStringList types = checkedTypes(main);
    const std::vector<Volume> volumes = mountedVolumes();
    std::vector<std::string> roots;
    for (const Volume& volume : volumes)
        roots.push_back(volume.root);
    std::vector<std::string> patterns;
    for (const Volume& volume : volumes)
        for (const QString& type : types)
            patterns.push_back(volume.root + QFile::encodeName(type).toStdString());
    scanner.scanTrees(patterns, roots);
    session.show();
    endRead(main, progress);
}

void readSingleFile(TIconF& main, const std::string& path)
{
    if (readRunning())
        return;
    AppState& s = appState();
    pageState().pointerCell = 1;
    s.catalogue->clearCatalogue();
    TEinleseF& progress = *windows().EinleseF;
    progress.readRunning = true;
    progress.readCancelled = false;
    progress.ListBox1->clear();
    MainIndexerHost host(main);
    indexFile(*s.catalogue, path, host);
    readEnded(main, progress);
    repaintCurrentPage(main);
}

void showSearchResult(TIconF&) { windows().EinleseF->show(); }

std::uint64_t readsStarted() { return readCount; }

bool closeAfterRead()
{
    if (!readRunning())
        return false;
    closeMainAfterRead = true;
    windows().EinleseF->readCancelled = true;
    return true;
}

} // namespace bw
