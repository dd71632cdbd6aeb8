// The page in the real main window: mouse, marking, scrolling, resizing, the viewer, and a grab
// of what a person sees.

#include "catalogue/Indexer.h"
#include "gui/app/IconFrm.h"
#include "gui/app/MainU.h"
#include "gui/catalogue/EinleseFrm.h"
#include "gui/fileops/IconDrag.h"
#include "gui/view/OrginalFrm.h"
#include "gui/widgets/AppState.h"
#include "gui/widgets/TextFit.h"
#include "support/ScriptedDialogs.h"
#include "support/TestUtil.h"
#include "view/PagePainter.h"
#include "view/PageState.h"

#include <QApplication>
#include <QDrag>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

using namespace bw;

namespace {

const QRgb kRed = qRgb(255, 0, 0);
const QRgb kYellow = qRgb(255, 255, 0);
const QRgb kWhite = qRgb(255, 255, 255);

class PageView : public ::testing::Test {
protected:
    static inline QTemporaryDir* config = nullptr;
    static inline QTemporaryDir* files = nullptr;
    static inline QTemporaryDir* home = nullptr;

    static void SetUpTestSuite()
    {
        config = new QTemporaryDir;
        files = new QTemporaryDir;
        home = new QTemporaryDir; // the start-up read falls back to it
        qputenv("XDG_CONFIG_HOME", config->path().toLocal8Bit());
        qputenv("HOME", home->path().toLocal8Bit());
        createWindows();
        windows().IconF->show();
        QTRY_VERIFY(!windows().EinleseF->isVisible());
        windows().IconF->resize(640, 481);
    }
    static void TearDownTestSuite()
    {
        destroyWindows();
        delete files;
        delete config;
        delete home;
    }

    TIconF& main() { return *windows().IconF; }
    Catalogue& catalogue() { return *appState().catalogue; }
    std::string file(const char* name, const fixtures::Bytes& bytes)
    {
        return testutil::writeFile(std::filesystem::path(files->path().toStdString()) / name, bytes).string();
    }
    // Reads the files as the indexer does, then shows the first page.
    void fill(const std::vector<std::string>& paths)
    {
        catalogue().clearCatalogue();
        MainIndexerHost host(main());
        for (const std::string& p : paths)
            indexFile(catalogue(), p, host);
        main().ScrollBar1->setValue(1);
        repaintCurrentPage(main());
    }
    QRgb canvasAt(int x, int y) { return main().Bild->canvas().pixel(x, y); }
};

} // namespace

TEST_F(PageView, HoverTextsAndClickMarking)
{
    const std::string red = file("rot.ico", testutil::solidIcon(qRgb(255, 0, 0)));
    fill({red, red, red});
    QTest::mouseMove(main().Bild, QPoint(42 + 10, 10));
    EXPECT_EQ(pageState().pointerEntry, 2);
    EXPECT_EQ(main().Panel5->text(), "  Nr: 2");
    EXPECT_EQ(main().Panel4->text(), QString::fromStdString(red) + "  Nr: 0");
    EXPECT_EQ(canvasAt(42, 0), kWhite);

    QTest::mouseClick(main().Bild, Qt::LeftButton, {}, QPoint(42 + 10, 10));
    EXPECT_EQ(catalogue()[2].marked, 1);
    EXPECT_TRUE(main().Panel4->text().endsWith(" ->Icon wird GELÖSCHT"));
    EXPECT_EQ(main().Panel4->label()->palette().color(QPalette::WindowText), QColor(255, 255, 0));
    EXPECT_EQ(main().Panel5->text(), "-"); // the repaint resets the number panel
    EXPECT_EQ(canvasAt(42 + 3, 20), kYellow);
    EXPECT_NE(canvasAt(42, 0), kWhite); // the repaint cleared the hover frame
    QTest::mouseClick(main().Bild, Qt::LeftButton, {}, QPoint(42 + 10, 10));
    EXPECT_EQ(catalogue()[2].marked, 0);

    // Over an empty cell: no entry, black "  Nr: 0".
    QTest::mouseMove(main().Bild, QPoint(5 * 42 + 10, 10));
    EXPECT_EQ(main().Panel5->text(), "-");
    EXPECT_EQ(main().Panel4->text(), "  Nr: 0");
    QTest::mouseClick(main().Bild, Qt::LeftButton, {}, QPoint(5 * 42 + 10, 10));
    EXPECT_EQ(catalogue()[1].marked + catalogue()[2].marked + catalogue()[3].marked, 0);
}

TEST_F(PageView, RightClickOnlyMovesThePointer)
{
    const std::string red = file("rot.ico", testutil::solidIcon(qRgb(255, 0, 0)));
    fill({red, red, red});
    QTest::mouseClick(main().Bild, Qt::RightButton, {}, QPoint(2 * 42 + 10, 10));
    EXPECT_EQ(pageState().pointerEntry, 3);
    EXPECT_EQ(pageState().pointerCell, 3);
    EXPECT_EQ(catalogue()[3].marked, 0);
    main().PopupMenu1->close();
}

TEST_F(PageView, PageMarkingAndScrolling)
{
    const std::string red = file("rot.ico", testutil::solidIcon(qRgb(255, 0, 0)));
    const PageState& page = pageState();
    std::vector<std::string> many(static_cast<std::size_t>(page.pageCapacity + 5), red);
    fill(many);
    EXPECT_EQ(main().ScrollBar1->maximum(), 6);
    EXPECT_EQ(main().ScrollBar1->pageStep(), page.pageCapacity - 1);
    main().Seitemarkieren1->trigger();
    EXPECT_EQ(catalogue()[page.pageCapacity].marked, 1);
    EXPECT_EQ(catalogue()[page.pageCapacity + 1].marked, 0);
    main().ScrollBar1->setValue(6);
    EXPECT_EQ(page.firstVisible, 6);
    EXPECT_EQ(main().Panel3->text(), QStringLiteral("6 bis %1").arg(page.pageCapacity + 5));
    main().SeiteDemarkieren1->trigger();
    EXPECT_EQ(catalogue()[5].marked, 1);
    EXPECT_EQ(catalogue()[6].marked, 0);
    // A resize returns the view to entry 1.
    main().resize(600, 460);
    EXPECT_EQ(main().ScrollBar1->value(), 1);
    EXPECT_EQ(main().Bild->canvas().size(), main().Bild->size());
    main().resize(100, 100);
    EXPECT_GE(main().width(), kMinWindowWidth);
    EXPECT_GE(main().height(), kMinWindowHeight);
    main().resize(640, 481);
}

// A press and a move shorter than the drag distance is a click and marks; a longer one drags and
// leaves the mark as it was. The program's own windows take no drop, so no files are asked for.
TEST_F(PageView, DragStartsAfterTheDragDistanceAndFallsFlatOnThePage)
{
    fill({file("rot.ico", testutil::solidIcon(kRed))});
    main().SeiteDemarkieren1->trigger();
    const QPoint cell(20, 20);
    const QPoint near = cell + QPoint(QApplication::startDragDistance() - 1, 0);
    QTest::mousePress(main().Bild, Qt::LeftButton, {}, cell);
    QTest::mouseMove(main().Bild, near);
    QTest::mouseRelease(main().Bild, Qt::LeftButton, {}, near);
    EXPECT_EQ(catalogue()[1].marked, 1);

    QTest::mousePress(main().Bild, Qt::LeftButton, {}, cell);
    QTest::mouseMove(main().Bild, near + QPoint(1, 0));
    const QDrag* drag = main().Bild->findChild<QDrag*>(); // Qt lets it go once the events run again
    ASSERT_TRUE(drag);
    EXPECT_TRUE(drag->mimeData()->hasUrls());
    EXPECT_EQ(catalogue()[1].marked, 1);
    EXPECT_TRUE(dragFolder().path().empty());
    for (const QWidget* w : main().findChildren<QWidget*>())
        EXPECT_TRUE(w->window() != &main() || !w->acceptDrops()) << w->objectName().toStdString();
    EXPECT_FALSE(main().acceptDrops());
}

TEST_F(PageView, OriginalSizeViewer)
{
    testutil::ScriptedDialogs dialogs;
    TOrginalF& viewer = *windows().OrginalF;
    showOriginalSize(viewer, "/irgendwo/icon.ico");
    showOriginalSize(viewer, "");
    showOriginalSize(viewer, "/ordner.bmp/datei");
    EXPECT_EQ(dialogs.texts(), QStringList(3, QStringLiteral("Orginalgröße nur bei BMP möglich.")));
    EXPECT_EQ(fileExtensionLower("/Bilder/LOGO.BMP"), ".bmp");

    const std::string bmp = file("LOGO.BMP", fixtures::bmpFile(testutil::solid(qRgb(1, 2, 3), 100, 60), fixtures::BmpKind::Bits24));
    QTimer::singleShot(0, &viewer, [&viewer] { viewer.close(); });
    showOriginalSize(viewer, bmp);
    // The picture plus 25 pixels, wider only if the caption needs it, and the list of its one image.
    const int width = std::max(125, captionWidthNeeded(viewer));
    const int height = 85 + viewer.Bilder->height();
    EXPECT_EQ(viewer.size(), QSize(width, height));
    EXPECT_EQ(viewer.Image1->size(), QSize(100, 60));
    const QSize screen = QGuiApplication::primaryScreen()->size();
    EXPECT_EQ(viewer.pos(), QPoint((screen.width() - width) / 2, (screen.height() - height) / 2));

    dialogs.shown.clear();
    const std::string missing = files->path().toStdString() + "/fehlt.bmp";
    runCommand([&] { showOriginalSize(viewer, missing); });
    const std::string broken = file("kaputt.bmp", {'B', 'M', 1, 2, 3});
    runCommand([&] { showOriginalSize(viewer, broken); });
    EXPECT_EQ(dialogs.texts(),
              (QStringList {QStringLiteral("Datei %1 kann nicht geöffnet werden").arg(QString::fromStdString(missing)),
                            QStringLiteral("Bitmap ist ungültig")}));
}

// Below the picture one line per image of the entry's icon; choosing a line shows that image at
// its own size, transparent parts on a checkerboard. Lines fit the window. A name that is not
// UTF-8 opens as any other.
TEST_F(PageView, ViewerListsEveryImageOfTheIcon)
{
    using fixtures::dibImage;
    QImage holed = testutil::solid(qRgb(0, 0, 255), 48, 48);
    holed.setPixel(0, 0, qRgba(0, 0, 0, 0));
    const std::string ico = file("drei.ico",
                                 fixtures::iconFile({dibImage(testutil::solid(qRgb(255, 0, 0), 16, 16), 4),
                                                     dibImage(holed, 32),
                                                     {0, 0, 1, 32, fixtures::pngData(testutil::solid(qRgb(0, 255, 0), 256, 256))}}));
    const std::string bmp = file("bild.bmp", fixtures::bmpFile(testutil::solid(qRgb(1, 2, 3), 100, 60), fixtures::BmpKind::Bits24));
    const std::string notUtf8
        = file("bild\xE4\xFF.bmp", fixtures::bmpFile(testutil::solid(qRgb(1, 2, 3), 40, 30), fixtures::BmpKind::Bits24));
    const std::string ani = file("lauf.ani",
                                 fixtures::aniFile({fixtures::iconFile({dibImage(testutil::solid(qRgb(255, 0, 0), 16, 16), 4)}, 2),
                                                    fixtures::iconFile({dibImage(testutil::bands(), 24)}, 2)}));
    const fixtures::GroupIcon twoLanguages {std::nullopt, 1, {0x0409, 0x0407}, {dibImage(testutil::bands(), 32)}, {dibImage(holed, 32)}};
    const std::string dll = file("zwei.dll", fixtures::peFile({twoLanguages}, false));
    const std::string icl = file("name.icl", fixtures::neFile({{u"HAUPTICON", 0, {}, {dibImage(testutil::bands(), 24)}}}));
    const struct {
        std::string path;
        int index;
        QStringList lines;
        int shown; // the row shown first
        int choose;
        QSize chosenSize;
        QString group; // the line naming the group; none for other files
    } cases[]
        = {{bmp, 0, {"100 × 60, 24 Bit"}, 0, 0, {100, 60}, {}},
           {notUtf8, 0, {"40 × 30, 24 Bit"}, 0, 0, {40, 30}, {}},
           {ico, 0, {"16 × 16, 4 Bit", "48 × 48, 32 Bit", "256 × 256, 32 Bit, PNG"}, 2, 1, {48, 48}, {}},
           {ani, 0, {"16 × 16, 4 Bit, Bild 1", "32 × 32, 24 Bit, Bild 2"}, 1, 0, {16, 16}, {}},
           {dll, 0, {"32 × 32, 32 Bit, Sprache 1033", "48 × 48, 32 Bit, Sprache 1031"}, 1, 1, {48, 48}, "Gruppe 1, Sprachen 1033, 1031"},
           {icl, 0, {"32 × 32, 24 Bit"}, 0, 0, {32, 32}, "Gruppe „HAUPTICON“"}};
    TOrginalF& viewer = *windows().OrginalF;
    for (const auto& c : cases) {
        QStringList lines;
        int shown = -1;
        QRect before, after; // another size leaves the window where it is
        QTimer::singleShot(0, &viewer, [&] {
            for (int i = 0; i < viewer.Bilder->count(); ++i)
                lines << viewer.Bilder->item(i)->text();
            shown = viewer.Bilder->currentRow();
            before = viewer.geometry();
            viewer.Bilder->setCurrentRow(c.choose);
            after = viewer.geometry();
            viewer.close();
        });
        testutil::ScriptedDialogs dialogs;
        runCommand([&] { showOriginalSize(viewer, c.path, c.index); });
        EXPECT_TRUE(dialogs.texts().isEmpty());
        EXPECT_EQ(lines, c.lines) << c.path;
        EXPECT_EQ(shown, c.shown) << c.path;
        EXPECT_EQ(before, after) << c.path;
        EXPECT_EQ(viewer.Image1->size(), c.chosenSize) << c.path;
        EXPECT_TRUE(viewer.Bilder->viewport()->width() >= viewer.Bilder->sizeHintForColumn(0)
                    && viewer.Bilder->y() >= viewer.Image1->height() && viewer.Bilder->geometry().bottom() < viewer.height())
            << c.path;
        // The group's line between the picture and the list, whole.
        EXPECT_EQ(viewer.Gruppe->isHidden() ? QString() : viewer.Gruppe->text(), c.group) << c.path;
        EXPECT_TRUE(c.group.isEmpty()
                    || (viewer.Gruppe->y() >= viewer.Image1->height() && viewer.Gruppe->geometry().bottom() < viewer.Bilder->y()
                        && viewer.Gruppe->width() >= viewer.Gruppe->sizeHint().width()))
            << c.path;
    }
    std::filesystem::remove(notUtf8);
    // The chosen 48 x 48 image's transparent corner shows the checkerboard's white.
    EXPECT_EQ(viewer.Image1->pixmap().toImage().pixel(0, 0) & 0xFFFFFF, 0xFFFFFFu);

    // A file cut short has no picture: the message as for any entry without one.
    testutil::ScriptedDialogs dialogs;
    fixtures::Bytes cut = testutil::readFile(ico);
    cut.resize(cut.size() - 100);
    showOriginalSize(viewer, file("kurz.ico", cut), 0);
    EXPECT_EQ(dialogs.texts(), QStringList {QStringLiteral("Orginalgröße nur bei BMP möglich.")});
}

TEST_F(PageView, GrabShowsIconsAndTheRedCross)
{
    const std::string red = file("rot.ico", testutil::solidIcon(qRgb(255, 0, 0)));
    const std::string green = file("gruen.ico", testutil::solidIcon(qRgb(0, 200, 0), 4));
    const std::string broken = file("kaputt.ico", {'k', 'e', 'i', 'n', ' ', 'I', 'c', 'o', 'n'});
    const std::string bitmap = file("bild.bmp", fixtures::bmpFile(testutil::bands(false), fixtures::BmpKind::Bits24));
    fill({red, broken, green, bitmap});
    const QImage shot = main().grab().toImage();
    shot.save(QStringLiteral("page_view_grab.png"));
    const QPoint origin = main().Bild->mapTo(&main(), QPoint(0, 0));
    auto px = [&](int x, int y) { return shot.pixel(origin + QPoint(x, y)) & 0xFFFFFF; };
    EXPECT_EQ(px(20, 20), 0xFF0000u);           // red icon in cell 1
    EXPECT_EQ(px(42 + 20, 20), 0xFF0000u);      // the cross of the broken icon in cell 2
    EXPECT_EQ(px(42 + 1, 10), 0xFF0000u);       // its frame
    EXPECT_EQ(px(84 + 20, 20), 0x00FF00u);      // green icon, 4-bit: the nearest VGA colour
    EXPECT_EQ(px(126 + 5 + 30, 20), 0xFFFFFFu); // the bitmap's white band on the right
    EXPECT_EQ(catalogue()[2].defective, 1);
    EXPECT_EQ(main().Panel3->text(), "1 bis 4");
    EXPECT_EQ(main().StatusBar1->panelText(1), "Icon(s) 4");
}

// A window with room for one cell: a pointer left in a strip must not send the only entry off
// the page.
TEST_F(PageView, PageOfOneCellDrawsIntoItsCellWhereverThePointerWas)
{
    const QSize before = main().size();
    main().resize(230, 194);
    QApplication::processEvents();
    ASSERT_EQ(pageState().pageCapacity, 1);
    const std::string blue = file("blau.ico", testutil::solidIcon(qRgb(0, 0, 255)));
    pageState().pointerCell = 3; // the pointer was in the strip beside the cell
    fill({blue});
    EXPECT_EQ(canvasAt(5 + 16, 5 + 16), qRgb(0, 0, 255));
    EXPECT_EQ(main().Panel3->text(), "1 bis 1");
    main().resize(before);
    QApplication::processEvents();
}
