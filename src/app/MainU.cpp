#include "MainU.h"

#include "app/AppState.h"
#include "app/IconFrm.h"
#include "app/SecondaryWindow.h"
#include "app/StartFrm.h"
#include "icons/IconExtractor.h"
#include "support/Dialogs.h"
#include "support/Funky.h"
#include "support/Sound.h"
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
    w.OrginalF = new SecondaryWindow(main, QStringLiteral("TOrginalF"), QStringLiteral("Orginalgröße"), {112, 80},
                                     Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint, true);
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
    main.Bild->update();
}

void ComputePageGeometry(TIconF&)
{
    // Filled in by the page view.
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
