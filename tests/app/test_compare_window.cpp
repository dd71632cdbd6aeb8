// "Vergleichen" in the main window: the menu check, the window's controls, a run, and closing
// the window during a run.

#include "gui/app/IconFrm.h"
#include "gui/app/MainU.h"
#include "gui/catalogue/EinleseFrm.h"
#include "gui/compare/VergleichFrm.h"
#include "gui/widgets/AppState.h"
#include "support/ProgramSession.h"
#include "support/ScriptedDialogs.h"
#include "support/TestUtil.h"
#include "view/PageState.h"

#include <QFile>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace bw;
namespace fs = std::filesystem;

namespace {

class CompareWindow : public testutil::ProgramTest {
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        testutil::writeFile(tree / "a.ico", testutil::solidIcon(qRgb(255, 0, 0)));
        testutil::writeFile(tree / "b.ico", testutil::solidIcon(qRgb(255, 0, 0), 4));
        testutil::writeFile(tree / "c.ico", {0, 0, 1, 0, 1, 0});
        testutil::writeFile(tree / "d.ico", testutil::solidIcon(qRgb(0, 0, 255)));
        testutil::writeFile(tree / "e.ICO", testutil::solidIcon(qRgb(255, 0, 0)));
        testutil::writeSettings(config.path(), tree.string(), "/tmp", true, "110000");
    }

    void start()
    {
        createWindows();
        windows().IconF->show();
        QTRY_VERIFY(!windows().EinleseF->isVisible());
        ASSERT_EQ(catalogue().entryCount(), 5);
        ASSERT_EQ(catalogue()[5].path(), (tree / "e.ICO").string());
    }
    TIconF& main() { return *windows().IconF; }
    TVergleichF& window() { return *windows().VergleichF; }
    Catalogue& catalogue() { return *appState().catalogue; }
    QString line(const char* kind, const char* name, int n = 0)
    {
        const QString path = QString::fromStdString((tree / name).string());
        return n ? QStringLiteral("DOPPELT: %1 -> %2").arg(n).arg(path) : QString::fromLatin1(kind) + path;
    }
    QStringList listLines()
    {
        QStringList lines;
        for (int i = 0; i < window().ListBox1->count(); ++i)
            lines << window().ListBox1->item(i)->text();
        return lines;
    }
    std::vector<int> marks()
    {
        std::vector<int> m;
        for (std::int32_t n = 1; n <= catalogue().entryCount(); ++n)
            m.push_back(catalogue()[n].marked);
        return m;
    }
};

} // namespace

TEST_F(CompareWindow, RunFromTheMenuMarksTheLaterCopies)
{
    start();
    EXPECT_TRUE(main().Kopieren1->isEnabled());
    catalogue()[4].marked = 1; // the user's own mark: a run clears it
    QStringList shownLines;
    QString shownThreshold, shownTime, arrowBefore, arrowAfter, result;
    bool buttonEnabledAfter = false;
    std::pair<QRgb, QRgb> shownPair;
    QTimer::singleShot(0, &window(), [&] {
        shownThreshold = window().Label5->text();
        shownTime = window().Label3->text();
        arrowBefore = window().Label6->text();
        window().CheckBox1->setChecked(true); // "Ton Aus"
        window().BitBtn2->click();
        shownLines = listLines();
        arrowAfter = window().Label6->text();
        result = window().Label2->text();
        buttonEnabledAfter = window().BitBtn2->isEnabled();
        shownPair = {window().Pic1->pixmap().toImage().pixel(3, 3), window().Pic2->pixmap().toImage().pixel(3, 3)};
        window().BitBtn3->click();
    });
    main().Kopieren1->trigger();
    EXPECT_FALSE(window().isVisible());
    EXPECT_EQ(window().windowTitle(), QStringLiteral("Icons Vergleichen"));
    EXPECT_FALSE(window().windowFlags() & (Qt::WindowCloseButtonHint | Qt::WindowSystemMenuHint));
    EXPECT_EQ(shownThreshold, QStringLiteral("Pixeldifferrenz: 0,5% = 5"));
    EXPECT_EQ(shownTime, QStringLiteral("00:00:00"));
    EXPECT_EQ(arrowBefore, QStringLiteral("->"));
    EXPECT_EQ(arrowAfter, QStringLiteral("="));
    EXPECT_EQ(result, QStringLiteral("2 doppelte Icons gefunden."));
    EXPECT_TRUE(buttonEnabledAfter);
    EXPECT_EQ(shownPair, std::make_pair(qRgb(255, 0, 0), qRgb(255, 0, 0))); // the last pair found: 1 and 5
    EXPECT_EQ(shownLines,
              QStringList({line("", "b.ico", 2), line("  DEFEKT: ", "c.ico"), line("", "e.ICO", 5), line("  DEFEKT: ", "c.ico")}));
    EXPECT_EQ(marks(), (std::vector<int> {0, 1, 1, 0, 1}));
    EXPECT_EQ(window().ListBox1->count(), 0); // "Abbrechen" empties the list
    EXPECT_TRUE(dialogs.shown.isEmpty());
}

TEST_F(CompareWindow, ACloseRequestDuringARunCancelsIt)
{
    start();
    for (std::int32_t n = 1; n <= 5; ++n)
        catalogue()[n].marked = 1;
    bool runReturned = false;
    QTimer::singleShot(0, &window(), [&] {
        window().CheckBox1->setChecked(true);
        // The window manager asks to close while the run pumps its first message.
        QTimer::singleShot(0, &window(), [&] { window().close(); });
        window().BitBtn2->click();
        runReturned = window().BitBtn2->isEnabled();
    });
    main().Kopieren1->trigger();
    EXPECT_TRUE(runReturned);
    EXPECT_FALSE(window().isVisible());
    EXPECT_TRUE(window().compareCancelled);
    // Entry 1 and its first partner were visited; the rest keep their marks.
    EXPECT_EQ(marks(), (std::vector<int> {0, 1, 1, 1, 1}));
    EXPECT_TRUE(main().isEnabled());
}

TEST_F(CompareWindow, MenuCheckRefusesEmptyAndMixedCatalogues)
{
    start();
    catalogue().clearCatalogue();
    main().Kopieren1->trigger();
    catalogue().appendEntry((tree / "a.ico").string(), 0);
    catalogue().appendEntry((tree / "shell32.dll").string(), 0);
    main().Kopieren1->trigger();
    EXPECT_EQ(
        dialogs.texts(),
        QStringList({QStringLiteral("Keine Symbole geladen !"), QStringLiteral("Es sollten nur Icon+Curser Dateien verglichen werden !")}));
    EXPECT_FALSE(window().isVisible());
}

TEST_F(CompareWindow, ThresholdIsKeptBetweenShowingsAndThePictureMinimises)
{
    start();
    QString moved, reopened;
    bool minimised = false;
    QTimer::singleShot(0, &window(), [&] {
        window().ScrollBar1->setValue(10);
        moved = window().Label5->text();
        QTest::mouseClick(window().Image1, Qt::RightButton);
        minimised = window().windowState() & Qt::WindowMinimized;
        QTest::keyClick(&window(), Qt::Key_Escape);
    });
    main().Kopieren1->trigger();
    QTimer::singleShot(0, &window(), [&] {
        reopened = window().Label5->text();
        window().reject();
    });
    main().Kopieren1->trigger();
    EXPECT_EQ(moved, QStringLiteral("Pixeldifferrenz: 1% = 10"));
    EXPECT_EQ(reopened, moved);
    EXPECT_EQ(appState().pixelThreshold, 10);
    EXPECT_EQ(window().ScrollBar1->maximum(), 1024);
    EXPECT_EQ(window().ScrollBar1->pageStep(), 10);
    EXPECT_TRUE(minimised);
}

// With 100 entries or more the progress text shows only now and then, yet the window answers at
// once: a cancel waiting when the run starts is seen at its first entry.
TEST_F(CompareWindow, ALargeCatalogueAnswersACancelAtOnce)
{
    for (int n = 0; n < 150; ++n)
        testutil::writeFile(tree / ("m" + std::to_string(n) + ".ico"), testutil::solidIcon(qRgb(n, 200, 100)));
    createWindows();
    windows().IconF->show();
    QTRY_VERIFY(!windows().EinleseF->isVisible());
    for (std::int32_t n = 1; n <= catalogue().entryCount(); ++n)
        catalogue()[n].marked = 1;
    QTimer::singleShot(0, &window(), [&] {
        QTimer::singleShot(0, window().BitBtn3, &QPushButton::click);
        window().BitBtn2->click();
    });
    main().Kopieren1->trigger();
    const std::vector<int> m = marks();
    EXPECT_EQ(m.size(), 155u);
    EXPECT_LE(std::count(m.begin(), m.end(), 0), 2); // entry 1 and its first partner at most
}
