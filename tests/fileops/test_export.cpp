// Exporting catalogue entries into a copy directory: names, the three ways, and that no file that
// was there is ever changed.

#include "catalogue/Catalogue.h"
#include "fileops/Export.h"
#include "icons/IconExtractor.h"
#include "support/Dialogs.h"
#include "support/TestUtil.h"

#include <QProcess>
#include <QStandardPaths>

#include <gtest/gtest.h>

#include <sys/stat.h>

using namespace bw;
using namespace testutil;
namespace fs = std::filesystem;

namespace {

class CollectedLines final : public ReportLines {
public:
    void addLine(const QString& line) override { lines.append(line); }
    QStringList lines;
};

class Export : public ::testing::Test {
protected:
    QTemporaryDir sourceDir;
    QTemporaryDir copyDir;
    fs::path sources {sourceDir.path().toStdString()};
    fs::path copies {copyDir.path().toStdString()};
    Catalogue catalogue {100};
    CollectedLines report;

    // Adds `count` entries of one file (indexes 0..count-1) after `padding` entries of a dummy.
    std::int32_t add(const fs::path& path, std::uint16_t index = 0)
    {
        catalogue.appendEntry(path.string(), index);
        return catalogue.entryCount();
    }
    ExportOutcome run(std::int32_t n, ExportFormat format)
    {
        ExportDirectory directory(copies.string());
        return exportEntry(catalogue, n, format, directory, report);
    }
    std::vector<std::string> copiedNames() const
    {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(copies))
            names.push_back(e.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

} // namespace

TEST(ExportNames, BaseNameFromNumberFileAndIndex)
{
    EXPECT_EQ(exportBaseName(17, "/usr/lib/shell32.dll", 3), "17_shell32_3");
    EXPECT_EQ(exportBaseName(5, "/daten/Bilder/pfeil.ico", 0), "5_pfeil");
    EXPECT_EQ(exportBaseName(3, "/x/.ico", 0), "3_"); // a name that is only an extension
    EXPECT_EQ(exportBaseName(3, "/x/a.ico", 0), "3_a");
    EXPECT_EQ(exportBaseName(3, "/x/abcd", 0), "3_");            // four characters or fewer: no base
    EXPECT_EQ(exportBaseName(9, "/x/y.tar.gz", 2), "9_y.ta_2");  // always the last four characters
    EXPECT_EQ(exportBaseName(4, "/x/Apfel.ICNS", 0), "4_Apfel"); // the one longer extension of the type list
}

TEST(ExportNames, WayBySourceAndFormat)
{
    EXPECT_EQ(exportWayFor("/a/b.ICO", ExportFormat::Icon), ExportWay::PlainCopy);
    EXPECT_EQ(exportWayFor("/a/b.cur", ExportFormat::Icon), ExportWay::PlainCopy);
    EXPECT_EQ(exportWayFor("/a/b.bmp", ExportFormat::Icon), ExportWay::IconFromBitmap);
    EXPECT_EQ(exportWayFor("/a/b.ico", ExportFormat::Bitmap), ExportWay::ExtractedIcon);
    EXPECT_EQ(exportWayFor("/a/b.dll", ExportFormat::Icon), ExportWay::ExtractedIcon);
    EXPECT_EQ(exportWayFor("/a/b.bmp", ExportFormat::Bitmap), ExportWay::ExtractedIcon);
    EXPECT_EQ(exportWayFor("/a/b.ico", ExportFormat::Original), ExportWay::Original);
    EXPECT_EQ(exportWayFor("/a/b.bmp", ExportFormat::Png), ExportWay::Png);
}

TEST_F(Export, RepeatedExportsTakeTheNextCounterAndNeverTouchExistingFiles)
{
    const fs::path icon = writeFile(sources / "pfeil.ico", solidIcon(qRgb(255, 0, 0)));
    for (int i = 1; i < 5; ++i)
        add(sources / "dummy.ico");
    const std::int32_t n = add(icon);
    ASSERT_EQ(n, 5);
    // Somebody else's file under the second name must survive byte for byte.
    const fixtures::Bytes foreign {'f', 'r', 'e', 'm', 'd'};
    writeFile(copies / "5_pfeil_1.ico", foreign);

    EXPECT_EQ(run(n, ExportFormat::Icon).target, (copies / "5_pfeil.ico").string());
    EXPECT_EQ(run(n, ExportFormat::Icon).target, (copies / "5_pfeil_2.ico").string());
    EXPECT_EQ(run(n, ExportFormat::Icon).target, (copies / "5_pfeil_3.ico").string());
    EXPECT_EQ(readFile(copies / "5_pfeil_1.ico"), foreign);
    EXPECT_EQ(readFile(copies / "5_pfeil_3.ico"), readFile(icon));
    EXPECT_TRUE(report.lines.isEmpty());
}

TEST_F(Export, NamesTooLongForTheFileSystemAreShortenedInTheMiddle)
{
    // 255-byte source names need longer targets. The source's part is shortened; the number,
    // index, counter and extension stay, and a UTF-8 character is never cut in half.
    const std::string ascii = std::string(251, 'a') + ".ico";
    std::string umlauts = "x";
    for (int i = 0; i < 124; ++i)
        umlauts += "\xc3\xa4"; // ä
    umlauts += "zz.dll";
    ASSERT_EQ(ascii.size(), 255u);
    ASSERT_EQ(umlauts.size(), 255u);
    const std::int32_t icon = add(writeFile(sources / ascii, solidIcon(qRgb(255, 0, 0))));
    const std::int32_t library = add(writeFile(sources / umlauts, libraryWithIcons(12)), 11);
    const auto repeat = [](const std::string& s, int n) {
        std::string r;
        for (int i = 0; i < n; ++i)
            r += s;
        return r;
    };
    struct Case {
        std::int32_t n;
        ExportFormat format;
        std::string first, second;
    };
    for (const Case& c : {Case {icon, ExportFormat::Icon, "1_" + std::string(249, 'a') + ".ico", "1_" + std::string(247, 'a') + "_1.ico"},
                          Case {library, ExportFormat::Bitmap, "2_x" + repeat("\xc3\xa4", 122) + "_11.bmp",
                                "2_x" + repeat("\xc3\xa4", 121) + "_11_1.bmp"}}) {
        EXPECT_EQ(fs::path(run(c.n, c.format).target).filename().string(), c.first);
        EXPECT_EQ(fs::path(run(c.n, c.format).target).filename().string(), c.second);
    }
    EXPECT_TRUE(report.lines.isEmpty()) << report.lines.join('\n').toStdString();
}

TEST_F(Export, AFileAppearingAfterTheDirectoryWasListedIsNotReplaced)
{
    const std::int32_t n = add(writeFile(sources / "lib.dll", libraryWithIcons(3)), 2);
    ExportDirectory directory(copies.string());
    directory.learnExistingNames();
    const fixtures::Bytes foreign {1, 2, 3};
    writeFile(copies / "1_lib_2.ico", foreign); // written by another program meanwhile
    const ExportOutcome outcome = exportEntry(catalogue, n, ExportFormat::Icon, directory, report);
    EXPECT_EQ(outcome.target, (copies / "1_lib_2_1.ico").string());
    EXPECT_EQ(readFile(copies / "1_lib_2.ico"), foreign);
    // The next export of the same entry does not try the taken names again, and takes _2.
    EXPECT_EQ(exportEntry(catalogue, n, ExportFormat::Icon, directory, report).target, (copies / "1_lib_2_2.ico").string());
}

TEST_F(Export, CursorIsCopiedByteForByteAsIcon)
{
    const fixtures::Bytes cursor = fixtures::iconFile({{32, 32, 3, 4, fixtures::iconDib(bands(), 24)}}, 2);
    const std::int32_t n = add(writeFile(sources / "hand.cur", cursor));
    const ExportOutcome outcome = run(n, ExportFormat::Icon);
    ASSERT_TRUE(outcome.written);
    EXPECT_EQ(outcome.target, (copies / "1_hand.ico").string());
    EXPECT_EQ(readFile(outcome.target), cursor);
}

TEST_F(Export, IconAsBitmapIsTheIconOnWhiteAtTopLeft)
{
    const std::int32_t n = add(writeFile(sources / "bunt.ico", fixtures::iconFile({fixtures::dibImage(bands(true), 32)})));
    const ExportOutcome outcome = run(n, ExportFormat::Bitmap);
    ASSERT_TRUE(outcome.written);
    EXPECT_EQ(outcome.target, (copies / "1_bunt.bmp").string());
    QImage bitmap(QString::fromStdString(outcome.target));
    ASSERT_FALSE(bitmap.isNull());
    EXPECT_EQ(bitmap.size(), QSize(32, 32));
    EXPECT_EQ(bitmap.format(), QImage::Format_Indexed8);
    EXPECT_EQ(bitmap.pixel(0, 0), qRgb(255, 255, 255));          // the transparent corner stays white
    EXPECT_EQ(bitmap.pixel(31, 31), bands(false).pixel(31, 31)); // pure colours are on the cube
}

TEST_F(Export, LibraryIndexWithoutIconReportsAndWritesNothing)
{
    const fs::path lib = writeFile(sources / "zwei.dll", libraryWithIcons(2));
    const std::int32_t n = add(lib, 7);
    const ExportOutcome outcome = run(n, ExportFormat::Icon);
    EXPECT_FALSE(outcome.written);
    EXPECT_EQ(report.lines,
              QStringList {QStringLiteral("Nr: 1..") + QString::fromStdString(lib.string()) + "..Icon kann nicht GELADEN werden ."});
    EXPECT_TRUE(copiedNames().empty());
}

TEST_F(Export, RefusedCopiesAndBitmapsLeaveALineAndNoFile)
{
    // A vanished icon file: the plain copy is refused.
    const std::int32_t gone = add(sources / "weg.ico");
    // A bitmap that is not one: no icon for the icon file.
    const std::int32_t broken = add(writeFile(sources / "kaputt.bmp", fixtures::Bytes(40, 'x')));
    EXPECT_FALSE(run(gone, ExportFormat::Icon).written);
    EXPECT_FALSE(run(broken, ExportFormat::Icon).written);
    ASSERT_EQ(report.lines.size(), 2);
    EXPECT_TRUE(report.lines[0].endsWith("weg.ico..Icon kann nicht KOPIERT werden ."));
    EXPECT_TRUE(report.lines[1].startsWith("Nr: 2.."));
    EXPECT_TRUE(report.lines[1].endsWith("kaputt.bmp..Icon kann nicht KOPIERT werden ."));
    EXPECT_TRUE(copiedNames().empty());
}

TEST_F(Export, MissingCopyDirectory)
{
    const std::int32_t icon = add(writeFile(sources / "a.ico", solidIcon(qRgb(0, 0, 255))));
    const std::int32_t lib = add(writeFile(sources / "b.dll", libraryWithIcons(1)));
    copies = copies / "gibt-es-nicht";
    // The plain copy becomes a report line; the extracted icon ends the command with a message.
    EXPECT_FALSE(run(icon, ExportFormat::Icon).written);
    EXPECT_EQ(report.lines.size(), 1);
    try {
        run(lib, ExportFormat::Icon);
        FAIL() << "no error";
    } catch (const CommandError& error) {
        EXPECT_EQ(error.text(),
                  QStringLiteral("Datei ") + QString::fromStdString((copies / "2_b.ico").string()) + " kann nicht erstellt werden");
    }
    EXPECT_THROW(run(lib, ExportFormat::Bitmap), CommandError);
}

TEST_F(Export, NonUtf8NamesKeepTheirBytes)
{
    const std::string name = "gr\xfcn.dll"; // Latin-1, not UTF-8
    const std::int32_t n = add(writeFile(sources / name, libraryWithIcons(1)), 0);
    add(sources / ("weg\xe4.ico"));
    const ExportOutcome outcome = run(n, ExportFormat::Icon);
    ASSERT_TRUE(outcome.written);
    EXPECT_EQ(fs::path(outcome.target).filename().string(), "1_gr\xfcn.ico");
    EXPECT_FALSE(run(2, ExportFormat::Icon).written);
    ASSERT_EQ(report.lines.size(), 1);
    EXPECT_TRUE(report.lines[0].contains(QStringLiteral("weg\\344.ico\""))); // the byte shown escaped
}

TEST_F(Export, WrittenIconsReadBackHereAndWithIcotool)
{
    const std::int32_t n = add(writeFile(sources / "lib.exe", libraryWithIcons(2, false, qRgb(0, 128, 0))), 1);
    const ExportOutcome outcome = run(n, ExportFormat::Icon);
    ASSERT_TRUE(outcome.written);
    EXPECT_EQ(fs::file_size(outcome.target), 766u);
    const QImage back = extractIcon(fs::path(outcome.target), 0);
    ASSERT_FALSE(back.isNull());
    EXPECT_EQ(back.pixel(16, 16), qRgb(0, 128, 0));
    if (QStandardPaths::findExecutable(QStringLiteral("icotool")).isEmpty())
        GTEST_SKIP() << "icotool is not installed";
    QProcess icotool;
    icotool.start(QStringLiteral("icotool"), {QStringLiteral("-l"), QString::fromStdString(outcome.target)});
    ASSERT_TRUE(icotool.waitForFinished());
    EXPECT_EQ(icotool.exitCode(), 0);
    EXPECT_TRUE(icotool.readAllStandardOutput().contains("--width=32 --height=32 --bit-depth=4"));
}

TEST_F(Export, OriginalIsTheIconAsStored)
{
    // A group of three sizes; its icon file is what an icon file of the same images would be.
    const std::vector<fixtures::IconImage> images {fixtures::dibImage(solid(qRgb(255, 0, 0), 16, 16), 8),
                                                   fixtures::dibImage(solid(qRgb(0, 255, 0), 48, 48), 32),
                                                   {0, 0, 1, 32, fixtures::pngData(solid(qRgb(0, 0, 255), 256, 256))}};
    const std::vector<fixtures::GroupIcon> groups {{std::nullopt, 1, {0x0409}, {fixtures::dibImage(bands(), 4)}},
                                                   {std::nullopt, 2, {0x0409}, images}};
    const fixtures::Bytes cursor = fixtures::iconFile({{32, 32, 3, 4, fixtures::iconDib(bands(), 24)}}, 2);
    const fixtures::Bytes bitmap = fixtures::bmpFile(bands(false), fixtures::BmpKind::Bits24);
    const fixtures::Bytes ani = fixtures::aniFile({cursor, cursor}, {1, 0});
    const fixtures::Bytes icns = fixtures::icnsFile({{"ic07", fixtures::pngData(solid(qRgb(1, 2, 3), 128, 128))}});
    const fixtures::Bytes png = fixtures::pngData(bands());
    // A group in two languages is copied in the language the page shows, its first.
    fixtures::GroupIcon twoLanguages {std::nullopt, 1, {0x0409, 0x0407}, images, {fixtures::dibImage(bands(), 4)}};
    struct Case {
        fs::path source;
        fixtures::Bytes bytes;
        std::uint16_t index;
        const char* target;
        fixtures::Bytes expected;
    };
    for (const Case& c : {Case {"prog.exe", fixtures::peFile(groups, true), 1, "1_prog_1.ico", fixtures::iconFile(images)},
                          Case {"alt.icl", fixtures::neFile(groups), 1, "2_alt_1.ico", fixtures::iconFile(images)}, // without padding
                          Case {"hand.cur", cursor, 0, "3_hand.cur", cursor}, Case {"bild.BMP", bitmap, 0, "4_bild.bmp", bitmap},
                          Case {"lauf.ani", ani, 0, "5_lauf.ani", ani}, Case {"apfel.icns", icns, 0, "6_apfel.icns", icns},
                          Case {"favicon.ico", png, 0, "7_favicon.ico", png},
                          Case {"zwei.dll", fixtures::peFile({twoLanguages}, false), 0, "8_zwei.ico", fixtures::iconFile(images)},
                          // Byte copies keep a picture's extension, whatever the content; never a program's.
                          Case {"bild.ico", bitmap, 0, "9_bild.ico", bitmap}, Case {"zeiger.exe", cursor, 0, "10_zeiger.cur", cursor}}) {
        const ExportOutcome outcome = run(add(writeFile(sources / c.source, c.bytes), c.index), ExportFormat::Original);
        EXPECT_EQ(fs::path(outcome.target).filename().string(), c.target);
        EXPECT_EQ(readFile(outcome.target), c.expected) << c.source;
    }
    // The same entry again takes the next name; an index without a group is reported.
    EXPECT_EQ(fs::path(run(1, ExportFormat::Original).target).filename().string(), "1_prog_1_1.ico");
    EXPECT_FALSE(run(add(sources / "prog.exe", 2), ExportFormat::Original).written);
    EXPECT_EQ(report.lines, QStringList {"Nr: 11.." + QString::fromStdString((sources / "prog.exe").string()) + kNotLoaded});
}

TEST_F(Export, PngIsTheLargestImageAtItsOwnSize)
{
    // Largest area first, then the deepest colour: the 48 x 48 of 32 bits with its alpha.
    QImage alpha = solid(qRgba(0, 0, 255, 128), 48, 48);
    alpha.setPixel(0, 0, qRgba(0, 0, 0, 0));
    const fixtures::Bytes icon = fixtures::iconFile({fixtures::dibImage(solid(qRgb(255, 0, 0), 16, 16), 32),
                                                     fixtures::dibImage(solid(qRgb(0, 255, 0), 48, 48), 8),
                                                     {48, 48, 1, 32, fixtures::iconDib(alpha, 32)}});
    const QImage wide = solid(qRgb(0, 255, 255), 40, 20);
    for (const auto& [source, bytes, target, expected] :
         {std::tuple {"tief.ico", icon, "1_tief.png", alpha},
          {"eins.dll", libraryWithIcons(1, true, qRgb(9, 8, 7)), "2_eins.png", solid(qRgb(9, 8, 7))},
          {"breit.bmp", fixtures::bmpFile(wide, fixtures::BmpKind::Bits24), "3_breit.png", wide}}) {
        const ExportOutcome outcome = run(add(writeFile(sources / source, bytes)), ExportFormat::Png);
        EXPECT_EQ(fs::path(outcome.target).filename().string(), target);
        const fixtures::Bytes png = readFile(outcome.target);
        ASSERT_GT(png.size(), 26u);
        EXPECT_EQ(png[24] * 100 + png[25], 806) << source; // 8 bits for each of red, green, blue and alpha
        EXPECT_TRUE(samePixels(QImage(QString::fromStdString(outcome.target)).convertToFormat(QImage::Format_ARGB32), expected));
    }
    EXPECT_FALSE(run(add(writeFile(sources / "kaputt.ico", {0, 0, 1, 0, 1, 0})), ExportFormat::Png).written);
    EXPECT_EQ(report.lines.size(), 1);
}
