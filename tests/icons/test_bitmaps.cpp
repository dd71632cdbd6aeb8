// Bitmap files become one opaque 32 x 32 icon made from the whole picture.

#include "fileops/Thumbnail.h"
#include "icons/IconDirectory.h"
#include "icons/IconExtractor.h"
#include "support/TestUtil.h"

#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace fixtures;
using namespace testutil;

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

namespace {

// 13 x 7, odd on purpose (row padding, half bytes): pure colours that every depth holds, a grey
// that 5 bits cannot (channel widening), black rows and runs (skipped by run-length moves), and
// alpha from opaque to clear for the kinds that declare it.
QImage sampler()
{
    const QRgb colours[] = {qRgb(255, 0, 0), qRgb(0, 255, 0), qRgb(0, 0, 255), qRgb(255, 255, 255), qRgb(255, 255, 0), qRgb(128, 128, 128)};
    QImage image(13, 7, QImage::Format_ARGB32);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 13; ++x) {
            const QRgb c = y == 2 || x < y || (x + y) % 5 == 0 ? qRgb(0, 0, 0) : colours[(x / 2 + y) % 6];
            image.setPixel(x, y, (c & 0xFFFFFF) | static_cast<QRgb>(255 - (x * 20 + y * 9) % 256) << 24);
        }
    return image;
}

// ImageMagick 6 refuses BI_ALPHABITFIELDS and reads a full palette where an OS/2 bitmap stores
// a short one (PIL reads that one right). So the alpha bit fields are checked against
// ImageMagick's reading of the same pixels under a V5 header, the short palette against PIL.
enum class Reader { ImageMagick, Pil };

struct ReaderCase {
    const char* name;
    BmpKind kind;
    int tolerance = 0; // per channel, where the readers round otherwise
    Reader reader = Reader::ImageMagick;
    std::optional<BmpKind> referenceKind {}; // the same pixels as the reference reader is given them
};

class BitmapsAsOtherReadersRead : public ::testing::TestWithParam<ReaderCase> {};

// The command that prints a bitmap file's pixels as 8-bit RGBA, or none when it is missing here.
std::optional<QStringList> readerCommand(Reader reader, const QString& path)
{
    if (reader == Reader::ImageMagick) {
        if (QStandardPaths::findExecutable(QStringLiteral("convert")).isEmpty())
            return std::nullopt;
        return QStringList {QStringLiteral("convert"), path, QStringLiteral("-depth"), QStringLiteral("8"), QStringLiteral("rgba:-")};
    }
    for (const QString& python : {QStringLiteral("python3"), QStringLiteral("/usr/bin/python3")})
        if (QProcess::execute(python, {QStringLiteral("-c"), QStringLiteral("import PIL")}) == 0)
            return QStringList {python, QStringLiteral("-c"),
                                QStringLiteral("import sys; from PIL import Image; "
                                               "sys.stdout.buffer.write(Image.open(sys.argv[1]).convert('RGBA').tobytes())"),
                                path};
    return std::nullopt;
}

// What the other reader makes of a bitmap file; null when it refuses it or gives another size.
QImage otherReadersPicture(const QStringList& command, QSize size)
{
    QProcess process;
    process.start(command.first(), command.mid(1));
    if (!process.waitForFinished(30000) || process.exitCode() != 0)
        return {};
    const QByteArray rgba = process.readAllStandardOutput();
    if (rgba.size() != size.width() * size.height() * 4)
        return {};
    QImage picture(size, QImage::Format_ARGB32);
    for (int i = 0; i < size.width() * size.height(); ++i) {
        const auto* p = reinterpret_cast<const uchar*>(rgba.constData()) + 4 * i;
        picture.setPixel(i % size.width(), i / size.width(), qRgba(p[0], p[1], p[2], p[3]));
    }
    return picture;
}

} // namespace

// The whole bitmap, as the viewer and copies out see it, against ImageMagick's reading of it.
TEST_P(BitmapsAsOtherReadersRead, WholePictureWithAlpha)
{
    const ReaderCase& c = GetParam();
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("b.bmp"));
    writeFile(path.toStdString(), bmpFile(sampler(), c.referenceKind.value_or(c.kind)));
    const std::optional<QStringList> command = readerCommand(c.reader, path);
    if (!command)
        GTEST_SKIP() << "the other reader (ImageMagick's convert or PIL) is not installed";
    const QImage expected = otherReadersPicture(*command, QSize(13, 7));
    ASSERT_FALSE(expected.isNull());
    const Bytes file = bmpFile(sampler(), c.kind);
    ASSERT_EQ(bw::iconSourceKind(readerOf(file)), bw::IconSourceKind::Bitmap);
    EXPECT_EQ(bw::iconCount(readerOf(file)), 1);
    EXPECT_TRUE(bw::extractIcon(readerOf(file), 1).isNull());
    const QImage whole = bw::extractLargestIcon(readerOf(file), 0);
    ASSERT_EQ(whole.size(), QSize(13, 7));
    EXPECT_TRUE(samePixels(whole, expected, c.tolerance));
    const std::vector<bw::IconImageInfo> images = bw::iconImages(readerOf(file), 0);
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].picture, whole);
    // The page's picture is opaque whatever the bitmap declares.
    const QImage icon = bw::extractIcon(readerOf(file), 0);
    ASSERT_EQ(icon.size(), QSize(32, 32));
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_EQ(qAlpha(icon.pixel(x, y)), 255);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, BitmapsAsOtherReadersRead,
    ::testing::Values(ReaderCase {"bits1", BmpKind::Bits1, 0}, ReaderCase {"bits4", BmpKind::Bits4, 0},
                      ReaderCase {"bits8", BmpKind::Bits8, 0}, ReaderCase {"bits24", BmpKind::Bits24, 0},
                      ReaderCase {"topDown24", BmpKind::TopDown24, 0}, ReaderCase {"os2core24", BmpKind::Os2Core24, 0},
                      ReaderCase {"rgb555", BmpKind::Bits16Rgb555, 0}, ReaderCase {"rgb565", BmpKind::Bits16Rgb565, 0},
                      ReaderCase {"r11g11b10", BmpKind::Bits32R11G11B10, 1},
                      ReaderCase {"alphaBitfields", BmpKind::AlphaBitfields32, 0, Reader::ImageMagick, BmpKind::V5Alpha32},
                      ReaderCase {"v5Alpha", BmpKind::V5Alpha32, 0},
                      ReaderCase {"os2ShortPalette", BmpKind::Os2ShortPalette8, 0, Reader::Pil}, ReaderCase {"rle8", BmpKind::Rle8, 0},
                      ReaderCase {"rle4", BmpKind::Rle4, 0}, ReaderCase {"rle8Moves", BmpKind::Rle8Moves, 0},
                      ReaderCase {"rle4Moves", BmpKind::Rle4Moves, 0}),
    [](const auto& p) { return std::string(p.param.name); });

// The page's picture and thumbnails are reduced while the rows are read; they must look like the
// whole bitmap scaled smoothly by Qt.
TEST(Bitmaps, ReducedWhileReadLikeTheWholeBitmapScaled)
{
    QImage picture(300, 200, QImage::Format_ARGB32);
    for (int y = 0; y < 200; ++y)
        for (int x = 0; x < 300; ++x)
            picture.setPixel(x, y, qRgba(x * 255 / 299, y * 255 / 199, (x / 25 + y / 25) % 2 ? 255 : 0, 55 + y));
    QTemporaryDir dir;
    for (const BmpKind kind : {BmpKind::Bits1, BmpKind::Bits24, BmpKind::Rle8, BmpKind::V5Alpha32, BmpKind::TopDown24}) {
        const auto path = writeFile(dir.filePath(QStringLiteral("b.bmp")).toStdString(), bmpFile(picture, kind));
        const QImage whole = bw::extractLargestIcon(path, 0);
        ASSERT_EQ(whole.size(), QSize(300, 200));
        const QImage opaque = whole.convertToFormat(QImage::Format_RGB32).convertToFormat(QImage::Format_ARGB32);
        EXPECT_TRUE(samePixels(bw::extractIcon(path, 0), bw::scaleToEdge(opaque, 32), 6)) << static_cast<int>(kind);
        EXPECT_TRUE(samePixels(bw::extractIcon(path, 0, 64), bw::scaleToEdge(opaque, 64), 6)) << static_cast<int>(kind);
        EXPECT_TRUE(samePixels(bw::thumbnailOf(path, 128), bw::thumbnailPicture(whole, 128), 6)) << static_cast<int>(kind);
        bw::releaseFileCache();
    }
}
