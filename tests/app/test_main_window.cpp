// The main window as a person finds it after start-up, and the windows created with it.

#include "gui/app/IconFrm.h"
#include "gui/app/MainU.h"
#include "gui/app/StartFrm.h"
#include "gui/catalogue/EinleseFrm.h"
#include "gui/catalogue/ReadCommands.h"
#include "gui/compare/VergleichFrm.h"
#include "gui/fileops/KopierpfadFrm.h"
#include "gui/fileops/MeldungFrm.h"
#include "gui/fileops/NummerFrm.h"
#include "gui/settings/EinstellFrm.h"
#include "gui/view/OrginalFrm.h"
#include "gui/widgets/AppState.h"
#include "gui/widgets/TextFit.h"
#include "support/Funky.h"
#include "support/ScriptedDialogs.h"
#include "support/TestUtil.h"

#include <QApplication>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace bw;

namespace {

class MainWindow : public ::testing::Test {
protected:
    static inline QTemporaryDir* config = nullptr;
    static inline QTemporaryDir* home = nullptr;

    static void SetUpTestSuite()
    {
        config = new QTemporaryDir;
        home = new QTemporaryDir;
        qputenv("XDG_CONFIG_HOME", config->path().toLocal8Bit());
        qputenv("HOME", home->path().toLocal8Bit());
        createWindows();
        windows().IconF->show(); // runs the start-up sequence
        // The start-up read closes its progress window 100 ms after it ended.
        QTRY_VERIFY(!windows().EinleseF->isVisible());
    }
    static void TearDownTestSuite()
    {
        destroyWindows();
        delete config;
        delete home;
    }
    TIconF& main() { return *windows().IconF; }
};

QStringList captions(const QList<QAction*>& actions)
{
    QStringList list;
    for (const QAction* a : actions)
        list << a->text();
    return list;
}

} // namespace

TEST_F(MainWindow, StartsWithoutSettingsFile)
{
    EXPECT_EQ(main().windowTitle(), QStringLiteral("Bildwiesel 1.110"));
    EXPECT_EQ(QApplication::applicationName(), QStringLiteral("Bildwiesel"));
    const QStringList types
        = {"*.ico", "*.cur", "*.exe", "*.dll", "*.icl", "*.bmp", "*.ani", "*.icns", "*.mun", "*.cpl", "*.ocx", "*.scr", "*.drv"};
    ASSERT_EQ(main().CheckListBox1->count(), types.size());
    for (int i = 0; i < types.size(); ++i) {
        EXPECT_EQ(main().CheckListBox1->item(i)->text(), types[i]);
        EXPECT_EQ(main().CheckListBox1->item(i)->checkState(), Qt::Checked);
    }
    EXPECT_TRUE(main().CheckBox4->isChecked());
    EXPECT_TRUE(appState().autoRead);
    // A first start reads the program's data folder and shows its sample icons; copies go home,
    // never into the program's (system) folder.
    const std::string dataFolder = programPaths().shareDirectory;
    const std::string homeDirectory = home->path().toStdString() + "/";
    EXPECT_EQ(appState().readDirectory, dataFolder);
    EXPECT_EQ(appState().copyDirectory, homeDirectory);
    EXPECT_EQ(main().DirectoryListBox1->directory(), dataFolder);
    EXPECT_EQ(main().StatusBar1->panelText(0).toStdString(), dataFolder);
    EXPECT_EQ(main().StatusBar2->panelText(1).toStdString(), homeDirectory);
    int samples = 0;
    for (std::int32_t n = 1; n <= appState().catalogue->entryCount(); ++n)
        samples += std::string((*appState().catalogue)[n].path()).starts_with(dataFolder + "beispiele/bildwiesel") ? 1 : 0;
    EXPECT_EQ(samples, 4);
    EXPECT_EQ(appState().windowsDirectory, config->path().toStdString() + "/bildwiesel/");
    EXPECT_EQ(appState().backgroundColour, kColourButtonFace);
    ASSERT_TRUE(appState().catalogue);
    EXPECT_EQ(appState().catalogue->capacity(), 1'000'000);
    EXPECT_FALSE(windows().StartF->isVisible());
}

TEST_F(MainWindow, EveryControlWithItsTextAndPlace)
{
    TIconF& m = main();
    EXPECT_EQ(m.Panel4->text(), "-");
    EXPECT_TRUE(m.Panel4->label()->font().bold());
    EXPECT_EQ(m.Panel4->geometry(), QRect(0, 0, m.centralWidget()->width(), 21));
    EXPECT_EQ(m.Panel1->width(), 166);
    EXPECT_EQ(m.Panel1->geometry().right(), m.centralWidget()->width() - 1);
    EXPECT_EQ(m.DriveComboBox1->geometry(), QRect(7, 6, 154, 19));
    EXPECT_EQ(m.DirectoryListBox1->geometry(), QRect(6, 26, 155, 103));
    EXPECT_EQ(m.FileListBox1->geometry(), QRect(6, 130, 155, 69));
    EXPECT_EQ(m.FileListBox1->mask(), "*.ico;*.dll;*.exe;*.icl;*.bmp;*.ani;*.icns;*.mun;*.cpl;*.ocx;*.scr;*.drv");
    // The file-type list and its box keep the design's size unless the font needs more rows' room.
    const int listGrown = m.CheckListBox1->height() - 83;
    EXPECT_GE(listGrown, 0);
    EXPECT_EQ(m.GroupBox1->geometry(), QRect(19, 200, 125, 133 + listGrown));
    EXPECT_EQ(m.GroupBox1->title(), "");
    EXPECT_EQ(m.BitBtn1->text(), "Einlesen");
    EXPECT_EQ(m.BitBtn1->toolTip(), "Einlesen der Symbole im Verzeichnis + Unterverzeichnissen");
    EXPECT_TRUE(m.BitBtn1->isDefault());
    EXPECT_EQ(m.BitBtn1->geometry(), QRect(6, 10, 95, 30));
    EXPECT_EQ(m.CheckBox4->geometry(), QRect(104, 18, 16, 16)); // beside the button, off its caption
    EXPECT_EQ(m.CheckBox4->text(), "");
    EXPECT_EQ(m.CheckBox4->toolTip(), "Klicken für Automatischen Einlesen");
    EXPECT_EQ(m.CheckListBox1->geometry(), QRect(12, 45, 101, 83 + listGrown));
    EXPECT_EQ(m.Bild->geometry(), m.Panel2->contentsRect());
    EXPECT_EQ(m.Panel3->height(), 24);
    {
        const TIconF fresh; // the design texts, before any page was painted
        EXPECT_EQ(fresh.Panel3->text(), "00000 bis 00000");
        EXPECT_EQ(fresh.Panel5->text(), "Nr: 1000000");
    }
    // Wider only if its text needs it, growing to the left.
    EXPECT_EQ(m.Panel5->geometry().adjusted(m.Panel5->width() - 66, 0, 0, 0), QRect(398, 3, 66, 19));
    EXPECT_GE(m.Panel5->width(), 66);
    EXPECT_EQ(m.ScrollBar1->minimum(), 1);
    EXPECT_EQ(m.ScrollBar1->value(), 1);
    EXPECT_EQ(m.ScrollBar1->geometry().right(), m.Panel3->width() - 2);
    EXPECT_EQ(m.StatusBar1->height(), 25);
    EXPECT_EQ(m.StatusBar2->height(), 24);
    EXPECT_EQ(m.StatusBar2->geometry().bottom(), m.centralWidget()->height() - 1);
    EXPECT_EQ(m.StatusBar2->panelText(0), "Kopierverzeichnis");
    EXPECT_EQ(m.StatusBar2->palette().color(QPalette::Window), QColor(255, 0, 255));
    // Every named control can be found by its name.
    for (const char* name : {"Panel4", "Panel1", "DriveComboBox1", "DirectoryListBox1", "FileListBox1", "GroupBox1", "BitBtn1", "CheckBox4",
                             "CheckListBox1", "Panel2", "Bild", "Panel3", "Panel5", "ScrollBar1", "StatusBar1", "StatusBar2", "PopupMenu1"})
        EXPECT_TRUE(m.findChild<QObject*>(QString::fromLatin1(name))) << name;
}

TEST_F(MainWindow, MenusInOrder)
{
    const QList<QAction*> menus = main().menuBar()->actions();
    ASSERT_EQ(captions(menus), (QStringList {"&Programm", "Icons", "Extra"}));
    EXPECT_EQ(captions(menus[0]->menu()->actions()),
              (QStringList {"Einstellungen", "Beschreibung", "&Info", main().KWB1->text(), "&Ende"}));
    EXPECT_EQ(captions(menus[1]->menu()->actions()),
              (QStringList {"Vergleichen", "Suchergebnis", "Alle Kopieren", "Alle Löschen", "Nummerieren", "Checken", "",
                            "Sammlung speichern …", "Sammlung öffnen …", "Sammlung auffrischen"}));
    EXPECT_EQ(captions(menus[2]->menu()->actions()), (QStringList {"Bmp Als Ico", "Alle Laufwerke lesen"}));
    EXPECT_EQ(captions(main().PopupMenu1->actions()),
              (QStringList {"als Icon Kopieren ", "Als BMP Kopieren", "Original Kopieren", "Als PNG Kopieren", "In die Zwischenablage",
                            "Verweis kopieren", "Löschen", "Ausgewählte Löschen", "Ausgewählte Kopieren", "Oginalgröße", "Seite Markieren",
                            "Seite Demarkieren"}));
    EXPECT_TRUE(main().Ende1->isEnabled());
}

TEST_F(MainWindow, SecondaryWindowsCreatedOnceAndHidden)
{
    const Windows& w = windows();
    struct Expected {
        QWidget* window;
        const char* className;
        QString caption;
        QSize size;
    };
    const Expected expected[] = {
        {w.EinleseF, "TEinleseF", "Symbole Einlesen", {413, 310}},
        {w.EinstellF, "TEinstellF", "Einstellungen", {256, 109}},
        {w.KWBfrm, "TKWBfrm", "Bildwiesel", {190, 279}},
        {w.VergleichF, "TVergleichF", "Icons Vergleichen", {346, 256}},
        {w.KopierpfadF, "TKopierpfadF", "Kopierverzeichnis", {313, 202}},
        {w.MeldungF, "TMeldungF", "Kopieren", {565, 248}},
        {w.OrginalF, "TOrginalF", "Orginalgröße", {112, 80}},
        {w.NummerF, "TNummerF", "Nummerrieren", {132, 112}},
    };
    for (const Expected& e : expected) {
        ASSERT_TRUE(e.window) << e.className;
        EXPECT_EQ(e.window->objectName(), e.className);
        // The start-up read has named the last file it read in the progress window's caption.
        if (e.window == w.EinleseF)
            EXPECT_TRUE(e.window->windowTitle().startsWith(QString::fromStdString(programPaths().shareDirectory)));
        else
            EXPECT_EQ(e.window->windowTitle(), e.caption);
        // The design size, wider only where a caption or a button text needs it.
        EXPECT_EQ(e.window->height(), e.size.height()) << e.className;
        EXPECT_GE(e.window->width(), e.size.width()) << e.className;
        EXPECT_LE(e.window->width(), std::max({e.size.width(), captionWidthNeeded(*e.window), 320})) << e.className;
        EXPECT_FALSE(e.window->isVisible());
    }
    EXPECT_EQ(w.StartF->size(), QSize(402, 118));
}

TEST_F(MainWindow, ClickOnAFileIndexesItAlone)
{
    QTemporaryDir dir;
    const std::filesystem::path base = dir.path().toStdString();
    testutil::writeFile(base / "a.ico", testutil::solidIcon(qRgb(255, 0, 0)));
    testutil::writeFile(base / "drei.dll", testutil::libraryWithIcons(3, true));
    readSingleFile(appState(), main(), *windows().EinleseF, (base / "drei.dll").string());
    Catalogue& c = *appState().catalogue;
    ASSERT_EQ(c.entryCount(), 3);
    EXPECT_EQ(c[3].iconIndex, 2);
    readSingleFile(appState(), main(), *windows().EinleseF, (base / "a.ico").string());
    ASSERT_EQ(c.entryCount(), 1);
    EXPECT_EQ(c[1].path(), (base / "a.ico").string());
}

TEST_F(MainWindow, ErrorsOfACommandReachTheUser)
{
    testutil::ScriptedDialogs dialogs;
    runCommand([] { throw CommandError(QStringLiteral("Bitmap ist ungültig")); });
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Bitmap ist ungültig"));
    EXPECT_EQ(dialogs.shown[0].caption, QStringLiteral("Bildwiesel"));
}

TEST_F(MainWindow, EnterPressesEinlesenAsTheDefaultButton)
{
    int presses = 0;
    const auto connection = QObject::connect(main().BitBtn1, &QPushButton::clicked, [&] { ++presses; });
    QTest::keyClick(main().CheckListBox1, Qt::Key_Return);
    QTRY_VERIFY(!windows().EinleseF->isVisible());
    QTest::keyClick(main().DirectoryListBox1, Qt::Key_Enter);
    QTRY_VERIFY(!windows().EinleseF->isVisible());
    EXPECT_EQ(presses, 2);
    QObject::disconnect(connection);
}
