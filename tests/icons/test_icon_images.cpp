// Decoding of the images inside icon files, and the choice among several images.

#include "fileops/IconFileWriter.h"
#include "icons/IconExtractor.h"
#include "support/TestUtil.h"

#include <gtest/gtest.h>

using namespace fixtures;
using namespace testutil;

namespace {

QImage extractOnly(const Bytes& file) { return bw::extractIcon(readerOf(file), 0); }

struct DepthCase {
    const char* name;
    int bitCount;
    DibOptions options;
};

class DibDepths : public ::testing::TestWithParam<DepthCase> {};

} // namespace

// Every colour depth, both header kinds and both 16-bit layouts give the same picture; the AND
// mask makes the corner transparent.
TEST_P(DibDepths, DecodesColoursAndMask)
{
    const DepthCase& c = GetParam();
    QImage picture = bands(true);
    if (c.bitCount == 1) // only black and white exist
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x)
                if (!(x < 8 && y < 8))
                    picture.setPixel(x, y, (x / 4) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    const QImage decoded = extractOnly(iconFile({dibImage(picture, c.bitCount, c.options)}));
    EXPECT_TRUE(samePixels(decoded, picture));
    EXPECT_EQ(qAlpha(decoded.pixel(0, 0)), 0);
    EXPECT_EQ(qAlpha(decoded.pixel(31, 31)), 255);
}

INSTANTIATE_TEST_SUITE_P(
    AllDepths, DibDepths,
    ::testing::Values(DepthCase {"bits1", 1, {}}, DepthCase {"bits4", 4, {}}, DepthCase {"bits8", 8, {}}, DepthCase {"bits16_555", 16, {}},
                      DepthCase {"bits16_565", 16, {.bitfields565 = true}}, DepthCase {"bits24", 24, {}},
                      DepthCase {"bits32_zeroAlpha", 32, {.zeroAlpha = true}}, DepthCase {"core4", 4, {.coreHeader = true}},
                      DepthCase {"core8", 8, {.coreHeader = true}}, DepthCase {"core24", 24, {.coreHeader = true}},
                      DepthCase {"shortPalette", 8, {.palette = {bw::kVgaPalette.begin(), bw::kVgaPalette.end()}, .clrUsed = 16}}),
    [](const auto& p) { return std::string(p.param.name); });

TEST(IconImages, AlphaChannelWinsOverMaskAndStaysStraight)
{
    QImage picture = solid(qRgba(200, 100, 50, 100));
    picture.setPixel(5, 5, qRgba(10, 20, 30, 255));
    const QImage decoded = extractOnly(iconFile({dibImage(picture, 32)}));
    ASSERT_FALSE(decoded.isNull());
    EXPECT_EQ(decoded.format(), QImage::Format_ARGB32);
    EXPECT_EQ(decoded.pixel(0, 0), qRgba(200, 100, 50, 100));
    EXPECT_EQ(decoded.pixel(5, 5), qRgba(10, 20, 30, 255));
}

TEST(IconImages, MissingMaskMeansOpaque)
{
    for (int bits : {4, 24, 32}) {
        const QImage decoded = extractOnly(iconFile({dibImage(bands(true), bits, {.zeroAlpha = bits == 32, .omitMask = true})}));
        ASSERT_FALSE(decoded.isNull()) << bits;
        EXPECT_EQ(qAlpha(decoded.pixel(0, 0)), 255) << bits;
    }
}

TEST(IconImages, PngImageInsideIconFile)
{
    QImage picture = bands(true);
    picture.setPixel(20, 20, qRgba(255, 0, 0, 128));
    const Bytes file = iconFile({{32, 32, 1, 32, pngData(picture)}});
    const QImage decoded = extractOnly(file);
    EXPECT_TRUE(samePixels(decoded, picture));
}

TEST(IconImages, ChoosesNearestTo32ThenDeepestThenLargest)
{
    const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0), blue = qRgb(0, 0, 255), yellow = qRgb(255, 255, 0);
    IconImage lying = dibImage(solid(red), 8);
    lying.bitCount = 32;
    IconImage honest = dibImage(solid(blue), 24);
    honest.bitCount = 4;
    const struct {
        const char* rule;
        std::vector<IconImage> images;
        QRgb chosen;
    } cases[] = {{"exact size wins over depth",
                  {dibImage(solid(red, 16, 16), 32), dibImage(solid(green), 4), dibImage(solid(yellow, 48, 48), 32)},
                  green},
                 {"same size: the deeper, by the image header, not the directory", {lying, honest}, blue},
                 {"PNG counts as 32 bits", {dibImage(solid(red), 24), {32, 32, 1, 0, pngData(solid(green))}}, green},
                 {"16 and 48 both 32 away, same depth: the larger, scaled down",
                  {dibImage(solid(red, 16, 16), 8), dibImage(solid(yellow, 48, 48), 8)},
                  yellow},
                 {"full tie: the first", {dibImage(solid(red), 8), dibImage(solid(blue), 8)}, red},
                 {"a width byte of 0 is 256, farther than 16",
                  {{0, 0, 1, 32, pngData(solid(red, 256, 256))}, dibImage(solid(blue, 16, 16), 4)},
                  blue}};
    for (const auto& c : cases)
        EXPECT_TRUE(samePixels(extractOnly(iconFile(c.images)), solid(c.chosen))) << c.rule;
}

TEST(IconImages, ScalesOtherSizesSmoothlyTo32)
{
    QImage big(48, 48, QImage::Format_ARGB32);
    big.fill(qRgba(0, 0, 0, 0));
    for (int y = 0; y < 48; ++y)
        for (int x = 25; x < 48; ++x)
            big.setPixel(x, y, qRgb(0, 0, 255));
    const QImage decoded = extractOnly(iconFile({dibImage(big, 32)}));
    ASSERT_EQ(decoded.size(), QSize(32, 32));
    EXPECT_EQ(qAlpha(decoded.pixel(4, 16)), 0);
    EXPECT_EQ(decoded.pixel(28, 16), qRgb(0, 0, 255));
    // The edge is blended, and no transparent black bleeds into the blue.
    const QRgb edge = decoded.pixel(16, 16);
    EXPECT_GT(qAlpha(edge), 0);
    EXPECT_LT(qAlpha(edge), 255);
    EXPECT_EQ(qRed(edge), 0);
    EXPECT_GE(qBlue(edge), 250);
}

TEST(IconImages, CursorFileCountsAsOneIcon)
{
    IconImage cursor = dibImage(bands(true), 4);
    cursor.planes = 3;   // hot spot x
    cursor.bitCount = 7; // hot spot y
    const Bytes file = iconFile({cursor}, 2);
    EXPECT_EQ(bw::iconSourceKind(readerOf(file)), bw::IconSourceKind::IconFile);
    EXPECT_EQ(bw::iconCount(readerOf(file)), 1);
    EXPECT_TRUE(samePixels(extractOnly(file), bands(true)));
    EXPECT_TRUE(bw::extractIcon(readerOf(file), 1).isNull());
    EXPECT_EQ(bw::lastReadError(), bw::ReadError::NoSuchIcon);
}

TEST(IconImages, KindComesFromContentNotName)
{
    QTemporaryDir dir;
    const std::filesystem::path base = dir.path().toStdString();
    const Bytes icon = solidIcon(qRgb(255, 0, 0));
    EXPECT_EQ(bw::iconCount(writeFile(base / "icon.txt", icon)), 1);
    EXPECT_EQ(bw::iconCount(writeFile(base / "text.ico", {'h', 'e', 'l', 'l', 'o', '\n', 0, 0})), 0);
    EXPECT_EQ(bw::lastReadError(), bw::ReadError::UnknownFormat);
    EXPECT_EQ(bw::iconCount(writeFile(base / "leer.exe", {})), 0);
    EXPECT_TRUE(samePixels(bw::extractIcon(base / "icon.txt", 0), solid(qRgb(255, 0, 0))));
}

TEST(IconImages, ChangedOrDeletedFilesAreReadAgain)
{
    // The last file stays mapped between calls; a change to it must still be seen.
    QTemporaryDir dir;
    const std::filesystem::path file = std::filesystem::path(dir.path().toStdString()) / "wechsel.ico";
    writeFile(file, solidIcon(qRgb(255, 0, 0)));
    EXPECT_TRUE(samePixels(bw::extractIcon(file, 0), solid(qRgb(255, 0, 0))));
    const std::filesystem::path other = std::filesystem::path(dir.path().toStdString()) / "neu.ico";
    writeFile(other, solidIcon(qRgb(0, 0, 255)));
    std::filesystem::rename(other, file); // replaced under the same name, same size
    EXPECT_TRUE(samePixels(bw::extractIcon(file, 0), solid(qRgb(0, 0, 255))));
    std::filesystem::remove(file);
    EXPECT_TRUE(bw::extractIcon(file, 0).isNull());
    EXPECT_EQ(bw::lastReadError(), bw::ReadError::CannotOpen);
    EXPECT_EQ(bw::iconCount(file), 0);
}

// For a high-density screen the same rule picks the image nearest to a larger edge; 32 gives
// what the page has always shown.
TEST(IconImages, PicksTheImageNearestToTheEdgeAsked)
{
    const QRgb red = qRgb(255, 0, 0), green = qRgb(0, 255, 0), blue = qRgb(0, 0, 255), yellow = qRgb(255, 255, 0);
    const Bytes file = iconFile({dibImage(solid(red, 16, 16), 32),
                                 dibImage(solid(green), 8),
                                 dibImage(solid(blue, 64, 64), 8),
                                 {0, 0, 1, 32, pngData(solid(yellow, 256, 256))}});
    const struct {
        int edge;
        QRgb colour;
    } cases[]
        = {{32, green}, {16, red}, {48, blue} /* 32 and 64 equally near and deep: the larger */, {64, blue}, {128, blue}, {200, yellow}};
    for (const auto& c : cases) {
        const QImage picture = bw::extractIcon(readerOf(file), 0, c.edge);
        ASSERT_EQ(picture.size(), QSize(c.edge, c.edge)) << c.edge;
        EXPECT_EQ(picture.pixel(c.edge / 2, c.edge / 2), c.colour) << c.edge;
    }
}

// The viewer's list: every image of the group in stored order with its size, depth and kind; a
// bitmap is one image; a file cut short lists nothing, and says why.
TEST(IconImages, EveryImageOfAGroup)
{
    const Bytes ico = iconFile({dibImage(solid(qRgb(1, 2, 3), 48, 48), 8), {0, 0, 1, 32, pngData(solid(qRgb(4, 5, 6), 256, 256))}});
    const Bytes pe = peFile({{.id = 1, .images = {dibImage(solid(qRgb(1, 1, 1)), 4)}},
                             {.id = 2, .images = {dibImage(solid(qRgb(2, 2, 2), 16, 16), 24), dibImage(solid(qRgb(3, 3, 3)), 32)}}},
                            false);
    const Bytes bmp = bmpFile(solid(qRgb(7, 8, 9), 20, 10), BmpKind::Bits24);
    const Bytes cut(ico.begin(), ico.end() - 100);
    // Animated cursors list every image of every frame; Apple icons every element in stored order.
    const Bytes ani = aniFile({iconFile({dibImage(solid(qRgb(1, 1, 1), 16, 16), 24), dibImage(solid(qRgb(2, 2, 2)), 32)}),
                               iconFile({dibImage(solid(qRgb(3, 3, 3), 48, 48), 8)}, 2)});
    std::vector<IcnsElement> elements = {{"ic07", pngData(solid(qRgb(4, 4, 4), 128, 128))}};
    for (const auto& [edge, rgb, mask] : {std::tuple(48, "ih32", "h8mk"), std::tuple(16, "is32", "s8mk")})
        for (IcnsElement& e : icnsRgbElements(solid(qRgb(5, 5, 5), edge, edge), rgb, mask))
            elements.push_back(e);
    const Bytes icns = icnsFile(elements);
    const struct {
        const Bytes& file;
        int index;
        std::vector<std::tuple<int, int, int, bool>> images; // width, height, bits, PNG
        bw::ReadError why = bw::ReadError::None;
    } cases[] = {{ico, 0, {{48, 48, 8, false}, {256, 256, 32, true}}},
                 {pe, 1, {{16, 16, 24, false}, {32, 32, 32, false}}},
                 {bmp, 0, {{20, 10, 24, false}}},
                 {ani, 0, {{16, 16, 24, false}, {32, 32, 32, false}, {48, 48, 8, false}}},
                 {icns, 0, {{128, 128, 32, true}, {48, 48, 24, false}, {16, 16, 24, false}}},
                 {cut, 0, {}, bw::ReadError::DataOutside},
                 {pe, 2, {}, bw::ReadError::NoSuchIcon}};
    for (const auto& c : cases) {
        std::vector<std::tuple<int, int, int, bool>> got;
        for (const bw::IconImageInfo& i : bw::iconImages(readerOf(c.file), c.index))
            got.emplace_back(i.picture.width(), i.picture.height(), i.bitCount, i.png);
        EXPECT_EQ(got, c.images) << &c - cases;
        EXPECT_EQ(bw::lastReadError(), c.why) << &c - cases;
    }
}

// Old Apple icon images keep their colours in one element and their alpha in another; both reach
// Qt's reader together, in either order.
TEST(IconImages, AppleIconsTakeAlphaFromTheirMask)
{
    const std::vector<IcnsElement> elements = icnsRgbElements(bands(), "il32", "l8mk");
    for (const Bytes& file : {icnsFile(elements), icnsFile({elements[1], {"ic04", {1, 2, 3}}, elements[0]})}) {
        const QImage picture = bw::extractLargestIcon(readerOf(file), 0);
        ASSERT_EQ(picture.size(), QSize(32, 32));
        EXPECT_EQ(qAlpha(picture.pixel(0, 0)), 0);
        EXPECT_EQ(picture.pixel(20, 16), qRgb(0, 255, 255));
    }
}
