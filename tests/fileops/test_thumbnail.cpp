// Thumbnails for file managers: which image of a group they show, how it is scaled, and the
// command the thumbnailer entry runs.

#include "fileops/Thumbnail.h"
#include "icons/IconExtractor.h"
#include "support/TestUtil.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace fixtures;
using namespace testutil;

namespace {

IconImage image(int edge, QRgb colour, bool png = false)
{
    const auto stored = static_cast<std::uint8_t>(edge == 256 ? 0 : edge);
    return {stored, stored, 1, 32, png ? pngData(solid(colour, edge, edge)) : iconDib(solid(colour, edge, edge), 32)};
}

QRgb centre(const QImage& picture) { return picture.pixel(picture.width() / 2, picture.height() / 2); }

// A 16 x 16 board of single-pixel squares: any smoothing shows as mixed colours.
QImage checkerboard()
{
    QImage board(16, 16, QImage::Format_ARGB32);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            board.setPixel(x, y, (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0));
    return board;
}

class Thumbnail : public ::testing::Test {
protected:
    QTemporaryDir dir;
    std::filesystem::path file(const char* name, const Bytes& bytes) const
    {
        return writeFile(dir.filePath(QString::fromLatin1(name)).toStdString(), bytes);
    }
    int run(const QStringList& args) const
    {
        QProcess tool;
        tool.start(QStringLiteral(BW_CLI_PATH), args);
        tool.waitForFinished(30000);
        return tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1;
    }
};

} // namespace

TEST_F(Thumbnail, TakesTheLargestImageWhileTheProgramKeepsThe32)
{
    const auto ico = file("drei.ico", iconFile({image(16, qRgb(255, 0, 0)), image(48, qRgb(0, 0, 255)), image(32, qRgb(0, 255, 0))}));
    EXPECT_EQ(bw::extractLargestIcon(ico, 0).size(), QSize(48, 48));
    EXPECT_EQ(centre(bw::thumbnailOf(ico, 128)), qRgb(0, 0, 255));
    EXPECT_EQ(centre(bw::extractIcon(ico, 0)), qRgb(0, 255, 0));

    // A program whose first group holds a 256 px PNG image; the second group is never used.
    const auto exe = file("prog.exe",
                          peFile({{{}, 1, {0x0409}, {image(32, qRgb(0, 255, 0)), image(256, qRgb(255, 0, 255), true)}},
                                  {{}, 2, {0x0409}, {image(64, qRgb(255, 0, 0))}}},
                                 true));
    const QImage largest = bw::extractLargestIcon(exe, 0);
    EXPECT_EQ(largest.size(), QSize(256, 256));
    EXPECT_EQ(centre(bw::thumbnailOf(exe, 128)), qRgb(255, 0, 255));

    const auto icl = file("bib.icl", neFile({{{}, 1, {}, {image(16, qRgb(255, 0, 0)), image(48, qRgb(0, 128, 0))}}}));
    EXPECT_EQ(bw::extractLargestIcon(icl, 0).size(), QSize(48, 48));

    // Of two images of one size, the deeper one.
    const auto depths = file("tiefe.ico", iconFile({dibImage(solid(qRgb(255, 0, 0), 48, 48), 4), image(48, qRgb(0, 0, 255))}));
    EXPECT_EQ(centre(bw::thumbnailOf(depths, 48)), qRgb(0, 0, 255));

    EXPECT_TRUE(bw::thumbnailOf(file("leer.txt", {'x'}), 128).isNull());
}

TEST_F(Thumbnail, EnlargesWithCrispPixelsAndReducesSmoothly)
{
    // Four times: every source pixel becomes a clean 4 x 4 block.
    const QImage four = bw::thumbnailPicture(checkerboard(), 64);
    ASSERT_EQ(four.size(), QSize(64, 64));
    for (const QPoint p : {QPoint(0, 0), QPoint(3, 3), QPoint(4, 4), QPoint(63, 63)})
        EXPECT_EQ(four.pixel(p), qRgb(0, 0, 0)) << p.x() << "," << p.y();
    EXPECT_EQ(four.pixel(4, 0), qRgb(255, 255, 255));
    EXPECT_EQ(four.pixel(7, 3), qRgb(255, 255, 255));

    // 2.5 times: whole-factor doubling, then a smooth step to the exact size.
    EXPECT_EQ(bw::thumbnailPicture(checkerboard(), 40).size(), QSize(40, 40));

    // Reduced: smooth, so the board turns grey.
    const QImage small = bw::thumbnailPicture(checkerboard(), 8);
    ASSERT_EQ(small.size(), QSize(8, 8));
    EXPECT_NEAR(qRed(small.pixel(4, 4)), 128, 20);

    // A transparent half stays transparent and does not bleed colour into the opaque half.
    QImage half = solid(qRgb(255, 0, 0));
    for (int y = 0; y < 32; ++y)
        for (int x = 16; x < 32; ++x)
            half.setPixel(x, y, qRgba(0, 255, 0, 0));
    const QImage scaled = bw::thumbnailPicture(half, 100);
    EXPECT_EQ(qAlpha(scaled.pixel(90, 50)), 0);
    EXPECT_EQ(scaled.pixel(10, 50), qRgb(255, 0, 0));
    EXPECT_EQ(qGreen(scaled.pixel(48, 50)) * 255 / std::max(1, qAlpha(scaled.pixel(48, 50))), 0);
}

TEST_F(Thumbnail, KeepsProportionsOnTransparentGround)
{
    // A 64 x 32 bitmap fills the width and sits in the middle of the height.
    const auto bmp = file("breit.bmp", bmpFile(solid(qRgb(0, 0, 255), 64, 32), BmpKind::Bits24));
    const QImage wide = bw::thumbnailOf(bmp, 128);
    ASSERT_EQ(wide.size(), QSize(128, 128));
    EXPECT_EQ(qAlpha(wide.pixel(64, 10)), 0);
    EXPECT_EQ(qAlpha(wide.pixel(64, 117)), 0);
    EXPECT_EQ(wide.pixel(0, 64), qRgb(0, 0, 255));
    EXPECT_EQ(wide.pixel(127, 33), qRgb(0, 0, 255));
    EXPECT_EQ(wide.pixel(127, 94), qRgb(0, 0, 255));
}

TEST_F(Thumbnail, CommandWritesTheSizeAskedForAndReplacesTheOutput)
{
    const auto ico = file("a.ico", iconFile({image(16, qRgb(255, 0, 0)), image(48, qRgb(0, 0, 255))}));
    const QString in = QString::fromStdString(ico.string());
    const QString out = dir.filePath(QStringLiteral("vorschau.png"));
    QFile empty(out); // file managers may create the output file first
    ASSERT_TRUE(empty.open(QIODevice::WriteOnly));
    empty.close();

    EXPECT_EQ(run({QStringLiteral("thumbnail"), QStringLiteral("-s"), QStringLiteral("64"), in, out}), 0);
    EXPECT_EQ(QImage(out).size(), QSize(64, 64));
    EXPECT_EQ(centre(QImage(out)), qRgb(0, 0, 255));
    EXPECT_EQ(run({QStringLiteral("thumbnail"), in, out}), 0); // the default size
    EXPECT_EQ(QImage(out).size(), QSize(bw::kDefaultThumbnailEdge, bw::kDefaultThumbnailEdge));
    EXPECT_EQ(run({QStringLiteral("thumbnail"), in, out, QStringLiteral("--size"), QStringLiteral("256")}), 0);
    EXPECT_EQ(QImage(out).size(), QSize(256, 256));

    const QString none = dir.filePath(QStringLiteral("nichts.png"));
    EXPECT_EQ(run({QStringLiteral("thumbnail"), QString::fromStdString(file("b.txt", {'x'}).string()), none}), 1);
    EXPECT_FALSE(QFile::exists(none));
    for (const QStringList& wrong :
         QList<QStringList> {{QStringLiteral("thumbnail"), in},
                             {QStringLiteral("thumbnail"), QStringLiteral("-s"), QStringLiteral("0"), in, none},
                             {QStringLiteral("thumbnail"), QStringLiteral("-s"), QStringLiteral("5000"), in, none},
                             {QStringLiteral("thumbnail"), QStringLiteral("-s"), QStringLiteral("x"), in, none},
                             {QStringLiteral("thumbnail"), in, none, QStringLiteral("-s")}})
        EXPECT_EQ(run(wrong), 2) << wrong.join(QLatin1Char(' ')).toStdString();
    EXPECT_FALSE(QFile::exists(none));
}
