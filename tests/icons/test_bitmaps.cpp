// Bitmap files become one opaque 32 x 32 icon made from the whole picture.

#include "icons/IconExtractor.h"
#include "support/TestUtil.h"

#include <gtest/gtest.h>

using namespace fixtures;
using namespace testutil;

namespace {

// 64 x 64 in four quadrants; black and white only where the format has two colours.
QImage quadrants(bool mono)
{
    const QRgb tl = mono ? qRgb(0, 0, 0) : qRgb(255, 0, 0);
    const QRgb tr = mono ? qRgb(255, 255, 255) : qRgb(0, 255, 0);
    const QRgb bl = mono ? qRgb(255, 255, 255) : qRgb(0, 0, 255);
    const QRgb br = mono ? qRgb(0, 0, 0) : qRgb(255, 255, 255);
    QImage image(64, 64, QImage::Format_ARGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            image.setPixel(x, y, y < 32 ? (x < 32 ? tl : tr) : (x < 32 ? bl : br));
    return image;
}

struct BmpCase {
    const char* name;
    BmpKind kind;
    bool mono;
};

class BitmapKinds : public ::testing::TestWithParam<BmpCase> {};

} // namespace

TEST_P(BitmapKinds, WholePictureScaledOpaque)
{
    const BmpCase& c = GetParam();
    const QImage source = quadrants(c.mono);
    const Bytes file = bmpFile(source, c.kind);
    ASSERT_EQ(bw::iconSourceKind(readerOf(file)), bw::IconSourceKind::Bitmap);
    EXPECT_EQ(bw::iconCount(readerOf(file)), 1);
    const QImage icon = bw::extractIcon(readerOf(file), 0);
    ASSERT_EQ(icon.size(), QSize(32, 32));
    EXPECT_EQ(icon.format(), QImage::Format_ARGB32);
    for (const QPoint p : {QPoint(8, 8), QPoint(24, 8), QPoint(8, 24), QPoint(24, 24)})
        EXPECT_EQ(icon.pixel(p), source.pixel(p * 2)) << p.x() << "," << p.y();
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_EQ(qAlpha(icon.pixel(x, y)), 255);
    EXPECT_TRUE(bw::extractIcon(readerOf(file), 1).isNull());
}

INSTANTIATE_TEST_SUITE_P(AllKinds, BitmapKinds,
                         ::testing::Values(BmpCase {"bits1", BmpKind::Bits1, true}, BmpCase {"bits4", BmpKind::Bits4, false},
                                           BmpCase {"bits8", BmpKind::Bits8, false}, BmpCase {"bits24", BmpKind::Bits24, false},
                                           BmpCase {"bits32", BmpKind::Bits32, false}, BmpCase {"rle8", BmpKind::Rle8, false},
                                           BmpCase {"rle4", BmpKind::Rle4, false}, BmpCase {"os2core24", BmpKind::Os2Core24, false},
                                           BmpCase {"topDown24", BmpKind::TopDown24, false}),
                         [](const auto& p) { return std::string(p.param.name); });

TEST(Bitmaps, AlphaInA32BitBitmapIsIgnored)
{
    QImage picture = solid(qRgb(10, 200, 30));
    Bytes file = bmpFile(picture, BmpKind::Bits32);
    // Zero every fourth byte of the pixels: the bitmap must still be drawn opaque.
    const std::uint32_t pixels = file[10] | (file[11] << 8);
    for (std::size_t i = pixels + 3; i < file.size(); i += 4)
        file[i] = 0;
    const QImage icon = bw::extractIcon(readerOf(file), 0);
    ASSERT_FALSE(icon.isNull());
    EXPECT_EQ(icon.pixel(5, 5), qRgb(10, 200, 30));
}
