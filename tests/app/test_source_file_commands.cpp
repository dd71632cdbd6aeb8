// Deleting, renumbering and checking the icons' own files in the real main window.

#include "gui/app/IconFrm.h"
#include "gui/app/MainU.h"
#include "gui/catalogue/EinleseFrm.h"
#include "gui/fileops/MeldungFrm.h"
#include "gui/fileops/NummerFrm.h"
#include "gui/widgets/AppState.h"
#include "support/Funky.h"
#include "support/ProgramSession.h"
#include "support/ScriptedDialogs.h"
#include "support/TestUtil.h"
#include "support/WindowChecks.h"
#include "view/PageState.h"

#include <QFile>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace bw;
namespace fs = std::filesystem;

namespace {

std::int64_t fakeNow = 0;
std::int64_t fakeClock() { return fakeNow; }

class SourceFileCommands : public testutil::ProgramTest {
protected:
    QTemporaryDir dataHome;
    fs::path trashFiles {dataHome.path().toStdString() + "/Trash/files"};

    void SetUp() override
    {
        ProgramTest::SetUp();
        qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit());
    }
    void TearDown() override
    {
        ProgramTest::TearDown();
        qunsetenv("XDG_DATA_HOME");
    }
    fs::path put(const std::string& relative, const fixtures::Bytes& bytes) { return testutil::writeFile(tree / relative, bytes); }
    void start() { testutil::startProgram(config.path(), tree.string(), "/tmp"); }
    void waitForRead() { QTRY_VERIFY(!windows().EinleseF->isVisible() && windows().IconF->isEnabled()); }
    TIconF& main() { return *windows().IconF; }
    TMeldungF& report() { return *windows().MeldungF; }
    Catalogue& catalogue() { return *appState().catalogue; }
    QStringList reportLines() { return testutil::linesOf(report().ListBox1); }
    std::vector<std::string> namesIn(const fs::path& dir)
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(dir))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
    // Runs "Nummerieren" with a prefix; the window answers from inside its modal loop.
    void renumber(const QString& prefix)
    {
        TNummerF& window = *windows().NummerF;
        QTimer::singleShot(0, &window, [&window, prefix] {
            window.Edit1->setText(prefix);
            window.BitBtn1->click();
        });
        main().Nummerieren1->trigger();
        waitForRead();
    }
};

} // namespace

TEST_F(SourceFileCommands, DeleteTheEntryUnderThePointer)
{
    put("lib.dll", testutil::libraryWithIcons(1));
    const fs::path icon = put("weg.ico", testutil::solidIcon(qRgb(0, 0, 255)));
    const fs::path gone = put("fort.ico", testutil::solidIcon(qRgb(0, 0, 255)));
    start();
    const auto entryOf = [this](const fs::path& p) {
        for (std::int32_t n = 1; n <= catalogue().entryCount(); ++n)
            if (catalogue()[n].path() == p.string())
                return n;
        return 0;
    };
    pageState().pointerEntry = entryOf(tree / "lib.dll");
    main().Loeschen->trigger();
    ASSERT_EQ(dialogs.texts(), QStringList {"Es sollten nur Icons, Curser oder Bmp gelöscht werden."});
    EXPECT_TRUE(fs::exists(tree / "lib.dll"));

    fs::remove(gone);
    pageState().pointerEntry = entryOf(gone);
    main().Loeschen->trigger();
    EXPECT_EQ(dialogs.texts().last().toStdString(), gone.string() + "\r\n Ist nicht mehr vorhanden und kann nicht gelöscht werden.");

    pageState().pointerEntry = entryOf(icon);
    main().Loeschen->trigger();
    EXPECT_FALSE(fs::exists(icon));
    EXPECT_TRUE(fs::exists(trashFiles / "weg.ico"));
    EXPECT_EQ(catalogue()[entryOf(icon)].defective, 1); // the repaint found it gone
    EXPECT_EQ(dialogs.shown.size(), 2);

    // An empty cell behind the last entry: nothing at all.
    pageState().pointerEntry = catalogue().entryCount() + 1;
    main().Loeschen->trigger();
    EXPECT_EQ(dialogs.shown.size(), 2);
}

TEST_F(SourceFileCommands, ARefusedDeletionIsReportedAndTheFileStays)
{
    const fs::path icon = put("bleibt.ico", testutil::solidIcon(qRgb(0, 0, 255)));
    const fs::path library = put("lib.dll", testutil::libraryWithIcons(3));
    start();
    testutil::writeFile(dataHome.path().toStdString() + "/Trash", {0}); // no trash can be made
    pageState().pointerEntry = 1;
    main().Loeschen->trigger();
    EXPECT_EQ(dialogs.texts(), QStringList {QString::fromStdString(icon.string()) + "..kann nicht gelöscht werden."});
    EXPECT_TRUE(fs::exists(icon));

    // One line for each file, not for each of its icons.
    for (std::int32_t n = 1; n <= 4; ++n)
        catalogue()[n].marked = 1;
    main().AugewhlteLschen1->trigger();
    EXPECT_EQ(report().Label1->text(), "0 Icons gelöscht");
    EXPECT_EQ(reportLines(),
              (QStringList {QString::fromStdString(icon.string()) + "..kann nicht gelöscht werden.",
                            QString::fromStdString(library.string()) + "..kann nicht gelöscht werden.", "FERTIG"}));
    EXPECT_TRUE(fs::exists(icon));
}

TEST_F(SourceFileCommands, MarkedIconsOfOneExecutableDeleteItOnce)
{
    put("a.exe", testutil::libraryWithIcons(3));
    put("b.ico", testutil::solidIcon(qRgb(0, 255, 0)));
    const fs::path missing = put("c.ico", testutil::solidIcon(qRgb(0, 255, 0)));
    start();
    ASSERT_EQ(catalogue().entryCount(), 5); // b.ico, c.ico, then a.exe three times
    fs::remove(missing);
    for (std::int32_t n = 2; n <= 5; ++n)
        catalogue()[n].marked = 1;
    main().AugewhlteLschen1->trigger();
    EXPECT_EQ(report().windowTitle(), "Ausgwählte Icons Löschen");
    EXPECT_EQ(report().Label1->text(), "1 Icons gelöscht");
    // The file gone before the command is listed; the executable's later entries are no failure.
    EXPECT_EQ(reportLines(), (QStringList {QString::fromStdString(missing.string()) + "..ist nicht mehr vorhanden.", "FERTIG"}));
    EXPECT_TRUE(fs::exists(trashFiles / "a.exe"));
    EXPECT_TRUE(fs::exists(tree / "b.ico"));
    for (std::int32_t n = 2; n <= 5; ++n) {
        EXPECT_EQ(catalogue()[n].marked, 0) << n;
        EXPECT_EQ(catalogue()[n].defective, 1) << n;
    }
    EXPECT_EQ(catalogue()[1].defective, 0);
    report().close();

    catalogue().clearCatalogue();
    main().AugewhlteLschen1->trigger();
    EXPECT_EQ(report().Label1->text(), "0 Icons gelöscht");
    EXPECT_EQ(reportLines(), QStringList {"FERTIG"});
}

TEST_F(SourceFileCommands, DeleteAllAsksAndStaysInsideTheReadDirectory)
{
    for (int i = 0; i < 10; ++i)
        put("i" + std::to_string(i) + ".ico", testutil::solidIcon(qRgb(0, 0, 255)));
    for (int i = 0; i < 5; ++i)
        put("p" + std::to_string(i) + ".exe", testutil::libraryWithIcons(1));
    QTemporaryDir elsewhere;
    const fs::path outside = testutil::writeFile(elsewhere.path().toStdString() + "/fremd.ico", testutil::solidIcon(qRgb(1, 1, 1)));
    start();
    ASSERT_EQ(catalogue().entryCount(), 15);
    catalogue().appendEntry(outside.string(), 0); // as after a read of another tree

    main().AlleLschen1->trigger(); // answered "Nein"
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].caption, "Bestätigung");
    EXPECT_EQ(dialogs.shown[0].text.toStdString(), "Wirklich alle Löschen in :\r\n" + tree.string() + "/");
    EXPECT_FALSE(report().isVisible());
    EXPECT_EQ(namesIn(tree).size(), 15u);

    dialogs.confirmAnswers = {true};
    main().AlleLschen1->trigger();
    waitForRead();
    EXPECT_EQ(report().windowTitle(), "Alle Icons, Curser. Bmp Löschen");
    EXPECT_EQ(report().Label1->text(), "10 Icons gelöscht");
    EXPECT_EQ(reportLines(),
              QStringList {QString::fromStdString(outside.string()) + "..liegt außerhalb von " + QString::fromStdString(tree.string())
                           + "/ und wurde nicht gelöscht."});
    EXPECT_TRUE(fs::exists(outside));
    EXPECT_EQ(namesIn(tree), (std::vector<std::string> {"p0.exe", "p1.exe", "p2.exe", "p3.exe", "p4.exe"}));
    EXPECT_EQ(namesIn(trashFiles).size(), 10u);
    EXPECT_EQ(catalogue().entryCount(), 5); // read again
}

TEST_F(SourceFileCommands, RenumberingNeverLosesAFile)
{
    for (const char* name : {"z.ico", "b.ico", "m.ico"})
        put(name, testutil::solidIcon(qRgb(0, 0, 255)));
    put("x.dll", testutil::libraryWithIcons(1));
    start();
    main().Nummerieren1->trigger();
    EXPECT_EQ(dialogs.texts(), QStringList {"Keine Icon Dateien vorhanden !"});
    EXPECT_FALSE(windows().NummerF->isVisible());
    fs::remove(tree / "x.dll");
    main().FileListBox1->refresh();

    // Twelve files, in the list's order.
    for (int i = 0; i < 9; ++i)
        put("n" + std::to_string(i) + ".ico", testutil::solidIcon(qRgb(255, 0, 0)));
    main().FileListBox1->refresh();
    const fixtures::Bytes firstInList = testutil::readFile(tree / "b.ico");
    dialogs.shown.clear();
    renumber(QStringLiteral("AbC"));
    std::vector<std::string> expected;
    for (int i = 0; i < 12; ++i)
        expected.push_back("AbC_" + std::string(i < 10 ? "0" : "") + std::to_string(i) + ".ico");
    EXPECT_EQ(namesIn(tree), expected);
    EXPECT_EQ(testutil::readFile(tree / "AbC_00.ico"), firstInList);
    EXPECT_TRUE(dialogs.shown.isEmpty());
    EXPECT_EQ(windows().NummerF->BitBtn1->text(), "und LOS");
    EXPECT_EQ(catalogue().entryCount(), 12);

    // Again with the same prefix: the same names, no failure.
    renumber(QStringLiteral("AbC"));
    EXPECT_EQ(namesIn(tree), expected);
    EXPECT_TRUE(dialogs.shown.isEmpty());

    // A prefix that cannot be part of a name renames nothing.
    TNummerF& window = *windows().NummerF;
    QTimer::singleShot(0, &window, [&window] {
        window.Edit1->setText(QStringLiteral("a/b"));
        window.BitBtn1->click();
        window.close();
    });
    main().Nummerieren1->trigger();
    EXPECT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(namesIn(tree), expected);
}

TEST_F(SourceFileCommands, RenumberingKeepsAFileWhoseNameIsWanted)
{
    for (const char* name : {"a.ico", "b.ico", "c.ico"})
        put(name, testutil::solidIcon(qRgb(0, 0, 255)));
    fs::create_directories(tree / "_1.ico"); // not a file, so not in the list, but its name is taken
    testutil::writeFile(tree / "_1.ico" / "inhalt", {4});
    start();
    renumber(QString());
    EXPECT_EQ(dialogs.texts(), QStringList {"1 konnten nicht umbenannt werden, der neue Name ist schon vergeben !"});
    EXPECT_EQ(namesIn(tree), (std::vector<std::string> {"_0.ico", "_1.ico", "_2.ico", "b.ico"}));
    EXPECT_EQ(testutil::readFile(tree / "_1.ico" / "inhalt"), fixtures::Bytes {4});
}

// After each command that removes or renames files the file list shows what is on disk, so that
// no click reads a file that is gone and renumbering counts no file as missing.
TEST_F(SourceFileCommands, TheFileListFollowsEveryDeletionAndRenaming)
{
    for (const char* name : {"a.ico", "b.ico", "c.ico", "d.ico"})
        put(name, testutil::solidIcon(qRgb(0, 0, 255)));
    start();
    const auto entryOf = [this](const char* name) {
        for (std::int32_t n = 1; n <= catalogue().entryCount(); ++n)
            if (catalogue()[n].path() == (tree / name).string())
                return n;
        return 0;
    };
    const struct {
        const char* command;
        std::function<void()> run;
    } steps[] = {
        {"Löschen",
         [&] {
             pageState().pointerEntry = entryOf("a.ico");
             main().Loeschen->trigger();
         }},
        {"Ausgewählte Löschen",
         [&] {
             catalogue()[entryOf("b.ico")].marked = 1;
             main().AugewhlteLschen1->trigger();
         }},
        {"Nummerieren", [&] { renumber(QStringLiteral("N")); }},
        {"Alle Löschen",
         [&] {
             put("p.exe", testutil::libraryWithIcons(1));
             main().FileListBox1->refresh();
             dialogs.confirmAnswers = {true};
             main().AlleLschen1->trigger();
             waitForRead();
         }},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.command);
        step.run();
        EXPECT_EQ(main().FileListBox1->names(), namesIn(tree));
        report().close();
    }
    EXPECT_EQ(namesIn(tree), std::vector<std::string> {"p.exe"});
}

TEST_F(SourceFileCommands, CheckMarksDamagedFiles)
{
    put("gut.ico", testutil::solidIcon(qRgb(0, 0, 255)));
    start();
    main().Checken1->trigger();
    EXPECT_EQ(report().windowTitle(), "Alle Icons auf Fehler Checken");
    EXPECT_EQ(report().Label1->text(), "FERTIG: Alle Icons OK !");
    EXPECT_EQ(catalogue()[1].marked, 0);
    report().close();

    put("fuenf.ico", fixtures::Bytes(5, 0));
    put("sechs.ico", fixtures::Bytes(6, 0));
    put("zeiger.cur", fixtures::iconFile({{32, 32, 1, 1, fixtures::iconDib(testutil::bands(), 24)}}, 2));
    put("lib.dll", testutil::libraryWithIcons(2));
    const fs::path gone = put("weg.ico", testutil::solidIcon(qRgb(0, 0, 255)));
    main().BitBtn1Click();
    waitForRead();
    fs::remove(gone);
    main().Checken1->trigger();
    // A header of six zero bytes passes the header test, but no icon loads from it.
    EXPECT_EQ(report().Label1->text(), "FERTIG: 3 Icons Defekt !");
    QStringList lines = reportLines();
    lines.sort();
    EXPECT_EQ(lines,
              (QStringList {QString::fromStdString((tree / "fuenf.ico").string()) + " ist Defekt, wurde zum Löschen markiert.",
                            QString::fromStdString((tree / "sechs.ico").string()) + " ist Defekt, wurde zum Löschen markiert.",
                            QString::fromStdString(gone.string()) + " ist Defekt, wurde zum Löschen markiert."}));
    std::int32_t marked = 0;
    for (std::int32_t n = 1; n <= catalogue().entryCount(); ++n)
        marked += catalogue()[n].marked;
    EXPECT_EQ(marked, 3);
}

TEST_F(SourceFileCommands, CheckCancelledAfterTheFirstRefreshKeepsItsMarks)
{
    for (int i = 0; i < 6; ++i)
        put("k" + std::to_string(i) + ".ico", fixtures::Bytes(3, 0)); // all damaged
    start();
    // The first refresh comes before entry 1; "Abbrechen" is pressed during it.
    fakeNow = 1'000'000;
    setTickSource(fakeClock);
    QTimer::singleShot(0, &report(), [this] { report().BitBtn1->click(); });
    main().Checken1->trigger();
    EXPECT_EQ(report().Label1->text(), "FERTIG: 1 Icons Defekt !");
    EXPECT_EQ(catalogue()[1].marked, 1);
    EXPECT_EQ(catalogue()[2].marked, 0);
}

TEST_F(SourceFileCommands, ACloseRequestDuringRenumberingStopsItAfterTheCurrentFile)
{
    for (int i = 0; i < 5; ++i)
        put("f" + std::to_string(i) + ".ico", testutil::solidIcon(qRgb(255, 0, 0)));
    start();
    TNummerF& window = *windows().NummerF;
    bool stayedOpen = false;
    QTimer::singleShot(0, &window, [&] {
        // The run's first refresh delivers the window manager's close request.
        QTimer::singleShot(0, &window, [&] {
            testutil::requestClose(window);
            stayedOpen = window.isVisible();
        });
        window.BitBtn1->click();
    });
    main().Nummerieren1->trigger();
    waitForRead();
    EXPECT_TRUE(stayedOpen); // the run closes the window itself when it has ended
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(namesIn(tree), (std::vector<std::string> {"AbC_0.ico", "f1.ico", "f2.ico", "f3.ico", "f4.ico"}));
}
