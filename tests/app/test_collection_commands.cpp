// "Sammlung speichern …" and "Sammlung öffnen …" in the real main window.

#include "compare/CollectionPictures.h"
#include "gui/app/IconFrm.h"
#include "gui/app/MainU.h"
#include "gui/catalogue/CollectionCommands.h"
#include "gui/catalogue/EinleseFrm.h"
#include "gui/compare/VergleichFrm.h"
#include "gui/fileops/IconDrag.h"
#include "gui/widgets/AppState.h"
#include "gui/widgets/PageImage.h"
#include "support/ProgramSession.h"
#include "support/ScriptedDialogs.h"
#include "support/TestUtil.h"
#include "view/PageState.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace bw;
namespace fs = std::filesystem;

namespace {

class CollectionCommands : public testutil::ProgramTest {
protected:
    QTemporaryDir outDir;
    QString file = outDir.path() + QStringLiteral("/a.bwsammlung");
    TIconF& main() { return *windows().IconF; }
    void start()
    {
        testutil::startProgram(config.path(), tree.string(), "/tmp");
        QTRY_VERIFY(!windows().EinleseF->isVisible() && windows().IconF->isEnabled());
    }
};

} // namespace

TEST_F(CollectionCommands, SaveAskBeforeReplacingThenOpenWithoutTheSources)
{
    testutil::writeFile(tree / "a.ico", testutil::solidIcon(qRgb(255, 0, 0)));
    testutil::writeFile(tree / "b.ico", testutil::solidIcon(qRgb(0, 0, 255)));
    start();
    ASSERT_EQ(appState().catalogue->entryCount(), 2);
    dialogs.saveAnswers << file;
    main().SammlungSpeichern1->trigger();
    ASSERT_TRUE(fs::exists(file.toStdString()));
    const fixtures::Bytes saved = testutil::readFile(file.toStdString());

    // A second save to that name asks; the default answer keeps the file.
    fs::remove(tree / "a.ico");
    dialogs.saveAnswers << file;
    main().SammlungSpeichern1->trigger();
    EXPECT_EQ(dialogs.shown.last().kind, "confirm");
    EXPECT_EQ(testutil::readFile(file.toStdString()), saved);

    dialogs.openAnswers << file;
    main().SammlungOeffnen1->trigger();
    ASSERT_TRUE(appState().collection);
    EXPECT_EQ(appState().catalogue->entryCount(), 2);
    // The gone file's cell shows its stored picture with the blue corner; the other one none.
    const QImage& page = main().Bild->canvas();
    const QString pathA = QString::fromStdString((tree / "a.ico").string());
    const int a = appState().catalogue->operator[](1).path() == (tree / "a.ico").string() ? 0 : 1;
    EXPECT_EQ(page.pixel(42 * a + 20, 20), qRgb(255, 0, 0));
    EXPECT_EQ(page.pixel(42 * a + 40, 40), qRgb(0, 64, 255));
    EXPECT_NE(page.pixel(42 * (1 - a) + 40, 40), qRgb(0, 64, 255));
    QTest::mouseMove(main().Bild, QPoint(42 * a + 10, 10));
    EXPECT_EQ(main().Panel4->text(), pathA + "  Nr: 0 (nicht verbunden)");

    // "Vergleichen" takes the stored pictures: the gone file is no defect.
    TVergleichF& compare = *windows().VergleichF;
    QTimer::singleShot(0, &compare, [&] {
        compare.BitBtn2->click();
        EXPECT_EQ(compare.ListBox1->count(), 0);
        EXPECT_EQ(compare.Label2->text(), QStringLiteral("0 doppelte Icons gefunden."));
        compare.BitBtn3->click();
    });
    main().Kopieren1->trigger();

    // A file that is no collection: a message, and the catalogue stays.
    testutil::writeFile(outDir.path().toStdString() + "/x.bwsammlung", {'x'});
    dialogs.openAnswers << outDir.path() + QStringLiteral("/x.bwsammlung");
    main().SammlungOeffnen1->trigger();
    EXPECT_TRUE(dialogs.shown.last().text.endsWith("ist keine Bildwiesel-Sammlung."));
    EXPECT_EQ(appState().catalogue->entryCount(), 2);
    EXPECT_TRUE(appState().collection);
}

TEST_F(CollectionCommands, GoneOrChangedSourcesWorkFromTheStoredPictureOrAreReported)
{
    testutil::writeFile(tree / "a.ico", testutil::solidIcon(qRgb(255, 0, 0)));
    testutil::writeFile(tree / "b.ico", testutil::solidIcon(qRgb(0, 255, 0)));
    start();
    dialogs.saveAnswers << file;
    main().SammlungSpeichern1->trigger();
    fs::remove(tree / "a.ico");
    testutil::writeFile(tree / "b.ico", testutil::solidIcon(qRgb(0, 0, 255), 32)); // another icon, another size
    dialogs.openAnswers << file;
    main().SammlungOeffnen1->trigger();
    appState().copyDirectory = outDir.path().toStdString() + "/";
    const std::int32_t a = (*appState().catalogue)[1].path() == (tree / "a.ico").string() ? 1 : 2, b = 3 - a;
    // Command x gone (a, red) or changed (b, green) source: the stored colour in the file written
    // ("" the clipboard), or (null) the entry reported gone and nothing written.
    const std::tuple<QAction * TIconF::*, std::int32_t, QString> cases[]
        = {{&TIconF::Kopieren2, a, "_a.ico"}, {&TIconF::AlsBMPKopieren1, b, "_b.bmp"},
           {&TIconF::Zwischenablage1, b, ""}, {&TIconF::OriginalKopieren1, b, {}},
           {&TIconF::AlsPNGKopieren1, a, {}}, {&TIconF::VerweisKopieren1, b, {}},
           {&TIconF::Oginalgre1, b, {}},      {&TIconF::Loeschen, b, {}}};
    for (const auto& [command, n, written] : cases) {
        SCOPED_TRACE(n);
        dialogs.shown.clear();
        QGuiApplication::clipboard()->clear();
        pageState().pointerEntry = n;
        (main().*command)->trigger();
        const QString gone = QString::fromStdString(std::string((*appState().catalogue)[n].path())) + "..ist nicht mehr vorhanden.";
        EXPECT_EQ(dialogs.shown.isEmpty() ? QString() : dialogs.shown.last().text.right(gone.size()), written.isNull() ? gone : QString());
        const QImage out
            = written.isEmpty() ? QGuiApplication::clipboard()->image() : QImage(outDir.path() + "/" + QString::number(n) + written);
        EXPECT_EQ(out.isNull() ? 0 : out.pixel(16, 16), written.isNull() ? 0 : n == a ? qRgb(255, 0, 0) : qRgb(0, 255, 0));
    }
    EXPECT_EQ(std::distance(fs::directory_iterator(outDir.path().toStdString()), {}), 3); // the collection and two copies

    // Dragged out, the gone and the changed one give their stored pictures, as file and as data.
    QTemporaryDir dragBase;
    DragFolder folder(dragBase.path().toStdString());
    const CollectionKeptPictures kept(appState());
    for (const std::int32_t n : {a, b}) {
        SCOPED_TRACE(n);
        const std::unique_ptr<QMimeData> data = pageDragData(*appState().catalogue, n, folder, &kept);
        ASSERT_TRUE(data);
        const QRgb stored = n == a ? qRgb(255, 0, 0) : qRgb(0, 255, 0);
        EXPECT_EQ(QImage::fromData(data->data(QStringLiteral("image/png"))).pixel(16, 16), stored);
        ASSERT_EQ(data->urls().size(), 1);
        EXPECT_EQ(QImage(data->urls().value(0).toLocalFile()).pixel(16, 16), stored);
    }
}

// "Sammlung auffrischen" reads again a file added and one rewritten in place (its directory keeps
// its time), and the collection in its place then has their pictures.
TEST_F(CollectionCommands, RefreshReadsAgainWhatChangedSinceSaving)
{
    fs::create_directories(tree / "sub");
    testutil::writeFile(tree / "a.ico", testutil::solidIcon(qRgb(255, 0, 0)));
    testutil::writeFile(tree / "sub/b.ico", testutil::solidIcon(qRgb(0, 255, 0)));
    start();
    dialogs.saveAnswers << file;
    main().SammlungSpeichern1->trigger();
    dialogs.openAnswers << file;
    main().SammlungOeffnen1->trigger();
    ASSERT_TRUE(appState().collection);
    testutil::writeFile(tree / "sub/b.ico", testutil::solidIcon(qRgb(0, 0, 255)));
    testutil::writeFile(tree / "c.ico", testutil::solidIcon(qRgb(9, 9, 9)));
    main().SammlungAuffrischen1->trigger();
    QTRY_VERIFY(!windows().EinleseF->isVisible() && windows().IconF->isEnabled());
    ASSERT_TRUE(appState().collection);
    const Catalogue& refreshed = *appState().catalogue;
    ASSERT_EQ(refreshed.entryCount(), 3);
    for (std::int32_t n = 1; n <= 3; ++n) {
        CollectionEntry stored;
        ASSERT_TRUE(appState().collection->entry(n, stored));
        const std::string name = fs::path(std::string(refreshed[n].path())).filename().string();
        const QRgb expected = name == "a.ico" ? qRgb(255, 0, 0) : name == "b.ico" ? qRgb(0, 0, 255) : qRgb(9, 9, 9);
        EXPECT_EQ(storedImage(stored, appState().collection->info().background).pixel(16, 16), expected) << name;
    }
}
