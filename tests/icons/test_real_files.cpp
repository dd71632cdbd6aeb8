// Real Windows files from Debian's nsis-common package, read independently by icoutils
// (wrestool, icotool): the counts and pictures must agree. Skipped where either is missing.

#include "icons/IconDirectory.h"
#include "icons/IconExtractor.h"
#include "support/FixtureWriter.h"
#include "support/TestUtil.h"

#include <QDir>
#include <QDirIterator>
#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

namespace {

const QString kNsis = QStringLiteral("/usr/share/nsis");

QByteArray run(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    p.waitForFinished(30000);
    return p.readAllStandardOutput();
}

bool toolsPresent()
{
    return QDir(kNsis).exists() && !QStandardPaths::findExecutable(QStringLiteral("wrestool")).isEmpty()
        && !QStandardPaths::findExecutable(QStringLiteral("icotool")).isEmpty();
}

// The picture icotool gives for the image our rules choose: icotool lists every image with its
// size and depth; the nearest to 32 x 32, then the deepest, then the largest, then the first.
QImage icotoolPicture(const QString& icoPath, const QString& work)
{
    const QList<QByteArray> lines = run(QStringLiteral("icotool"), {QStringLiteral("-l"), icoPath}).split('\n');
    int bestIndex = -1, bestDistance = 0, bestDepth = 0, bestArea = 0;
    for (const QByteArray& line : lines) {
        auto field = [&](const char* key) {
            const qsizetype at = line.indexOf(key);
            return at < 0 ? -1 : line.mid(at + static_cast<qsizetype>(qstrlen(key))).split(' ').first().toInt();
        };
        const int index = field("--index="), w = field("--width="), h = field("--height="), depth = field("--bit-depth=");
        if (index < 0)
            continue;
        const int distance = std::abs(w - 32) + std::abs(h - 32);
        if (bestIndex < 0 || distance < bestDistance
            || (distance == bestDistance && (depth > bestDepth || (depth == bestDepth && w * h > bestArea)))) {
            bestIndex = index;
            bestDistance = distance;
            bestDepth = depth;
            bestArea = w * h;
        }
    }
    if (bestIndex < 0)
        return {};
    const QString out = work + QStringLiteral("/chosen.png");
    QFile::remove(out);
    run(QStringLiteral("icotool"), {QStringLiteral("-x"), QStringLiteral("--index=%1").arg(bestIndex), QStringLiteral("-o"), out, icoPath});
    return bw::scaleToIconSize(QImage(out));
}

} // namespace

// Every icon file of nsis-common against icotool, and every executable stub against wrestool: its
// groups counted, its first icon shown as the group wrestool exports, and stored as that group.
TEST(RealFiles, NsisFilesAgreeWithIcoutils)
{
    if (!toolsPresent())
        GTEST_SKIP() << "nsis-common or icoutils not installed";
    QTemporaryDir work;
    int iconFiles = 0, executables = 0;
    QDirIterator it(kNsis, QDir::Files, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        const std::filesystem::path file = path.toStdString();
        QFile head(path);
        if (path.endsWith(QStringLiteral(".ico"))) {
            const QImage theirs = icotoolPicture(path, work.path());
            if (theirs.isNull())
                continue; // icotool refuses a few of these files (a PNG entry whose size it disputes)
            EXPECT_TRUE(testutil::samePixels(bw::extractIcon(file, 0), theirs, 2)) << path.toStdString();
            ++iconFiles;
        }
        if (!path.startsWith(kNsis + QStringLiteral("/Stubs/")) || !head.open(QIODevice::ReadOnly) || head.read(2) != "MZ")
            continue; // the uninstaller stub is a plain icon file
        // wrestool lists one line per group and language; the shell counts each group once.
        QSet<QByteArray> groups;
        for (const QByteArray& line :
             run(QStringLiteral("wrestool"), {QStringLiteral("-l"), QStringLiteral("--type=14"), path}).split('\n'))
            if (line.contains("--name="))
                groups.insert(line.mid(line.indexOf("--name=")).split(' ').first());
        ASSERT_EQ(bw::iconCount(file), groups.size()) << path.toStdString();
        if (groups.isEmpty())
            continue;
        // Our first icon against wrestool's group exported as an .ico file (numeric ids ascend;
        // these stubs have one group).
        const QString ico = work.path() + QStringLiteral("/group.ico");
        QFile::remove(ico);
        run(QStringLiteral("wrestool"), {QStringLiteral("-x"), QStringLiteral("--type=14"), QStringLiteral("-o"), ico, path});
        EXPECT_TRUE(testutil::samePixels(bw::extractIcon(file, 0), icotoolPicture(ico, work.path()), 2)) << path.toStdString();
        // The group as stored is wrestool's file up to the group's sizes; what wrestool writes
        // beyond those (it sizes its file by the resources) is not part of the icon.
        const std::optional<bw::StoredIcon> stored = bw::storedIcon(file, 0);
        ASSERT_TRUE(stored) << path.toStdString();
        QFile theirs(ico);
        ASSERT_TRUE(theirs.open(QIODevice::ReadOnly));
        EXPECT_EQ(theirs.readAll().left(stored->bytes.size()), stored->bytes) << path.toStdString();
        ++executables;
    }
    EXPECT_GT(iconFiles, 20);
    EXPECT_GT(executables, 5);
}

namespace {

bool present(const char* tool) { return !QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty(); }

QString saved(const QString& path, const fixtures::Bytes& bytes)
{
    testutil::writeFile(path.toStdString(), bytes);
    return path;
}

// A round picture of the given colour and edge, half transparent at the rim, so that sizes and
// colours can be told apart.
QImage disc(QRgb colour, int edge)
{
    QImage picture(edge, edge, QImage::Format_ARGB32);
    for (int y = 0; y < edge; ++y)
        for (int x = 0; x < edge; ++x) {
            const int dx = 2 * x + 1 - edge, dy = 2 * y + 1 - edge, r2 = dx * dx + dy * dy;
            picture.setPixel(x, y, r2 < edge * edge * 3 / 4 ? colour : r2 < edge * edge ? (colour & 0x00FFFFFFu) | 0x80000000u : 0);
        }
    return picture;
}

// Each image icotool extracts from an icon file, in order.
std::vector<QImage> icotoolImages(const QString& ico, const QString& work)
{
    QDir(work + QStringLiteral("/ico")).removeRecursively();
    QDir().mkpath(work + QStringLiteral("/ico"));
    run(QStringLiteral("icotool"), {QStringLiteral("-x"), QStringLiteral("-o"), work + QStringLiteral("/ico"), ico});
    QStringList names = QDir(work + QStringLiteral("/ico")).entryList(QDir::Files, QDir::Name);
    std::vector<QImage> images;
    for (const QString& name : names)
        images.push_back(QImage(work + QStringLiteral("/ico/") + name).convertToFormat(QImage::Format_ARGB32));
    return images;
}

QImage decodedBy(const QString& program, const QStringList& args, const QString& out)
{
    QFile::remove(out);
    run(program, args);
    return QImage(out).convertToFormat(QImage::Format_ARGB32);
}

// What one kind of file gives, read by us and by a reader of its own.
struct KindCase {
    const char* name;
    const char* tool;
    QImage ours;
    QImage theirs;
};

} // namespace

// The kinds of a disk of today against independent readers: animated cursors (their frames
// read by icotool), Apple icon files (icns2png), PNG favicons (ImageMagick), a system icon
// store (wrestool), a group in two languages and a 512 px PNG inside an icon file (icotool).
TEST(RealFiles, TodaysKindsAgreeWithIndependentReaders)
{
    QTemporaryDir dir;
    const QString w = dir.path();
    const auto ours = [](const QString& path, bool largest = false) {
        const std::filesystem::path file = path.toStdString();
        return largest ? bw::extractLargestIcon(file, 0) : bw::extractIcon(file, 0);
    };
    std::vector<KindCase> cases;

    // Animated cursors: the frame shown first, with and without a sequence.
    const fixtures::Bytes red
        = fixtures::iconFile({fixtures::dibImage(disc(qRgb(200, 30, 40), 16), 32), fixtures::dibImage(disc(qRgb(200, 30, 40), 32), 32)});
    const fixtures::Bytes green = fixtures::iconFile({fixtures::dibImage(disc(qRgb(30, 160, 40), 32), 8)});
    const fixtures::Bytes blue = fixtures::iconFile({fixtures::dibImage(disc(qRgb(20, 40, 220), 48), 32)}, 2);
    const fixtures::Bytes grey = fixtures::iconFile({fixtures::dibImage(disc(qRgb(90, 90, 90), 32), 4)}, 2);
    cases.push_back({"ani, icon frames", "icotool", ours(saved(w + "/a.ani", fixtures::aniFile({red, green}))),
                     icotoolPicture(saved(w + "/red.ico", red), w)});
    cases.push_back({"ani, cursor frames, sequence", "icotool", ours(saved(w + "/b.ani", fixtures::aniFile({grey, grey, blue}, {2, 0, 1}))),
                     icotoolPicture(saved(w + "/blue.cur", blue), w)});

    // Apple icon files as png2icns writes them: packed 24-bit images with 8-bit masks, and a
    // JPEG 2000 image of 256, which Qt cannot read, so the largest that can be shown is 128.
    QStringList pngs;
    for (int edge : {16, 32, 48, 128, 256}) {
        pngs << w + QStringLiteral("/d%1.png").arg(edge);
        disc(qRgb(30 + edge, 100, 200 - edge), edge).save(pngs.back());
    }
    run(QStringLiteral("png2icns"), QStringList {w + "/c.icns"} + pngs);
    for (const int edge : {32, 128})
        cases.push_back({edge == 32 ? "icns, nearest to 32" : "icns, largest", "icns2png", ours(w + "/c.icns", edge == 128),
                         decodedBy(QStringLiteral("icns2png"), {QStringLiteral("-x"), QStringLiteral("-o"), w, w + "/c.icns"},
                                   w + QStringLiteral("/c_%1x%1x32.png").arg(edge))});
    // Newer files store PNG elements, which icns2png does not read; ImageMagick reads the PNG.
    const QImage p32 = disc(qRgb(250, 200, 0), 32);
    const fixtures::Bytes icns = fixtures::icnsFile({{"ic07", fixtures::pngData(disc(qRgb(0, 0, 0), 128))},
                                                     {"icp5", fixtures::pngData(p32)},
                                                     {"icp4", fixtures::pngData(disc(0xFF000000u, 16))}});
    saved(w + "/icp5.png", fixtures::pngData(p32));
    cases.push_back(
        {"icns, PNG elements", "convert", ours(saved(w + "/d.icns", icns)),
         bw::scaleToIconSize(decodedBy(QStringLiteral("convert"), {w + "/icp5.png", "png32:" + w + "/im.png"}, w + "/im.png"))});

    // A favicon saved as PNG under an icon's name.
    cases.push_back({"PNG favicon", "convert", ours(saved(w + "/favicon.ico", fixtures::pngData(disc(qRgb(10, 120, 130), 48)))),
                     bw::scaleToIconSize(
                         decodedBy(QStringLiteral("convert"), {"png:" + w + "/favicon.ico", "png32:" + w + "/fav.png"}, w + "/fav.png"))});

    // A system icon store is the program it was copied from.
    const QString stub = kNsis + QStringLiteral("/Stubs/bzip2-x86-unicode");
    if (QFile::exists(stub)) {
        QFile::copy(stub, w + "/imageres.dll.mun");
        run(QStringLiteral("wrestool"), {"-x", "--type=14", "-o", w + "/mun.ico", w + "/imageres.dll.mun"});
        cases.push_back({".mun", "wrestool", ours(w + "/imageres.dll.mun"), icotoolPicture(w + "/mun.ico", w)});
    }

    // The largest image of an icon file: a PNG of 512 beside one of 256, both "0" in the directory.
    const QImage big = disc(qRgb(120, 0, 160), 512);
    const QString icon512
        = saved(w + "/big.ico",
                fixtures::iconFile({{0, 0, 1, 32, fixtures::pngData(big)}, {0, 0, 1, 32, fixtures::pngData(disc(qRgb(1, 2, 3), 256))}}));
    const std::vector<QImage> bigImages = icotoolImages(icon512, w);
    cases.push_back({"512 px PNG in an icon file", "icotool", ours(icon512, true), bigImages.empty() ? QImage() : bigImages.front()});

    for (const KindCase& c : cases) {
        if (!present(c.tool)) {
            std::printf("skipped (no %s): %s\n", c.tool, c.name);
            continue;
        }
        ASSERT_FALSE(c.theirs.isNull()) << c.name;
        EXPECT_EQ(c.ours.size(), c.theirs.size()) << c.name;
        EXPECT_TRUE(testutil::samePixels(c.ours, c.theirs, 2)) << c.name;
    }

    // A group in two languages: the viewer lists the images of both, each tagged, and wrestool
    // finds the same images in each language.
    if (!present("wrestool") || !present("icotool"))
        return;
    fixtures::GroupIcon group;
    group.languages = {0x0409, 0x0407};
    group.images = {fixtures::dibImage(disc(qRgb(200, 0, 0), 32), 32), fixtures::dibImage(disc(qRgb(200, 0, 0), 16), 32)};
    group.laterLanguageImages = {fixtures::dibImage(disc(qRgb(0, 0, 200), 48), 32)};
    const QString exe = saved(w + "/two.dll", fixtures::peFile({group}, false));
    ASSERT_EQ(bw::iconCount(std::filesystem::path(exe.toStdString())), 1);
    const std::vector<bw::IconImageInfo> listed = bw::iconImages(std::filesystem::path(exe.toStdString()), 0);
    std::vector<QImage> expected;
    std::vector<int> languages;
    for (const int language : {0x0409, 0x0407}) {
        const QString ico = w + QStringLiteral("/lang%1.ico").arg(language);
        run(QStringLiteral("wrestool"), {"-x", "--type=14", QStringLiteral("--language=%1").arg(language), "-o", ico, exe});
        for (const QImage& image : icotoolImages(ico, w)) {
            expected.push_back(image);
            languages.push_back(language);
        }
    }
    ASSERT_EQ(listed.size(), expected.size());
    for (std::size_t i = 0; i < listed.size(); ++i) {
        EXPECT_EQ(listed[i].language, languages[i]);
        EXPECT_TRUE(testutil::samePixels(listed[i].picture, expected[i], 0)) << i;
    }
}
