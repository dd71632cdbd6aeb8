#include "MainU.h"

#include "app/AppState.h"
#include "app/IconFrm.h"
#include "app/SecondaryWindow.h"
#include "app/StartFrm.h"
#include "icons/IconExtractor.h"
#include "support/Dialogs.h"
#include "support/Funky.h"
#include "support/Sound.h"
#include "view/OrginalFrm.h"
#include "view/PagePainter.h"
#include "view/PageState.h"

#include <QApplication>
#include <QFile>
#include <QPainter>

#include <filesystem>
#include <system_error>

namespace bw {

const QStringList kFileTypes = {QStringLiteral("*.ico"), QStringLiteral("*.cur"), QStringLiteral("*.exe"),
                                QStringLiteral("*.dll"), QStringLiteral("*.icl"), QStringLiteral("*.bmp")};

Windows& windows()
{
    static Windows w;
    return w;
}

void createWindows()
{
    QCoreApplication::setApplicationName(kAppTitle);
    Windows& w = windows();
    w.IconF = new TIconF;
    QWidget* main = w.IconF;
    const Qt::WindowFlags tool = Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint;
    const Qt::WindowFlags fixedDialog = Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint;
    w.EinleseF = new SecondaryWindow(main, QStringLiteral("TEinleseF"), QStringLiteral("Symbole Einlesen"), {413, 310}, tool);
    w.EinstellF = new SecondaryWindow(main, QStringLiteral("TEinstellF"), QStringLiteral("Einstellungen"), {256, 109}, fixedDialog);
    w.KWBfrm = new SecondaryWindow(main, QStringLiteral("TKWBfrm"), QStringLiteral("Bildwiesel"), {190, 279},
                                   Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    w.VergleichF = new SecondaryWindow(main, QStringLiteral("TVergleichF"), QStringLiteral("Icons Vergleichen"), {346, 256},
                                       Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    w.KopierpfadF = new SecondaryWindow(main, QStringLiteral("TKopierpfadF"), QStringLiteral("Kopierverzeichnis"), {313, 202}, fixedDialog);
    w.MeldungF = new SecondaryWindow(main, QStringLiteral("TMeldungF"), QStringLiteral("Kopieren"), {565, 248}, Qt::Dialog, true);
    w.OrginalF = new TOrginalF(main);
    w.NummerF = new SecondaryWindow(main, QStringLiteral("TNummerF"), QStringLiteral("Nummerrieren"), {132, 112}, fixedDialog);
    w.StartF = new TStartF;
}

void destroyWindows()
{
    Windows& w = windows();
    delete w.StartF;
    delete w.IconF; // owns the secondary windows
    w = {};
}

void startUp(TIconF& main)
{
    AppState& s = appState();
    InitPaths();
    lastRefreshTick = tickCount();
    if (!s.catalogue)
        s.catalogue = std::make_unique<Catalogue>(Catalogue::kDefaultCapacity);
    s.catalogue->clearCatalogue();
    s.pixelThreshold = 5;
    s.scratchIcon = QImage();
    s.scratchBitmap = QImage();
    pageState().cellsAcross = 1;

    if (TStartF* splash = windows().StartF) {
        splash->show();
        PumpMessages();
    }
    s.autoRead = true;
    main.CheckListBox1->clear();
    for (const QString& type : kFileTypes) {
        auto* item = new QListWidgetItem(type, main.CheckListBox1);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }
    s.backgroundColour = kColourButtonFace;
    s.windowsDirectory = configDirectory();
    // The settings file is read here once the settings module exists.

    const std::string& programDirectory = programPaths().programDirectory;
    if (!isDirectory(s.readDirectory))
        s.readDirectory = programDirectory;
    if (!isDirectory(s.copyDirectory))
        s.copyDirectory = programDirectory;
    main.DirectoryListBox1->setDirectory(s.readDirectory);
    main.StatusBar1->setPanelText(0, QFile::decodeName(QByteArray::fromStdString(s.readDirectory)));
    main.StatusBar2->setPanelText(1, QFile::decodeName(QByteArray::fromStdString(s.copyDirectory)));
    main.setWindowTitle(QStringLiteral("Bildwiesel ") + kVersionText);
    if (TStartF* splash = windows().StartF)
        splash->close();
    if (s.autoRead)
        readTree(main);
}

void shutDown(TIconF&)
{
    AppState& s = appState();
    s.scratchIcon = QImage();
    s.scratchBitmap = QImage();
    stopSound();
    // The settings file is written here once the settings module exists.
    QCoreApplication::quit();
}

void readTree(TIconF&)
{
    // Reading a directory tree comes with the reading commands.
}

void readSingleFile(TIconF& main, const std::string& path)
{
    AppState& s = appState();
    pageState().pointerCell = 1;
    s.catalogue->clearCatalogue();
    MainIndexerHost host(main);
    indexFile(*s.catalogue, path, host);
    repaintCurrentPage(main);
}

namespace {

// The painter's view of the main window.
class MainPaintHost final : public PaintHost {
public:
    explicit MainPaintHost(TIconF& main) : m_main(main) {}
    void setNumberPanel(const QString& text) override { m_main.Panel5->setText(text); }
    void setCountPanel(const QString& text) override { m_main.StatusBar1->setPanelText(1, text); }
    void setRangePanel(const QString& text) override { m_main.Panel3->setText(text); }
    void refreshNow() override { m_main.Bild->refreshNow(); }
    QImage extractIcon(std::string_view path, int iconIndex) override
    {
        return bw::extractIcon(std::filesystem::path(std::string(path)), iconIndex);
    }

private:
    TIconF& m_main;
};

std::int32_t entryCount()
{
    const AppState& s = appState();
    return s.catalogue ? s.catalogue->entryCount() : 0;
}

} // namespace

void ComputePageGeometry(TIconF& main)
{
    PageState& page = pageState();
    computeGrid(page, main.Bild->width(), main.Bild->height());
    const ScrollRange range = scrollRangeFor(entryCount(), page.pageCapacity);
    // Changing the range or the position raises the scroll bar's change event, which repaints.
    main.ScrollBar1->setMaximum(range.maximum);
    if (range.resetPosition) {
        main.ScrollBar1->setValue(1);
        main.ScrollBar1->setPageStep(range.largeChange);
    }
}

void PaintEntries(TIconF& main, std::int32_t first, std::int32_t last)
{
    AppState& s = appState();
    if (!s.catalogue)
        return;
    MainPaintHost host(main);
    paintEntries(main.Bild->canvas(), *s.catalogue, pageState(), toQColor(s.backgroundColour), first, last, host, s.scratchIcon);
    main.Bild->update();
}

void repaintCurrentPage(TIconF& main)
{
    const PageState& page = pageState();
    PaintEntries(main, page.firstVisible, page.firstVisible + page.pageCapacity - 1);
}

void MainIndexerHost::blankPage()
{
    QImage& canvas = m_main.Bild->canvas();
    if (canvas.size() != m_main.Bild->size())
        canvas = QImage(m_main.Bild->size(), QImage::Format_RGB32);
    canvas.fill(toQColor(appState().backgroundColour));
}

void MainIndexerHost::setCountPanel(const QString& text) { m_main.StatusBar1->setPanelText(1, text); }

void MainIndexerHost::pumpMessages() { PumpMessages(); }

void MainIndexerHost::computePageGeometry() { ComputePageGeometry(m_main); }

void MainIndexerHost::reportCatalogueFull()
{
    dialogs().message(catalogueFullText(appState().catalogue->capacity()), kAppTitle);
}

std::int64_t MainIndexerHost::tickCount() { return bw::tickCount(); }

int MainIndexerHost::iconCountOf(std::string_view path) { return iconCount(std::filesystem::path(std::string(path))); }

} // namespace bw
