// The single-image 16-colour icon writer and the 8-bit bitmap export.

#include "catalogue/Catalogue.h"
#include "fileops/BitmapExport.h"
#include "fileops/Export.h"
#include "fileops/IconFileWriter.h"
#include "icons/IconExtractor.h"
#include "support/SafeFile.h"
#include "support/TestUtil.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <functional>
#include <mutex>
#include <tuple>

using namespace fixtures;
using namespace testutil;

namespace {

std::uint32_t le16(const Bytes& b, std::size_t at) { return b[at] | (b[at + 1] << 8); }
std::uint32_t le32(const Bytes& b, std::size_t at) { return le16(b, at) | (le16(b, at + 2) << 16); }

Bytes bytesOf(const QByteArray& a) { return Bytes(a.begin(), a.end()); }

// A picture in colours that are not all in the VGA palette, with a transparent corner and a
// half-transparent pixel.
QImage mixedPicture()
{
    QImage picture = bands(true);
    picture.setPixel(12, 20, qRgb(130, 10, 120));    // nearest VGA colour: purple
    picture.setPixel(13, 20, qRgb(200, 190, 180));   // silver
    picture.setPixel(14, 20, qRgba(255, 0, 0, 127)); // below half: transparent
    picture.setPixel(15, 20, qRgba(255, 0, 0, 128)); // red
    return picture;
}

QImage reducedTo16(const QImage& picture)
{
    QImage expected = picture.copy();
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const QRgb c = picture.pixel(x, y);
            expected.setPixel(x, y,
                              qAlpha(c) < 128 ? qRgba(0, 0, 0, 0) : bw::kVgaPalette[static_cast<std::size_t>(bw::nearestVgaIndex(c))]);
        }
    return expected;
}

} // namespace

TEST(IconFileWriter, TiesGoToTheFirstPaletteEntry)
{
    // Colours at equal distance from two palette entries; the written pixels hold the first.
    struct Case {
        QRgb colour;
        int index;
    };
    for (const Case& c : {Case {qRgb(160, 160, 160), 7}, Case {qRgb(64, 0, 0), 0}, Case {qRgb(128, 128, 64), 3}}) {
        EXPECT_EQ(bw::nearestVgaIndex(c.colour), c.index) << std::hex << c.colour;
        QImage picture(32, 32, QImage::Format_ARGB32);
        picture.fill(c.colour);
        const std::optional<QByteArray> encoded = bw::encodeIcon16(picture);
        ASSERT_TRUE(encoded);
        EXPECT_EQ(static_cast<unsigned char>(encoded->at(22 + 40 + 64)), c.index * 0x11) << std::hex << c.colour;
    }
}

TEST(IconFileWriter, LayoutFieldByField)
{
    const std::optional<QByteArray> encoded = bw::encodeIcon16(mixedPicture());
    ASSERT_TRUE(encoded);
    const Bytes b = bytesOf(*encoded);
    ASSERT_EQ(b.size(), 766u);
    // The directory entry (its colour, planes and bit-count fields at 8, 10 and 12), then the
    // BITMAPINFOHEADER: offset, width in bytes, value.
    const std::tuple<std::size_t, int, std::uint32_t> fields[]
        = {{0, 2, 0},  {2, 2, 1},    {4, 2, 1},    {6, 1, 32},  {7, 1, 32},  {8, 2, 4},   {10, 2, 0},
           {12, 2, 0}, {14, 4, 744}, {18, 4, 22},  {22, 4, 40}, {26, 4, 32}, {30, 4, 64}, {34, 2, 1},
           {36, 2, 4}, {38, 4, 0},   {42, 4, 512}, {46, 4, 0},  {50, 4, 0},  {54, 4, 16}, {58, 4, 0}};
    for (const auto& [at, width, value] : fields)
        EXPECT_EQ(width == 1 ? b[at] : width == 2 ? le16(b, at) : le32(b, at), value) << "offset " << at;
    // Palette: VGA colours as blue, green, red, 0.
    for (std::size_t i = 0; i < 16; ++i) {
        EXPECT_EQ(b[62 + 4 * i], qBlue(bw::kVgaPalette[i]));
        EXPECT_EQ(b[62 + 4 * i + 1], qGreen(bw::kVgaPalette[i]));
        EXPECT_EQ(b[62 + 4 * i + 2], qRed(bw::kVgaPalette[i]));
        EXPECT_EQ(b[62 + 4 * i + 3], 0);
    }
    EXPECT_EQ(bw::kVgaPalette[7], qRgb(192, 192, 192));
    EXPECT_EQ(bw::kVgaPalette[9], qRgb(255, 0, 0));
    // Colour pixels bottom row first: the last stored row is the top row, whose first 8 pixels
    // are the transparent corner (index 0), followed by the bands of lime (10) and blue (12).
    const std::size_t topRow = 126 + 31 * 16;
    EXPECT_EQ(b[topRow], 0x00);
    EXPECT_EQ(b[topRow + 4], 0xAA);
    EXPECT_EQ(b[topRow + 6], 0xCC);
    // Mask: 1 = transparent, the top row's first byte covers the transparent corner.
    const std::size_t maskTop = 126 + 512 + 31 * 4;
    EXPECT_EQ(b[maskTop], 0xFF);
    EXPECT_EQ(b[maskTop + 1], 0x00);
    EXPECT_EQ(b[126 + 512], 0x00); // bottom row opaque
}

TEST(IconFileWriter, WrittenIconReadsBackAsThe16ColourPicture)
{
    QTemporaryDir dir;
    const std::filesystem::path target = std::filesystem::path(dir.path().toStdString()) / "17_shell32_3.ico";
    const QImage picture = mixedPicture();
    ASSERT_EQ(bw::writeIconFile(target, picture), bw::IconWriteResult::Ok);
    EXPECT_EQ(std::filesystem::file_size(target), 766u);
    EXPECT_EQ(bw::iconCount(target), 1);
    EXPECT_TRUE(samePixels(bw::extractIcon(target, 0), reducedTo16(picture)));
}

TEST(IconFileWriter, RejectsEmptyPictureWithoutCreatingAFile)
{
    QTemporaryDir dir;
    const std::filesystem::path target = std::filesystem::path(dir.path().toStdString()) / "leer.ico";
    EXPECT_EQ(bw::writeIconFile(target, QImage()), bw::IconWriteResult::InvalidIcon);
    EXPECT_FALSE(std::filesystem::exists(target));
}

TEST(IconFileWriter, NeverReplacesAFile)
{
    QTemporaryDir dir;
    const std::filesystem::path base = dir.path().toStdString();
    const std::filesystem::path existing = writeFile(base / "da.ico", {1, 2, 3});
    EXPECT_EQ(bw::writeIconFile(existing, solid(qRgb(255, 0, 0))), bw::IconWriteResult::CannotCreate);
    EXPECT_EQ(readFile(existing), (Bytes {1, 2, 3}));
    EXPECT_EQ(bw::writeIconFile(base / "fehlt" / "x.ico", solid(qRgb(255, 0, 0))), bw::IconWriteResult::CannotCreate);
}

TEST(SafeFile, NeverReplacesAnExistingFile)
{
    QTemporaryDir dir;
    const std::filesystem::path target = std::filesystem::path(dir.path().toStdString()) / "x.bin";
    EXPECT_EQ(bw::writeNewFile(target, QByteArray(10, 'a')), bw::WriteResult::Ok);
    EXPECT_EQ(bw::writeNewFile(target, QByteArray(20, 'b')), bw::WriteResult::AlreadyExists);
    EXPECT_EQ(std::filesystem::file_size(target), 10u);
}

TEST(BitmapExport, TemplatePalette)
{
    const QImage t = bw::bitmapTemplate();
    ASSERT_EQ(t.format(), QImage::Format_Indexed8);
    ASSERT_EQ(t.size(), QSize(32, 32));
    ASSERT_EQ(t.colorCount(), 256);
    EXPECT_EQ(t.color(0), qRgb(0, 0, 0));
    EXPECT_EQ(t.color(36 * 1 + 6 * 2 + 3), qRgb(102, 51, 153)); // green level 1, red level 2, blue level 3
    EXPECT_EQ(t.color(215), qRgb(255, 255, 255));
    for (int i = 216; i < 256; ++i)
        EXPECT_EQ(t.color(i), qRgb(0, 0, 0));
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            ASSERT_EQ(t.pixelIndex(x, y), 215);
}

TEST(BitmapExport, IconOnWhiteWithNearestColours)
{
    QImage icon = bands(true);
    icon.setPixel(20, 20, qRgb(60, 140, 230));  // nearest cube colour: 51, 153, 255
    icon.setPixel(21, 20, qRgba(0, 0, 0, 128)); // half black over white: grey 127, nearer to 102 than 153
    const QImage out = bw::renderOnTemplate(icon);
    EXPECT_EQ(out.pixelIndex(0, 0), 215); // transparent: white stays
    EXPECT_EQ(out.color(out.pixelIndex(20, 20)), qRgb(51, 153, 255));
    EXPECT_EQ(out.color(out.pixelIndex(4, 10)), qRgb(255, 0, 0));
    EXPECT_EQ(out.color(out.pixelIndex(21, 20)), qRgb(102, 102, 102));

    // Nearest by squared distance agrees with a full search of the palette.
    const QImage t = bw::bitmapTemplate();
    for (int v = 0; v < 256; v += 5) {
        const QRgb c = qRgb(v, 255 - v, (v * 7) % 256);
        int best = 0;
        int bestDistance = INT_MAX;
        for (int i = 0; i < 256; ++i) {
            const QRgb p = t.color(i);
            const int d = (qRed(c) - qRed(p)) * (qRed(c) - qRed(p)) + (qGreen(c) - qGreen(p)) * (qGreen(c) - qGreen(p))
                + (qBlue(c) - qBlue(p)) * (qBlue(c) - qBlue(p));
            if (d < bestDistance) {
                best = i;
                bestDistance = d;
            }
        }
        EXPECT_EQ(bw::nearestCubeIndex(c), best) << v;
    }
}

TEST(BitmapExport, SavedAs8BitBmpWithThePalette)
{
    QTemporaryDir dir;
    const std::filesystem::path target = std::filesystem::path(dir.path().toStdString()) / "5_pfeil.bmp";
    ASSERT_EQ(bw::writeBitmapExport(target, bands(true)), bw::WriteResult::Ok);
    const Bytes b = readFile(target);
    ASSERT_GE(b.size(), 54u + 1024u + 1024u);
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(le32(b, 18), 32u);
    EXPECT_EQ(le32(b, 22), 32u);
    EXPECT_EQ(le16(b, 28), 8u);
    EXPECT_EQ(le32(b, 30), 0u); // uncompressed
    const QImage back(QString::fromStdString(target.string()));
    ASSERT_EQ(back.format(), QImage::Format_Indexed8);
    EXPECT_EQ(back.colorTable(), bw::bitmapTemplate().colorTable());
    EXPECT_EQ(back.pixelIndex(0, 0), 215);
    EXPECT_EQ(back.pixel(4, 10), qRgb(255, 0, 0));
    EXPECT_EQ(bw::writeBitmapExport(target, QImage()), bw::WriteResult::WriteFailed);
}

TEST(SafeFile, FailedWriteLeavesNoPartialFile)
{
    QTemporaryDir dir;
    const std::filesystem::path target = std::filesystem::path(dir.path().toStdString()) / "halb.ico";
    // A file size limit makes the write fail half way, as a full disk would.
    struct rlimit old {};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    struct rlimit small = old;
    small.rlim_cur = 100;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    const bw::IconWriteResult result = bw::writeIconFile(target, solid(qRgb(255, 0, 0)));
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, previousHandler);
    EXPECT_EQ(result, bw::IconWriteResult::WriteFailed);
    EXPECT_FALSE(std::filesystem::exists(target));
}

namespace {

// The file-system calls of one write, recorded in order; the call numbered killAt ends the
// process before it runs, as a kill at that moment would.
struct CallLog {
    static inline std::vector<std::string> calls;
    static inline int killAt = -1;
    static inline bw::FileSystemCalls real = bw::fileSystemCalls();
    static inline std::mutex mutex; // a batch is synced on a worker thread
    static void step(const char* name)
    {
        const std::lock_guard lock(mutex);
        if (static_cast<int>(calls.size()) == killAt)
            ::_exit(9);
        calls.emplace_back(name);
    }
    static ssize_t write(int fd, const void* data, std::size_t size) { return step("write"), real.write(fd, data, size); }
    static int fsync(int fd) { return step("fsync"), real.fsync(fd); }
    static int syncfs(int fd) { return step("syncfs"), real.syncfs(fd); }
    static int syncfsFails(int) { return step("syncfs"), errno = EIO, -1; }
    static int linkat(int a, const char* b, int c, const char* d, int e) { return step("name"), real.linkat(a, b, c, d, e); }
    static int rename(const char* a, const char* b) { return step("name"), real.rename(a, b); }
    static int noUnnamedFiles(const char*) { return errno = EOPNOTSUPP, -1; }
    static bw::FileSystemCalls logged(bool unnamed, int (*syncfs)(int) = CallLog::syncfs)
    {
        return {write, fsync, linkat, rename, unnamed ? real.openUnnamed : noUnnamedFiles, syncfs};
    }
};

} // namespace

TEST(SafeFile, EveryNewFileIsSyncedBeforeItHasANameAndAKillLeavesNothingHalfWritten)
{
    namespace fs = std::filesystem;
    struct Lines final : bw::ReportLines {
        void addLine(const QString& line) override { ADD_FAILURE() << line.toStdString(); }
    };
    const QByteArray bytes(200000, 'n'); // several writes when copied
    // Every way of the export, one entry each; the name each would take first is taken already.
    QTemporaryDir sources;
    bw::Catalogue catalogue {3};
    for (const auto& [name, content] : {std::pair {"prog.dll", libraryWithIcons(1)},
                                        {"bild.bmp", fixtures::bmpFile(bands(false), BmpKind::Bits24)},
                                        {"zeiger.ico", solidIcon(qRgb(0, 255, 0))}})
        catalogue.appendEntry(writeFile(sources.path().toStdString() + "/" + name, content).string(), 0);
    const auto exportAs = [&](std::int32_t entry, bw::ExportFormat format) {
        return [&catalogue, entry, format](const fs::path& d) {
            Lines lines;
            bw::ExportDirectory directory(d.string());
            EXPECT_TRUE(bw::exportEntry(catalogue, entry, format, directory, lines).written);
        };
    };
    struct Operation {
        const char* name;
        std::string target; // where the new bytes end up
        std::string taken;  // a file there before, which keeps its bytes ("" where none is)
        bool replaces;      // the target is there before and is replaced in one step
        std::function<void(const fs::path&)> run;
    };
    const std::vector<Operation> operations {
        {"writeNewFile", "ziel.bin", "", false, [&](const fs::path& d) { bw::writeNewFile(d / "ziel.bin", bytes); }},
        {"copyToNewFile", "ziel.bin", "", false, [&](const fs::path& d) { bw::copyToNewFile(d / "quelle", d / "ziel.bin"); }},
        {"replaceFile", "ziel.bin", "", true, [&](const fs::path& d) { bw::replaceFile(d / "ziel.bin", bytes); }},
        {"16 colours", "1_prog_1.ico", "1_prog.ico", false, exportAs(1, bw::ExportFormat::Icon)},
        {"bitmap", "1_prog_1.bmp", "1_prog.bmp", false, exportAs(1, bw::ExportFormat::Bitmap)},
        {"as stored", "1_prog_1.ico", "1_prog.ico", false, exportAs(1, bw::ExportFormat::Original)},
        {"png", "1_prog_1.png", "1_prog.png", false, exportAs(1, bw::ExportFormat::Png)},
        {"icon from bitmap", "2_bild_1.ico", "2_bild.ico", false, exportAs(2, bw::ExportFormat::Icon)},
        {"icon file copied", "3_zeiger_1.ico", "3_zeiger.ico", false, exportAs(3, bw::ExportFormat::Icon)},
    };
    for (const bool unnamed : {true, false})
        for (const Operation& op : operations) {
            SCOPED_TRACE(std::string(op.name) + (unnamed ? " unnamed" : " hidden temporary"));
            const Bytes old {'a', 'l', 't'};
            const std::string kept = op.taken.empty() ? "anderes" : op.taken;
            const auto prepare = [&] {
                auto dir = std::make_unique<QTemporaryDir>();
                const fs::path d = dir->path().toStdString();
                writeFile(d / "quelle", Bytes(bytes.begin(), bytes.end()));
                writeFile(d / kept, old);
                if (op.replaces)
                    writeFile(d / op.target, old);
                return dir;
            };
            bw::FileSystemCalls& calls = bw::fileSystemCalls();
            calls = CallLog::logged(unnamed);
            CallLog::calls.clear();
            CallLog::killAt = -1;
            Bytes written;
            {
                const auto dir = prepare();
                const fs::path d = dir->path().toStdString();
                op.run(d);
                written = readFile(d / op.target);
                if (op.taken.empty()) {
                    EXPECT_EQ(written, Bytes(bytes.begin(), bytes.end()));
                }
            }
            // The bytes are on disk before the file gets a name: write..., fsync, then names only.
            const std::vector<std::string> order = CallLog::calls;
            ASSERT_GE(order.size(), 3u);
            const auto synced = std::find(order.begin(), order.end(), "fsync");
            ASSERT_NE(synced, order.end());
            EXPECT_EQ(std::count(order.begin(), order.end(), "fsync"), 1);
            EXPECT_EQ(std::count(synced + 1, order.end(), "name"), order.end() - synced - 1);
            EXPECT_LT(synced + 1, order.end());

            // A kill before any of these calls: the name holds nothing new, and nothing else visible.
            for (int k = 0; k < static_cast<int>(order.size()); ++k) {
                const auto dir = prepare();
                const fs::path d = dir->path().toStdString();
                CallLog::calls.clear();
                CallLog::killAt = k;
                const pid_t child = ::fork();
                if (child == 0) {
                    op.run(d);
                    ::_exit(0);
                }
                int status = 0;
                ::waitpid(child, &status, 0);
                EXPECT_EQ(WEXITSTATUS(status), 9) << k;
                if (op.replaces)
                    EXPECT_EQ(readFile(d / op.target), old) << k;
                else
                    EXPECT_FALSE(fs::exists(d / op.target)) << k;
                // The next run in the directory clears what the killed one left, and only that.
                writeFile(d / ".bildwiesel-fremd", {'x'});
                writeFile(d / ".bildwiesel-Offen1", {'x'});
                const int held = ::open((d / ".bildwiesel-Offen1").c_str(), O_RDONLY | O_CLOEXEC);
                ASSERT_EQ(::flock(held, LOCK_EX), 0); // another run writing it now
                CallLog::killAt = -1;
                op.run(d);
                ::close(held);
                std::set<std::string> names;
                for (const auto& e : fs::directory_iterator(d))
                    names.insert(e.path().filename());
                EXPECT_EQ(names, (std::set<std::string> {".bildwiesel-Offen1", ".bildwiesel-fremd", "quelle", kept, op.target})) << k;
                EXPECT_EQ(readFile(d / op.target), written) << k;
                EXPECT_EQ(readFile(d / kept), old) << k; // never a replacing name
            }
            calls = CallLog::real;
        }
}

// A long export names its files only after the sync of their whole batch, in entry order, and the
// file system's refusal of a taken name decides: a kill leaves no name before that sync ends, and
// after it only complete files under the first of the expected names.
TEST(SafeFile, ABatchIsSyncedOnceBeforeAnyNameAndAKillLeavesOnlyCompleteFiles)
{
    namespace fs = std::filesystem;
    struct Lines final : bw::ReportLines {
        void addLine(const QString& line) override { ADD_FAILURE() << line.toStdString(); }
    };
    QTemporaryDir sources;
    bw::Catalogue catalogue {5};
    std::vector<Bytes> contents;
    for (int i = 1; i <= 5; ++i) {
        contents.emplace_back(static_cast<std::size_t>(40000 * i), static_cast<char>('a' + i)); // several writes each
        catalogue.appendEntry(writeFile(sources.path().toStdString() + "/q" + std::to_string(i) + ".ico", contents.back()).string(), 0);
    }
    // "2_q2.ico" is taken by an earlier export the loop does not know of.
    const std::vector<std::string> expected {"1_q1.ico", "2_q2_1.ico", "3_q3.ico", "4_q4.ico", "5_q5.ico"};
    const auto run = [&](const fs::path& d) {
        Lines lines;
        bw::ExportDirectory directory(d.string());
        std::vector<std::int32_t> named;
        directory.nameInBatches([&named](std::int32_t e, const std::string&) { named.push_back(e); });
        for (std::int32_t e = 1; e <= 5; ++e)
            EXPECT_TRUE(bw::exportEntry(catalogue, e, bw::ExportFormat::Icon, directory, lines).waiting);
        directory.flush();
        EXPECT_EQ(named, (std::vector<std::int32_t> {1, 2, 3, 4, 5}));
    };
    // Runs the export, stopped before call killAt; returns how many of `expected` were named.
    const auto exportAndCount = [&](int killAt) {
        QTemporaryDir dir;
        const fs::path d = dir.path().toStdString();
        writeFile(d / "2_q2.ico", {'a', 'l', 't'});
        CallLog::calls.clear();
        CallLog::killAt = killAt;
        if (killAt < 0) {
            run(d);
        } else if (const pid_t child = ::fork(); child == 0) {
            run(d);
            ::_exit(0);
        } else {
            int status = 0;
            ::waitpid(child, &status, 0);
            EXPECT_EQ(WEXITSTATUS(status), 9) << killAt;
        }
        std::size_t found = 0;
        while (found < expected.size() && fs::exists(d / expected[found])) {
            EXPECT_EQ(readFile(d / expected[found]), contents[found]) << killAt;
            ++found;
        }
        const auto named = std::count_if(fs::directory_iterator(d), {},
                                         [](const auto& e) { return !bw::isTemporaryName(e.path().filename().native()); });
        EXPECT_EQ(static_cast<std::size_t>(named), found + 1) << killAt; // nothing else has a name, "2_q2.ico" kept
        return found;
    };
    // One syncfs for the batch; where it fails (a write error elsewhere on the file system), an
    // fsync of each file decides.
    struct Case {
        bool unnamed;
        int (*syncfs)(int);
        long fsyncs;
    };
    for (const Case c : {Case {true, CallLog::syncfs, 0}, Case {false, CallLog::syncfs, 0}, Case {true, CallLog::syncfsFails, 5}}) {
        SCOPED_TRACE(std::string(c.unnamed ? "unnamed" : "hidden temporary") + (c.fsyncs ? ", syncfs fails" : ""));
        bw::fileSystemCalls() = CallLog::logged(c.unnamed, c.syncfs);
        EXPECT_EQ(exportAndCount(-1), expected.size());
        // The whole batch is synced before the first name is given.
        const std::vector<std::string> order = CallLog::calls;
        const auto synced
            = std::find_if(order.rbegin(), order.rend(), [](const std::string& call) { return call.find("sync") != call.npos; }).base() - 1;
        EXPECT_EQ(std::count(order.begin(), order.end(), "syncfs"), 1);
        EXPECT_EQ(std::count(order.begin(), order.end(), "fsync"), c.fsyncs);
        EXPECT_EQ(std::count(order.begin(), synced, "name"), 0);
        for (int k = 0; k < static_cast<int>(order.size()); ++k) {
            const std::size_t found = exportAndCount(k);
            EXPECT_TRUE(k > synced - order.begin() || found == 0) << k; // stopped before the sync ended: no name
        }
        bw::fileSystemCalls() = CallLog::real;
    }
}
