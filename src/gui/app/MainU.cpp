#include "MainU.h"

#include "gui/app/IconFrm.h"
#include "gui/app/StartFrm.h"
#include "gui/catalogue/CollectionCommands.h"
#include "gui/catalogue/EinleseFrm.h"
#include "gui/catalogue/ReadCommands.h"
#include "gui/compare/VergleichFrm.h"
#include "gui/fileops/KopierpfadFrm.h"
#include "gui/fileops/MeldungFrm.h"
#include "gui/fileops/NummerFrm.h"
#include "gui/settings/EinstellFrm.h"
#include "gui/support/KWBform.h"
#include "gui/support/Sound.h"
#include "gui/view/OrginalFrm.h"
#include "gui/widgets/AppState.h"
#include "gui/widgets/SecondaryWindow.h"
#include "gui/widgets/TextFit.h"
#include "gui/widgets/WindowPlacement.h"
#include "icons/IconExtractor.h"
#include "settings/SettingsFile.h"
#include "support/Dialogs.h"
#include "support/Funky.h"
#include "support/SafeFile.h"
#include "view/PagePainter.h"
#include "view/PageState.h"

#include <QApplication>
#include <QFile>
#include <QPainter>

#include <filesystem>
#include <system_error>

// The pictures are compiled into the window library; a static library's resources must be
// registered by hand or the linker drops them.
static void initResources() { Q_INIT_RESOURCE(resources); }

namespace bw {

namespace {
bool shutDownRan = false; // quit() does nothing before the message loop runs
} // namespace

Windows& windows()
{
    static Windows w;
    return w;
}

void createWindows()
{
    QCoreApplication::setApplicationName(kAppTitle);
    initResources();
    Windows& w = windows();
    w.IconF = new TIconF;
    QWidget* main = w.IconF;
    w.EinleseF = new TEinleseF(w.IconF);
    w.EinstellF = new TEinstellF(w.IconF, appState());
    w.KWBfrm = new TKWBfrm(main);
    w.VergleichF = new TVergleichF(w.IconF, appState());
    w.KopierpfadF = new TKopierpfadF(w.IconF);
    w.MeldungF = new TMeldungF(main);
    w.OrginalF = new TOrginalF(main);
    w.NummerF = new TNummerF(w.IconF, w.EinleseF, appState());
    w.StartF = new TStartF;
}

void destroyWindows()
{
    // An opened collection's database connection must close while Qt's SQL driver is loaded.
    appState().collection.reset();
    Windows& w = windows();
    delete w.StartF;
    delete w.EinleseF; // a window of its own, see TEinleseF
    delete w.MeldungF; // likewise
    delete w.IconF;    // owns the other secondary windows
    w = {};
}

void startUp(TIconF& main)
{
    AppState& s = appState();
    InitPaths();
    if (!s.catalogue)
        s.catalogue = std::make_unique<Catalogue>(Catalogue::kDefaultCapacity);
    s.catalogue->clearCatalogue();
    s.collection.reset();
    s.pixelThreshold = 5;
    pageState().cellsAcross = 1;

    if (TStartF* splash = windows().StartF) {
        showPainted(*splash);
        PumpMessages();
    }
    s.autoRead = true;
    main.CheckListBox1->clear();
    for (std::size_t t = 0; t < kFileTypeCount; ++t) {
        auto* item = new QListWidgetItem(QString::fromStdString(fileTypePattern(t)), main.CheckListBox1);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
    }
    // The six types of old show whole, whatever the desktop's font: the list and its box grow if
    // need be. The panel has no room for every row, so the later types are reached by scrolling.
    main.GroupBox1->resize(main.GroupBox1->width(),
                           main.GroupBox1->height() + growToShowRows(*main.CheckListBox1, static_cast<int>(kOldFileTypeCount)));
    s.backgroundColour = kColourButtonFace;
    s.windowsDirectory = configDirectory();
    removeStaleSettingsTemporaries(s.windowsDirectory);
    const bool settingsLoaded = loadSettings(main, s);
    MainIndexerHost(main).blankPage(); // the empty page shows the saved colour, read or not
    main.Bild->update();

    if (!settingsLoaded)
        s.readDirectory = programPaths().shareDirectory; // a first start shows the sample icons
    if (!isDirectory(s.readDirectory))
        s.readDirectory = homeDirectory();
    if (!isDirectory(s.copyDirectory))
        s.copyDirectory = homeDirectory();
    main.StatusBar1->setPanelText(0, pathText(s.readDirectory));
    main.StatusBar2->setPanelText(1, pathText(s.copyDirectory));
    main.setWindowTitle(QStringLiteral("Bildwiesel ") + kVersionText);
    // The window appears filled and painted, under the splash, before anything is read.
    showPainted(main);

    const std::uint64_t readsBefore = readsStarted();
    main.DirectoryListBox1->setDirectory(s.readDirectory);
    // Setting the list is the first change notification, whether or not the list moved: the
    // user's first pick of a directory must always count.
    main.directoryChangeSeen = true;
    // Whatever changed meanwhile is on the screen before the program stops reacting for a second;
    // the list's lines are laid out in one pass and painted in the next.
    PumpMessages();
    PumpMessages();
    if (TStartF* splash = windows().StartF)
        splash->close();
    // The tree is read once: not again when the directory change has read it, and not again
    // when the user cancelled that read; not at all when the program was ended meanwhile.
    if (s.autoRead && readsStarted() == readsBefore && !shutDownRan)
        readTree(appState(), main, *windows().EinleseF);
}

void shutDown(TIconF& main)
{
    silenceForExit();
    saveSettings(main, appState());
    shutDownRan = true;
    QCoreApplication::quit();
}

bool shutDownDone() { return shutDownRan; }

bool loadSettings(TIconF& main, AppState& state)
{
    const ExtraSettings extra = loadExtraSettingsFile(state.windowsDirectory + kExtraSettingsFileName);
    state.copyFormat = extra.copyFormat;
    for (std::size_t t = 0; t < kLaterFileTypeCount; ++t)
        main.CheckListBox1->item(static_cast<int>(kOldFileTypeCount + t))
            ->setCheckState(extra.laterFileTypes[t] ? Qt::Checked : Qt::Unchecked);
    const std::string path = state.windowsDirectory + kSettingsFileName;
    if (!regularFileExists(path))
        return false;
    const LoadedSettings loaded = loadSettingsFile(path);
    if (loaded.backgroundColour)
        state.backgroundColour = *loaded.backgroundColour;
    if (loaded.readDirectory)
        state.readDirectory = *loaded.readDirectory;
    if (loaded.copyDirectory)
        state.copyDirectory = *loaded.copyDirectory;
    if (loaded.autoRead) {
        state.autoRead = *loaded.autoRead;
        main.CheckBox4->setChecked(*loaded.autoRead); // unchecking starts nothing
    }
    for (std::size_t t = 0; t < kOldFileTypeCount && static_cast<int>(t) < main.CheckListBox1->count(); ++t)
        if (const std::optional<bool> mark = loaded.fileTypes[t])
            main.CheckListBox1->item(static_cast<int>(t))->setCheckState(*mark ? Qt::Checked : Qt::Unchecked);
    // The rest keeps its defaults and start-up goes on.
    if (loaded.error)
        dialogs().message(*loaded.error, kAppTitle);
    return true;
}

void saveSettings(const TIconF& main, const AppState& state)
{
    const auto checked = [&main](std::size_t row) {
        return static_cast<int>(row) < main.CheckListBox1->count()
            && main.CheckListBox1->item(static_cast<int>(row))->checkState() == Qt::Checked;
    };
    Settings current;
    current.backgroundColour = state.backgroundColour;
    current.readDirectory = state.readDirectory;
    current.copyDirectory = state.copyDirectory;
    current.autoRead = main.CheckBox4->isChecked();
    for (std::size_t t = 0; t < kOldFileTypeCount; ++t)
        current.fileTypes[t] = checked(t);
    ExtraSettings extra;
    extra.copyFormat = state.copyFormat;
    for (std::size_t t = 0; t < kLaterFileTypeCount; ++t)
        extra.laterFileTypes[t] = checked(kOldFileTypeCount + t);
    const std::string path = state.windowsDirectory + kSettingsFileName;
    const std::string extraPath = state.windowsDirectory + kExtraSettingsFileName;
    const bool saved = saveSettingsFile(path, current);
    if (!saveExtraSettingsFile(extraPath, extra) || !saved)
        dialogs().message(QStringLiteral("Die Einstellungen konnten nicht gespeichert werden:") + kLineBreak
                              + pathText(saved ? extraPath : path),
                          kAppTitle);
}

namespace {

// The painter's view of the main window.
class MainPaintHost final : public PaintHost {
public:
    explicit MainPaintHost(TIconF& main) : m_main(main) {}
    void setNumberPanel(const QString& text) override { m_main.Panel5->setText(text); }
    void setCountPanel(const QString& text) override { m_main.StatusBar1->setPanelText(1, text); }
    void setRangePanel(const QString& text) override { m_main.Panel3->setText(text); }
    void refreshNow(const QRect& area) override { m_main.Bild->refreshNow(area); }
    QImage extractIcon(std::string_view path, int iconIndex) override
    {
        return bw::extractIcon(std::filesystem::path(std::string(path)), iconIndex);
    }
    QImage extractIconAt(std::string_view path, int iconIndex, int edge) override
    {
        return bw::extractIcon(std::filesystem::path(std::string(path)), iconIndex, edge);
    }
    QImage storedIcon(std::int32_t entry) override { return disconnectedPicture(appState(), entry); }

private:
    TIconF& m_main;
};

} // namespace

void ComputePageGeometry(TIconF& main)
{
    PageState& page = pageState();
    computeGrid(page, main.Bild->width(), main.Bild->height());
    const ScrollRange range = scrollRangeFor(catalogueEntryCount(), page.pageCapacity);
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
    // The window may have moved to a screen of another device pixel ratio since the last resize.
    main.Bild->fitCanvas(toQColor(s.backgroundColour));
    paintEntries(main.Bild->canvas(), *s.catalogue, pageState(), toQColor(s.backgroundColour), first, last, host);
    main.Bild->update();
}

void repaintCurrentPage(TIconF& main)
{
    const PageState& page = pageState();
    PaintEntries(main, page.firstVisible, page.firstVisible + page.pageCapacity - 1);
}

void MainIndexerHost::blankPage()
{
    // The bitmap has the control's size: the resize handler keeps it so.
    m_main.Bild->canvas().fill(toQColor(appState().backgroundColour));
}

void MainIndexerHost::setCountPanel(const QString& text) { m_main.StatusBar1->setPanelText(1, text); }

void MainIndexerHost::pumpMessages() { PumpMessages(); }

void MainIndexerHost::computePageGeometry() { ComputePageGeometry(m_main); }

void MainIndexerHost::reportCatalogueFull() { dialogs().message(catalogueFullText(appState().catalogue->capacity()), kAppTitle); }

std::int64_t MainIndexerHost::tickCount() { return bw::tickCount(); }

int MainIndexerHost::iconCountOf(std::string_view path) { return iconCount(std::filesystem::path(std::string(path))); }

} // namespace bw
