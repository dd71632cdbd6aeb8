// Reading commands and settings in the real main window: start-up with a settings file, reads
// of trees, volumes and single files, the progress window, the settings dialog, saving at the end.

#include "gui/app/IconFrm.h"
#include "gui/app/MainU.h"
#include "gui/catalogue/EinleseFrm.h"
#include "gui/catalogue/ReadCommands.h"
#include "gui/settings/EinstellFrm.h"
#include "gui/support/Sound.h"
#include "gui/widgets/AppState.h"
#include "gui/widgets/DirectoryWidgets.h"
#include "settings/SettingsFile.h"
#include "support/Funky.h"
#include "support/ProgramSession.h"
#include "support/ScriptedDialogs.h"
#include "support/TestUtil.h"
#include "view/PageState.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace bw;
namespace fs = std::filesystem;

namespace {

class Reading : public testutil::ProgramTest {
protected:
    QTemporaryDir home;

    void SetUp() override
    {
        ProgramTest::SetUp();
        qputenv("HOME", home.path().toLocal8Bit());
        fs::create_directories(tree / "a");
        fs::create_directories(tree / ".svn");
        fs::create_directories(tree / "b");
        put("eins.ico", testutil::solidIcon(qRgb(255, 0, 0)));
        put(".versteckt.ico", testutil::solidIcon(qRgb(255, 0, 0)));
        put("a/zwei.ico", testutil::solidIcon(qRgb(0, 255, 0)));
        put(".svn/nie.ico", testutil::solidIcon(qRgb(0, 0, 0)));
        put("b/drei.exe", testutil::libraryWithIcons(3));
        put("b/bild.bmp", fixtures::bmpFile(testutil::solid(qRgb(9, 9, 9), 8, 8), fixtures::BmpKind::Bits24));
    }

    void put(const char* relative, const fixtures::Bytes& bytes) { testutil::writeFile(tree / relative, bytes); }
    std::string settingsPath() const { return config.path().toStdString() + "/bildwiesel/bwsave.kwb"; }
    void writeSettings(const QByteArray& content)
    {
        fs::create_directories(config.path().toStdString() + "/bildwiesel");
        QFile f(QString::fromStdString(settingsPath()));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    std::string extraPath() const { return config.path().toStdString() + "/bildwiesel/bildwiesel.conf"; }
    QByteArray settingsFor(const std::string& readDirectory, const char* autoRead, const char* types = "1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n")
    {
        return QByteArray("-2147483633\r\n") + QByteArray::fromStdString(readDirectory) + "\r\n/tmp/\r\n" + autoRead + "\r\n" + types;
    }
    void start()
    {
        createWindows();
        windows().IconF->show();
        QTRY_VERIFY(!windows().EinleseF->isVisible());
    }
    TIconF& main() { return *windows().IconF; }
    Catalogue& catalogue() { return *appState().catalogue; }
    std::vector<std::string> relativePaths()
    {
        std::vector<std::string> out;
        for (std::int32_t n = 1; n <= catalogue().entryCount(); ++n)
            out.emplace_back(catalogue()[n].path().substr(tree.string().size() + 1));
        return out;
    }
    void checkOnly(const QStringList& types)
    {
        for (int i = 0; i < main().CheckListBox1->count(); ++i) {
            QListWidgetItem* item = main().CheckListBox1->item(i);
            item->setCheckState(types.contains(item->text()) ? Qt::Checked : Qt::Unchecked);
        }
    }
    QList<QByteArray> savedLines()
    {
        QFile f(QString::fromStdString(settingsPath()));
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return f.readAll().split('\n');
    }
};

} // namespace

TEST_F(Reading, StartUpReadsTheStoredDirectory)
{
    writeSettings(settingsFor(tree.string() + "/", "1"));
    start();
    EXPECT_EQ(appState().readDirectory, tree.string() + "/");
    EXPECT_EQ(relativePaths(),
              (std::vector<std::string> {"eins.ico", "a/zwei.ico", "b/drei.exe", "b/drei.exe", "b/drei.exe", "b/bild.bmp"}));
    EXPECT_EQ(main().StatusBar1->panelText(0).toStdString(), tree.string() + "/");
    EXPECT_EQ(main().StatusBar1->panelText(1), "Icon(s) 6");
    TEinleseF& progress = *windows().EinleseF;
    EXPECT_EQ(progress.windowTitle().toStdString(), (tree / "b/bild.bmp").string());
    EXPECT_EQ(progress.Label1->text(), "Suche *.drv Dateien .");
    EXPECT_EQ(progress.Label2->text(), "Symbole 6");
    EXPECT_EQ(progress.ListBox1->count(), 4);
    EXPECT_TRUE(main().isEnabled());
    EXPECT_TRUE(dialogs.shown.isEmpty());
}

// The tree is read once at start-up, whether the directory list moved to it or not, and a read
// the user cancels is not started again.
TEST_F(Reading, StartUpReadsOnceAndACancelStaysCancelled)
{
    struct Case {
        const char* name;
        bool listStartsThere;
        bool cancel;
    };
    const QString workingDirectory = QDir::currentPath();
    for (const Case& c : {Case {"list moves", false, false}, Case {"list already there", true, false}, Case {"cancelled", false, true}}) {
        SCOPED_TRACE(c.name);
        appState() = AppState {};
        writeSettings(settingsFor(tree.string() + "/", "1"));
        QDir::setCurrent(c.listStartsThere ? QString::fromStdString(tree.string()) : home.path());
        QTimer canceller; // "Abbrechen" at the first pump inside the first read
        QObject::connect(&canceller, &QTimer::timeout, &canceller, [&canceller] {
            if (windows().EinleseF && windows().EinleseF->readRunning) {
                windows().EinleseF->BitBtn1->click();
                canceller.stop();
            }
        });
        if (c.cancel)
            canceller.start(0);
        const std::uint64_t readsBefore = readsStarted();
        start();
        QDir::setCurrent(workingDirectory);
        EXPECT_EQ(readsStarted() - readsBefore, 1u);
        if (c.cancel)
            EXPECT_LT(catalogue().entryCount(), 6);
        else
            EXPECT_EQ(relativePaths(),
                      (std::vector<std::string> {"eins.ico", "a/zwei.ico", "b/drei.exe", "b/drei.exe", "b/drei.exe", "b/bild.bmp"}));
        EXPECT_TRUE(main().isEnabled());
        destroyWindows();
    }
}

// Start-up puts each window on the screen only to paint it at once: the splash first, the main
// window under it, then the progress window of the read.
TEST_F(Reading, EveryWindowPaintsBeforeTheNextAppears)
{
    class Recorder : public QObject {
    public:
        QStringList firsts;
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            auto* widget = qobject_cast<QWidget*>(watched);
            if (widget && (event->type() == QEvent::Show || event->type() == QEvent::Paint)) {
                const QString name = widget->window()->objectName();
                const QString what = name + (event->type() == QEvent::Show ? " shown" : " painted");
                if ((name == "TStartF" || name == "TIconF" || name == "TEinleseF") && !firsts.contains(what))
                    firsts << what;
            }
            return false;
        }
    } recorder;
    writeSettings(settingsFor(tree.string() + "/", "1"));
    qApp->installEventFilter(&recorder);
    start();
    qApp->removeEventFilter(&recorder);
    EXPECT_EQ(recorder.firsts,
              (QStringList {"TStartF shown", "TStartF painted", "TIconF shown", "TIconF painted", "TEinleseF shown", "TEinleseF painted"}));
}

TEST_F(Reading, FileTypesAndNothingChecked)
{
    writeSettings(settingsFor(tree.string() + "/", "0"));
    start();
    EXPECT_EQ(catalogue().entryCount(), 0); // automatic reading off: nothing read at start
    checkOnly({"*.exe"});
    main().BitBtn1Click();
    QTRY_VERIFY(!windows().EinleseF->isVisible());
    EXPECT_EQ(relativePaths(), (std::vector<std::string> {"b/drei.exe", "b/drei.exe", "b/drei.exe"}));
    checkOnly({});
    main().BitBtn1Click();
    EXPECT_EQ(catalogue().entryCount(), 0);
    EXPECT_EQ(main().StatusBar1->panelText(1), "Icon(s) 0");
}

TEST_F(Reading, SettingsFileMarksAndAutoReadOff)
{
    writeSettings(settingsFor(tree.string() + "/", "0", "1\r\n0\r\n1\r\n1\r\n1\r\n0\r\n"));
    ASSERT_TRUE(saveExtraSettingsFile(extraPath(), {ExportFormat::Icon, {false, true, true, true, true, true, false}}));
    start();
    EXPECT_FALSE(main().CheckBox4->isChecked());
    EXPECT_FALSE(appState().autoRead);
    for (int i = 0; i < 13; ++i) // the six of bwsave.kwb, then "*.ani" ... "*.drv" of bildwiesel.conf
        EXPECT_EQ(main().CheckListBox1->item(i)->checkState(), (QList {1, 5, 6, 12}.contains(i) ? Qt::Unchecked : Qt::Checked)) << i;
    EXPECT_EQ(catalogue().entryCount(), 0);
    EXPECT_EQ(main().windowTitle(), "Bildwiesel 1.110");
}

TEST_F(Reading, DeletedReadDirectoryAndBadNumbers)
{
    writeSettings("16777214\r\n/gibt/es/nicht/\r\n/auch/nicht/\r\nvielleicht\r\n");
    start();
    EXPECT_EQ(dialogs.texts(), QStringList {QStringLiteral("'vielleicht' ist kein gültiger Integerwert")});
    EXPECT_EQ(appState().backgroundColour, 16777214u); // read before the bad line
    // Directories that are gone fall back to the user's home, not to the program's folder.
    const std::string homeDirectory = home.path().toStdString() + "/";
    EXPECT_EQ(appState().readDirectory, homeDirectory);
    EXPECT_EQ(appState().copyDirectory, homeDirectory);
    EXPECT_EQ(main().DirectoryListBox1->directory(), homeDirectory);
    EXPECT_TRUE(main().CheckBox4->isChecked()); // the rest keeps its defaults
    EXPECT_EQ(main().windowTitle(), "Bildwiesel 1.110");
}

TEST_F(Reading, CancelKeepsWhatWasReadAndTheMainWindowWaits)
{
    writeSettings(settingsFor(tree.string() + "/", "0"));
    start();
    TEinleseF& progress = *windows().EinleseF;
    bool mainEnabledDuringRead = true;
    bool cancelEnabledDuringRead = false;
    // "Abbrechen" at the first pump of messages inside the read.
    QTimer::singleShot(0, &progress, [&] {
        mainEnabledDuringRead = main().isEnabled();
        cancelEnabledDuringRead = progress.BitBtn1->isEnabled();
        progress.BitBtn1->click();
    });
    main().BitBtn1Click();
    EXPECT_FALSE(mainEnabledDuringRead);
    EXPECT_TRUE(cancelEnabledDuringRead);
    // What was read stays, and the list shows exactly that.
    const std::int32_t read = catalogue().entryCount();
    EXPECT_LT(read, 6);
    // The file at which the cancel came may be listed without being read.
    EXPECT_GE(progress.ListBox1->count(), read);
    EXPECT_LE(progress.ListBox1->count(), read + 1);
    EXPECT_EQ(main().StatusBar1->panelText(1), "Icon(s) " + QString::number(read));
    QTRY_VERIFY(!progress.isVisible());
    EXPECT_TRUE(main().isEnabled());
}

TEST_F(Reading, AllDrivesEndsEntirelyOnCancel)
{
    writeSettings(settingsFor(tree.string() + "/", "0"));
    start();
    QTimer::singleShot(0, windows().EinleseF, [] { windows().EinleseF->BitBtn1->click(); });
    main().AlleLaufwerkelesen1->trigger();
    EXPECT_EQ(catalogue().entryCount(), 0);
    EXPECT_LE(windows().EinleseF->ListBox1->count(), 1); // at most the file at which the cancel came
    QTRY_VERIFY(!windows().EinleseF->isVisible());
}

TEST_F(Reading, FullCatalogueIsReportedOnceAndEndsTheRead)
{
    writeSettings(settingsFor(tree.string() + "/", "0"));
    start();
    appState().catalogue = std::make_unique<Catalogue>(2);
    // What the progress label and the count panel show under the message.
    struct Answerer final : Dialogs {
        QStringList under;
        void message(const QString&, const QString&) override
        {
            under << windows().EinleseF->Label2->text() << windows().IconF->StatusBar1->panelText(1);
        }
        bool confirm(const QString&, const QString&) override { return false; }
        void about(const QString&, const QString&) override {}
        std::optional<QColor> chooseColour(const QColor&) override { return {}; }
        std::optional<QString> openPicture(const QString&, const QString&) override { return {}; }
        std::optional<QString> savePicture(const QString&, const QString&) override { return {}; }
    } answerer;
    Dialogs* scripted = setDialogs(&answerer);
    main().BitBtn1Click();
    setDialogs(scripted);
    EXPECT_EQ(catalogue().entryCount(), 2);
    EXPECT_EQ(answerer.under, (QStringList {"Symbole 2", "Icon(s) 2"}));
    EXPECT_TRUE(windows().EinleseF->readCancelled);
    appState().catalogue = std::make_unique<Catalogue>(2);
    main().BitBtn1Click();
    EXPECT_EQ(dialogs.texts(), QStringList {QStringLiteral("Die Maximale Symbolzahl von 2 ist erreicht !\r\nBy By Baby !")});
}

TEST_F(Reading, FileListAndDirectoryChanges)
{
    writeSettings(settingsFor(tree.string() + "/", "0"));
    start();
    FileListBox& files = *main().FileListBox1;
    QStringList names;
    for (int i = 0; i < files.count(); ++i)
        names << files.item(i)->text();
    EXPECT_EQ(names, (QStringList {".versteckt.ico", "eins.ico"}));                                        // hidden files are listed
    QTest::mouseClick(files.viewport(), Qt::LeftButton, {}, files.visualItemRect(files.item(1)).center()); // reads it alone
    EXPECT_EQ(relativePaths(), std::vector<std::string> {"eins.ico"});
    EXPECT_EQ(main().StatusBar1->panelText(1), "2 Dateien");
    EXPECT_TRUE(main().isEnabled());
    QTest::keyClick(&files, Qt::Key_Up); // choosing with the keys reads too
    EXPECT_EQ(relativePaths(), std::vector<std::string> {".versteckt.ico"});

    // With automatic reading, a new directory is read at once.
    main().CheckBox4->setChecked(true); // checking the box reads too
    QTRY_VERIFY(!windows().EinleseF->isVisible());
    main().DirectoryListBox1->setDirectory((tree / "b").string());
    QTRY_VERIFY(!windows().EinleseF->isVisible());
    EXPECT_EQ(appState().readDirectory, (tree / "b").string() + "/");
    EXPECT_EQ(relativePaths(), (std::vector<std::string> {"b/drei.exe", "b/drei.exe", "b/drei.exe", "b/bild.bmp"}));
}

TEST_F(Reading, NamesShownEscapedAndNewFoldersListedOnEinlesen)
{
    const fs::path odd = tree / "b\344r";
    fs::create_directories(odd / "neu\tx");
    testutil::writeFile(odd / "zeile\nzwei.ico", testutil::solidIcon(qRgb(255, 0, 0)));
    writeSettings(settingsFor(odd.string() + "/", "0"));
    start();
    DirectoryListBox& folders = *main().DirectoryListBox1;
    EXPECT_EQ(main().FileListBox1->item(0)->text(), "\"zeile\\nzwei.ico\"");
    EXPECT_EQ(folders.item(folders.count() - 2)->text().trimmed(), "\"b\\344r\"");
    EXPECT_EQ(folders.item(folders.count() - 1)->text().trimmed(), "\"neu\\tx\"");
    EXPECT_EQ(main().StatusBar1->panelText(0), pathText(odd.string() + "/"));

    fs::create_directories(odd / "später"); // made meanwhile: listed once "Einlesen" starts
    main().BitBtn1->click();
    EXPECT_EQ(folders.item(folders.count() - 1)->text().trimmed(), "später");
    fs::remove_all(odd); // Qt cannot remove names that are not UTF-8
}

TEST_F(Reading, SettingsDialogColoursAndSavingAtTheEnd)
{
    writeSettings(settingsFor(tree.string() + "/", "1"));
    start();
    TEinstellF& dialog = *windows().EinstellF;
    dialogs.colourAnswers = {QColor(255, 255, 255), QColor(255, 0, 0), QColor(255, 255, 0), QColor(254, 255, 255), std::nullopt};
    for (int i = 0; i < 5; ++i)
        dialog.BitBtn1Click();
    EXPECT_EQ(dialogs.texts(), QStringList(3, QStringLiteral("Die Farbe darf nicht Rot,Weiß oder Gelb sein .")));
    EXPECT_EQ(appState().backgroundColour, 254u | (255u << 8) | (255u << 16));
    // The dialog opens with the colour it gave last, black at first.
    EXPECT_EQ(dialogs.colourDialogStarts.first(), QColor(0, 0, 0));
    EXPECT_EQ(dialogs.colourDialogStarts.last(), QColor(254, 255, 255));
    // The page is repainted in the new colour (cells beyond the entries show the background).
    EXPECT_EQ(main().Bild->canvas().pixel(main().Bild->width() - 1, main().Bild->height() - 1), qRgb(254, 255, 255));

    main().CheckListBox1->item(3)->setCheckState(Qt::Unchecked);
    main().CheckListBox1->item(8)->setCheckState(Qt::Unchecked);
    ASSERT_TRUE(soundDeviceOpen()); // the sound at the read's end
    main().close();                 // the close box saves like "&Ende"
    // The program ends silent, leaving the device for the exit to close (closing it waits for
    // the audio server's buffer).
    EXPECT_FALSE(soundPlaying());
    EXPECT_TRUE(soundDeviceOpen());
    QList<QByteArray> lines = savedLines();
    ASSERT_EQ(lines.size(), 11); // ten lines, each ending in CR LF
    EXPECT_EQ(loadExtraSettingsFile(extraPath()).laterFileTypes, (std::array {true, true, false, true, true, true, true}));
    EXPECT_EQ(lines[0], "16777214\r");
    EXPECT_EQ(lines[1], QByteArray::fromStdString(tree.string() + "/\r"));
    EXPECT_EQ(lines[3], "1\r");
    EXPECT_EQ(lines[7], "0\r");

    destroyWindows();
    appState() = AppState {};
    start();
    EXPECT_EQ(appState().backgroundColour, 16777214u);
    windows().EinstellF->BitBtn3Click(); // "Neutralfarbe"
    main().Ende1->trigger();
    EXPECT_EQ(savedLines()[0], "-2147483633\r");
    EXPECT_EQ(savedLines()[6], "1\r");

    // A settings file that cannot be written is reported, not silently lost.
    dialogs.shown.clear();
    appState().windowsDirectory = settingsPath() + "/"; // a file, not a folder
    saveSettings(main(), appState());
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_TRUE(dialogs.shown[0].text.startsWith(QStringLiteral("Die Einstellungen konnten nicht gespeichert werden:")));
}

// The window shows a read at screen speed: texts and lines kept between two pumps are shown with
// their latest values, every line in order, and the page geometry follows the final count.
TEST_F(Reading, PacedReadShowsEveryLineInOrderAndTheFinalTexts)
{
    for (int d = 0; d < 20; ++d)
        fs::create_directories(tree / ("viele/d" + std::to_string(100 + d)));
    for (int d = 0; d < 20; ++d)
        for (int f = 0; f < 40; ++f)
            put(("viele/d" + std::to_string(100 + d) + "/f" + std::to_string(100 + f) + ".ico").c_str(),
                testutil::solidIcon(qRgb(d, f, 0)));
    writeSettings(settingsFor(tree.string() + "/viele/", "1"));
    start();
    ASSERT_EQ(catalogue().entryCount(), 800);
    TEinleseF& progress = *windows().EinleseF;
    ASSERT_EQ(progress.ListBox1->count(), 800);
    for (int n = 1; n <= 800; ++n)
        ASSERT_EQ(progress.ListBox1->item(n - 1)->text().toStdString(), std::string(catalogue()[n].path())) << n;
    EXPECT_EQ(progress.windowTitle().toStdString(), std::string(catalogue()[800].path()));
    EXPECT_EQ(progress.Label2->text(), "Symbole 800");
    EXPECT_EQ(progress.Label1->text(), "Suche *.drv Dateien .");
    EXPECT_EQ(main().ScrollBar1->maximum(), 800 - pageState().pageCapacity + 1);
}
