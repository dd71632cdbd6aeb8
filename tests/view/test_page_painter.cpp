// The page of icons, pixel by pixel: cells, icons, the red defect frames and cross, the yellow
// mark frames, the strips, the hover frame, the status texts and the hit-test.

#include "gui/widgets/AppState.h"
#include "support/TestUtil.h"
#include "view/PagePainter.h"

#include <QFileInfo>
#include <QtMath>

#include <gtest/gtest.h>

#include <map>

using namespace bw;

namespace {

const QRgb kBackground = qRgb(212, 208, 200);
const QRgb kGarbage = qRgb(0, 128, 0);
const QRgb kRed = qRgb(255, 0, 0);
const QRgb kYellow = qRgb(255, 255, 0);
const QRgb kWhite = qRgb(255, 255, 255);
const QRgb kBlue = qRgb(0, 0, 255);

// Icons by path; an unknown path has none.
class FakePaintHost final : public PaintHost {
public:
    std::map<std::string, QImage> icons;
    QString number, count, range;
    int refreshes = 0;
    int extractions = 0;

    void setNumberPanel(const QString& text) override { number = text; }
    void setCountPanel(const QString& text) override { count = text; }
    void setRangePanel(const QString& text) override { range = text; }
    QList<QRect> refreshed;
    void refreshNow(const QRect& area) override
    {
        ++refreshes;
        refreshed << area;
    }
    QImage extractIcon(std::string_view path, int) override
    {
        ++extractions;
        const auto it = icons.find(std::string(path));
        return it == icons.end() ? QImage() : it->second;
    }
    // On a high-density page: a picture of the size asked for, in its own colour.
    std::vector<int> edgesAsked;
    QImage extractIconAt(std::string_view path, int, int edge) override
    {
        edgesAsked.push_back(edge);
        return icons.count(std::string(path)) ? testutil::solid(qRgb(0, 0, 200), edge, edge) : QImage();
    }
};

// A blue icon whose top-left 4 x 4 pixels are transparent.
QImage blueIcon()
{
    QImage icon = testutil::solid(kBlue);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            icon.setPixel(x, y, qRgba(0, 0, 0, 0));
    return icon;
}

class Page : public ::testing::Test {
protected:
    Catalogue catalogue {1000};
    PageState page;
    FakePaintHost host;
    QImage canvas {430, 130, QImage::Format_RGB32}; // 10 x 3 cells and strips

    void SetUp() override
    {
        canvas.fill(kGarbage);
        computeGrid(page, canvas.width(), canvas.height());
        host.icons["good"] = blueIcon();
    }
    void add(const char* path, int n = 1)
    {
        for (int i = 0; i < n; ++i)
            catalogue.appendEntry(path, 0);
    }
    void paintPage()
    {
        paintEntries(canvas, catalogue, page, QColor(kBackground), page.firstVisible, page.firstVisible + page.pageCapacity - 1, host);
    }
    QRgb at(int x, int y) const { return canvas.pixel(x, y); }
};

} // namespace

TEST(PageGeometry, GridAndScrollRange)
{
    PageState page;
    computeGrid(page, 430, 130);
    EXPECT_EQ(page.cellsAcross, 10);
    EXPECT_EQ(page.cellsDown, 3);
    EXPECT_EQ(page.pageCapacity, 30);
    computeGrid(page, 41, 500);
    EXPECT_EQ(page.cellsAcross, 0);
    EXPECT_EQ(page.pageCapacity, 0);

    EXPECT_EQ(scrollRangeFor(0, 30).maximum, 1);
    EXPECT_EQ(scrollRangeFor(30, 30).maximum, 1);
    EXPECT_FALSE(scrollRangeFor(30, 30).resetPosition);
    EXPECT_EQ(scrollRangeFor(5, 0).maximum, 1);
    const ScrollRange r = scrollRangeFor(31, 30);
    EXPECT_EQ(r.maximum, 2);
    EXPECT_TRUE(r.resetPosition);
    EXPECT_EQ(r.largeChange, 29);
    EXPECT_EQ(scrollRangeFor(1'000'000, 1'000'000 / 2).maximum, 500'001); // last page ends at entryCount
    EXPECT_EQ(scrollRangeFor(1'000'000, 40'000).largeChange, 32767);      // the page step is 16-bit
}

TEST_F(Page, CellsIconsFramesAndCross)
{
    add("good");
    add("broken");
    add("good");
    catalogue[3].marked = 1;
    paintPage();

    // Everything is cleared in the single-page case, beyond the entries too.
    EXPECT_EQ(at(0, 0), kBackground);
    EXPECT_EQ(at(200, 100), kBackground);
    // Cell 1: the icon at (5, 5), its transparent corner shows the background.
    EXPECT_EQ(at(5, 5), kBackground);
    EXPECT_EQ(at(9, 9), kBlue);
    EXPECT_EQ(at(36, 36), kBlue);
    EXPECT_EQ(at(37, 37), kBackground);
    EXPECT_EQ(at(4, 20), kBackground);
    // Cell 2: the two red frames and the cross; the lines stop one pixel before their end.
    const int x = 42;
    for (int d = 1; d <= 40; ++d) {
        EXPECT_EQ(at(x + d, 1), kRed);
        EXPECT_EQ(at(x + 1, d), kRed);
        EXPECT_EQ(at(x + 40, d), kRed);
        EXPECT_EQ(at(x + d, 40), kRed);
        EXPECT_EQ(at(x + d, d), kRed) << d;      // top-left towards bottom-right
        EXPECT_EQ(at(x + d, 42 - d), kRed) << d; // bottom-left towards top-right
    }
    EXPECT_EQ(at(x + 2, 20), kRed);
    EXPECT_EQ(at(x + 39, 20), kRed);
    EXPECT_EQ(at(x + 3, 20), kBackground);
    EXPECT_EQ(at(x, 0), kBackground);
    EXPECT_EQ(at(x + 41, 41), kBackground);
    EXPECT_EQ(at(x + 41, 1), kBackground);
    EXPECT_EQ(catalogue[2].defective, 1);
    EXPECT_EQ(catalogue[1].defective, 0);
    // Cell 3: the two yellow frames around the icon.
    const int m = 84;
    EXPECT_EQ(at(m + 3, 20), kYellow);
    EXPECT_EQ(at(m + 4, 20), kYellow);
    EXPECT_EQ(at(m + 37, 20), kYellow);
    EXPECT_EQ(at(m + 38, 20), kYellow);
    EXPECT_EQ(at(m + 20, 3), kYellow);
    EXPECT_EQ(at(m + 20, 38), kYellow);
    EXPECT_EQ(at(m + 2, 20), kBackground);
    EXPECT_EQ(at(m + 39, 20), kBackground);
    EXPECT_EQ(at(m + 20, 20), kBlue);
    // Texts.
    EXPECT_EQ(host.number, "-");
    EXPECT_EQ(host.count, "Icon(s) 3");
    EXPECT_EQ(host.range, "1 bis 3");
    EXPECT_EQ(host.refreshes, 0);
    EXPECT_EQ(host.extractions, 3);
}

TEST_F(Page, MarkedDefectiveShowsBothFramesAndStaysDefective)
{
    add("broken");
    catalogue[1].marked = 1;
    paintPage();
    EXPECT_EQ(at(1, 20), kRed);
    EXPECT_EQ(at(3, 20), kYellow);
    EXPECT_EQ(at(20, 20), kRed); // the cross
    host.icons["broken"] = blueIcon();
    paintPage();
    EXPECT_EQ(at(20, 20), kBlue);
    EXPECT_EQ(catalogue[1].defective, 1); // painting never clears the flag
}

TEST_F(Page, ClearingSquareIs43PixelsAndTheSingleEntryGoesToThePointerCell)
{
    add("good", 40);       // more than a page: the image is not cleared as a whole
    page.pointerCell = 12; // row 1, column 1: origin (42, 42)
    paintEntries(canvas, catalogue, page, QColor(kBackground), 7, 7, host);
    EXPECT_EQ(at(42, 42), kBackground);
    EXPECT_EQ(at(84, 84), kBackground); // the 43rd column and row
    EXPECT_EQ(at(85, 85), kGarbage);
    EXPECT_EQ(at(41, 41), kGarbage);
    EXPECT_EQ(at(42 + 20, 42 + 20), kBlue);
    EXPECT_EQ(host.range, "7 bis 7");
    // The strips right of and below the grid are painted.
    EXPECT_EQ(at(425, 5), kBackground);
    EXPECT_EQ(at(5, 128), kBackground);
    EXPECT_EQ(at(5, 5), kGarbage);
}

TEST_F(Page, MultiPageFillsEveryCellAndRefreshesRowByRow)
{
    add("good", 100);
    page.firstVisible = 41;
    paintPage();
    EXPECT_EQ(host.range, "41 bis 70");
    EXPECT_EQ(host.refreshes, 3); // entries 50, 60 and 70 end a row's worth
    // Each refresh shows the row drawn since the one before (with the 43rd pixel row).
    EXPECT_EQ(host.refreshed[0], QRect(0, 0, 421, 43));
    EXPECT_EQ(host.refreshed[1], QRect(0, 42, 421, 43));
    EXPECT_EQ(at(9 * 42 + 20, 2 * 42 + 20), kBlue);
}

TEST_F(Page, EmptyCatalogueClearsOnly)
{
    host.count = "unchanged";
    paintPage();
    EXPECT_EQ(at(0, 0), kBackground);
    EXPECT_EQ(at(429, 129), kBackground);
    EXPECT_EQ(host.number, "-");
    EXPECT_EQ(host.count, "unchanged");
    EXPECT_EQ(host.extractions, 0);
}

TEST_F(Page, NoColumnMeansNoCellButNoCrash)
{
    QImage narrow(30, 100, QImage::Format_RGB32);
    narrow.fill(kGarbage);
    computeGrid(page, 30, 100);
    add("good", 3);
    page.pointerCell = 1;
    paintEntries(narrow, catalogue, page, QColor(kBackground), 2, 2, host);
    paintEntries(narrow, catalogue, page, QColor(kBackground), 1, 0, host); // first 0 -> 1, nothing to paint
    EXPECT_EQ(narrow.pixel(10, 10), kBackground);
    EXPECT_EQ(host.extractions, 0);
}

TEST(HitTest, CellsStripsAndOutside)
{
    PageState page;
    page.cellsAcross = 10;
    page.firstVisible = 21;
    HitTest h = hitTest({2 * 42 + 5, 1 * 42 + 5}, page);
    EXPECT_EQ(h.cell, 13);
    EXPECT_EQ(h.entry, 33);
    h = hitTest({425, 10}, page); // strip right of row 0: the first cell of row 1
    EXPECT_EQ(h.cell, 11);
    EXPECT_EQ(h.entry, 31);
    h = hitTest({-50, 5}, page);
    EXPECT_EQ(h.cell, 0);
    EXPECT_EQ(h.entry, 20);
    h = hitTest({-10, -10}, page); // truncation toward zero: still cell 1
    EXPECT_EQ(h.cell, 1);
}

TEST(HoverFrame, ErasedOnlyWhenTheCellChanges)
{
    QImage canvas(200, 100, QImage::Format_RGB32);
    canvas.fill(kBlue);
    QPoint hover(0, 0);
    moveHoverFrame(canvas, hover, {0, 0}, QColor(kBackground));
    EXPECT_EQ(canvas.pixel(0, 0), kWhite);
    EXPECT_EQ(canvas.pixel(41, 20), kWhite);
    EXPECT_EQ(canvas.pixel(42, 20), kBlue);
    EXPECT_EQ(canvas.pixel(1, 1), kBlue); // only the outermost ring
    moveHoverFrame(canvas, hover, {42, 0}, QColor(kBackground));
    EXPECT_EQ(hover, QPoint(42, 0));
    EXPECT_EQ(canvas.pixel(0, 20), kBackground);
    EXPECT_EQ(canvas.pixel(42, 20), kWhite);
    EXPECT_EQ(canvas.pixel(83, 41), kWhite);
    canvas.setPixel(0, 20, kBlue);
    moveHoverFrame(canvas, hover, {42, 0}, QColor(kBackground)); // same cell: nothing erased
    EXPECT_EQ(canvas.pixel(0, 20), kBlue);
}

TEST(PathLine, TextsTagsAndColours)
{
    QTemporaryDir dir;
    const std::string existing = dir.path().toStdString() + "/Pro/Tool.EXE";
    std::filesystem::create_directories(dir.path().toStdString() + "/Pro");
    testutil::writeFile(existing, {1});
    Catalogue c(10);
    c.appendEntry(existing, 3);
    c.appendEntry(existing, 4);
    c.appendEntry("/weg/Fehlt.ICO", 0);
    c[1].marked = 1;
    c[2].defective = 1;
    c[2].marked = 1;
    c[3].defective = 1;
    const QString dirText = dir.path();
    PathLine line = pathLineFor(c, 1);
    EXPECT_EQ(line.text, dirText + "/Pro/Tool.EXE  Nr: 3 ->Icon wird GELÖSCHT");
    EXPECT_EQ(line.colour, kColourYellow);
    line = pathLineFor(c, 2);
    EXPECT_EQ(line.text, dirText + "/Pro/Tool.EXE  Nr: 4 ->Icon DEFEKT");
    EXPECT_EQ(line.colour, kColourRed);
    line = pathLineFor(c, 3);
    EXPECT_EQ(line.text, "/weg/Fehlt.ICO  Nr: 0 ->Icon nicht vorhanden");
    line = pathLineFor(c, 7);
    EXPECT_EQ(line.text, "  Nr: 0");
    EXPECT_EQ(line.colour, 0u);
}

// A path copied from the line must name the file on a case-sensitive file system.
TEST(PathLine, NamesTheFileAsItIsOnDisk)
{
    QTemporaryDir dir;
    const std::string folder = dir.path().toStdString()
        + "/gr\xc3\xbc\xc3\x9f"
          "e und \xc3\x9cmlaute";
    std::filesystem::create_directories(folder);
    const std::string file = folder + "/arrow-Install.ico";
    testutil::writeFile(file, {1});
    Catalogue c(2);
    c.appendEntry(file, 0);
    const QString text = pathLineFor(c, 1).text;
    const QString shown = text.left(text.indexOf(QStringLiteral("  Nr: ")));
    EXPECT_EQ(shown, dir.path() + QStringLiteral("/grüße und Ümlaute/arrow-Install.ico"));
    EXPECT_TRUE(QFileInfo::exists(shown)) << shown.toStdString();
}

TEST(MarkPage, OnlyTheCurrentPageAndOnlyExistingEntries)
{
    Catalogue c(100);
    for (int i = 0; i < 25; ++i)
        c.appendEntry("/a.ico", 0);
    PageState page;
    page.pageCapacity = 10;
    page.firstVisible = 21;
    markPage(c, page, true);
    EXPECT_EQ(c[20].marked, 0);
    EXPECT_EQ(c[21].marked, 1);
    EXPECT_EQ(c[25].marked, 1);
    EXPECT_EQ(c[26].marked, 0); // beyond entryCount
    c[5].marked = 1;
    markPage(c, page, false);
    EXPECT_EQ(c[21].marked, 0);
    EXPECT_EQ(c[5].marked, 1);
}

// At a device pixel ratio above 1 the page bitmap holds device pixels: each icon is asked for at
// its size in device pixels and drawn unscaled, frames and the cross cover their logical pixels.
// At ratio 1 only the 32 x 32 pictures are asked for.
TEST_F(Page, HighDensityPageDrawsIconsAtDeviceSize)
{
    const struct {
        qreal ratio;
        int edge; // 0: only 32 x 32 pictures
        QRgb icon;
    } cases[] = {{1, 0, kBlue}, {2, 64, qRgb(0, 0, 200)}, {1.5, 48, qRgb(0, 0, 200)}};
    add("good");
    add("broken");
    catalogue[1].marked = 1;
    for (const auto& c : cases) {
        canvas = QImage(qCeil(430 * c.ratio), qCeil(130 * c.ratio), QImage::Format_RGB32);
        canvas.setDevicePixelRatio(c.ratio);
        canvas.fill(kGarbage);
        host.edgesAsked.clear();
        paintPage();
        auto px = [&](int x, int y) { return at(static_cast<int>(x * c.ratio), static_cast<int>(y * c.ratio)); };
        EXPECT_EQ(host.edgesAsked, c.edge ? std::vector<int>(2, c.edge) : std::vector<int>()) << c.ratio;
        EXPECT_EQ(px(20, 20), c.icon) << c.ratio;
        const int lastColumn = static_cast<int>(5 * c.ratio) + (c.edge ? c.edge : 32) - 1;
        EXPECT_EQ(at(lastColumn, 30), c.icon) << c.ratio;
        EXPECT_EQ(at(lastColumn + 1, 30), kYellow) << c.ratio; // the mark frame right after it
        EXPECT_EQ(px(3, 20), kYellow) << c.ratio;
        EXPECT_EQ(px(2, 20), kBackground) << c.ratio;
        EXPECT_EQ(px(42 + 20, 20), kRed) << c.ratio;                                    // the cross of cell 2
        EXPECT_EQ(at(canvas.width() - 1, canvas.height() - 1), kBackground) << c.ratio; // cleared to the last device pixel
    }
}
