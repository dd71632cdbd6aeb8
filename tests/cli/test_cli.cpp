// bildwiesel-cli as a script sees it: output lines, exit codes, file names as bytes.

#include "icons/IconExtractor.h"
#include "support/TestUtil.h"

#include <QDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <grp.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <set>
#include <vector>

using namespace fixtures;
using namespace testutil;

namespace {

struct CliResult {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs the tool with arguments passed as bytes, so names that are not UTF-8 arrive unchanged;
// `asNobody` runs it as user nobody where the tests run as root, for whom every folder is readable.
CliResult cli(const QList<QByteArray>& args, bool asNobody = false)
{
    QTemporaryDir io;
    const QByteArray outPath = QFile::encodeName(io.path()) + "/out";
    const QByteArray errPath = QFile::encodeName(io.path()) + "/err";
    std::vector<QByteArray> storage {QByteArray(BW_CLI_PATH)};
    storage.insert(storage.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (QByteArray& a : storage)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    const pid_t pid = ::fork();
    if (pid == 0) {
        const int out = ::open(outPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = ::open(errPath.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(out, 1);
        ::dup2(err, 2);
        if (asNobody && ::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(126);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    QFile out(QFile::decodeName(outPath));
    QFile err(QFile::decodeName(errPath));
    out.open(QIODevice::ReadOnly);
    err.open(QIODevice::ReadOnly);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, out.readAll(), err.readAll()};
}

class Cli : public ::testing::Test {
protected:
    QTemporaryDir dir;
    // Qt cannot remove names that are not UTF-8; the standard library can.
    void TearDown() override { std::filesystem::remove_all(dir.path().toStdString()); }
    QByteArray path(const char* name) const { return QFile::encodeName(dir.path()) + "/" + name; }
    QByteArray file(const char* name, const Bytes& bytes) const
    {
        writeFile(std::string(path(name).constData()), bytes);
        return path(name);
    }
};

} // namespace

TEST_F(Cli, CountPrintsOneLinePerFile)
{
    const QByteArray ico = file("a.ico", solidIcon(qRgb(255, 0, 0)));
    const QByteArray exe = file("b.exe", libraryWithIcons(2));
    const QByteArray txt = file("c.txt", {'x'});
    const CliResult r = cli({"count", ico, exe, txt, path("missing")});
    EXPECT_EQ(r.exitCode, 1); // a name without a file is an error, not a file without icons
    EXPECT_EQ(r.out, "1\t" + ico + "\n2\t" + exe + "\n0\t" + txt + "\n");
    EXPECT_EQ(r.err, "bildwiesel-cli: Datei nicht gefunden: " + path("missing") + "\n");
}

TEST_F(Cli, MissingInputsAreErrorsNamingThePath)
{
    const QByteArray ico = file("a.ico", solidIcon(qRgb(255, 0, 0)));
    QDir(dir.path()).mkpath(QStringLiteral("kopie"));
    const QByteArray gone = path("fehlt\xe4"); // named by its bytes on stderr
    struct Case {
        QList<QByteArray> args;
        QByteArray message;
    };
    for (const Case& c : QList<Case> {{{"scan", gone}, "Verzeichnis nicht gefunden: " + gone},
                                      {{"scan", ico}, "ist kein Verzeichnis: " + ico},
                                      {{"check", gone}, "Verzeichnis nicht gefunden: " + gone},
                                      {{"dupes", ico}, "ist kein Verzeichnis: " + ico},
                                      {{"export", gone, path("kopie")}, "Verzeichnis nicht gefunden: " + gone},
                                      {{"count", QFile::encodeName(dir.path())}, "ist ein Verzeichnis, keine Datei: "},
                                      {{"extract", gone, "0", path("o.png")}, "Datei nicht gefunden: " + gone},
                                      {{"write-bmp", gone, "0", path("o.bmp")}, "Datei nicht gefunden: " + gone},
                                      {{"thumbnail", gone, path("o.png")}, "Datei nicht gefunden: " + gone},
                                      // One message for a directory where a file is to be written.
                                      {{"extract", ico, "0", path("kopie")}, "ist ein Verzeichnis, keine Datei: " + path("kopie")},
                                      {{"write-ico", ico, "0", path("kopie")}, "ist ein Verzeichnis, keine Datei: " + path("kopie")},
                                      {{"thumbnail", ico, path("kopie")}, "ist ein Verzeichnis, keine Datei: " + path("kopie")},
                                      {{"export", path("kopie"), ico}, "Das Kopierverzeichnis " + ico + " ist kein Verzeichnis."}}) {
        const CliResult r = cli(c.args);
        EXPECT_EQ(r.exitCode, 1) << c.args.join(' ').constData();
        EXPECT_TRUE(r.err.contains("bildwiesel-cli: " + c.message)) << r.err.constData();
        EXPECT_TRUE(r.out.isEmpty()) << r.out.constData();
    }
    EXPECT_FALSE(QFile::exists(QFile::decodeName(path("o.png"))));

    // What may not be read is said so, not taken for a file without icons or an empty tree.
    ::chmod(dir.path().toLocal8Bit().constData(), 0755);
    const QByteArray secret = file("geheim.ico", solidIcon(qRgb(1, 2, 3)));
    ::chmod(secret.constData(), 0600);
    ::chmod(path("kopie").constData(), 0700);
    for (const QList<QByteArray>& args :
         QList<QList<QByteArray>> {{"count", secret}, {"thumbnail", secret, path("t.png")}, {"scan", path("kopie")}}) {
        const CliResult r = cli(args, true);
        EXPECT_EQ(r.exitCode, 1) << args.join(' ').constData();
        EXPECT_TRUE(r.err.startsWith("bildwiesel-cli: Zugriff verweigert: ")) << r.err.constData();
    }
}

TEST_F(Cli, OneRecordPerEntryWhateverTheName)
{
    // A crafted name must not turn into two lines: without -z it is quoted as git quotes paths,
    // with -z it is its bytes and the record ends in NUL.
    QDir(dir.path()).mkpath(QStringLiteral("baum"));
    QDir(dir.path()).mkpath(QStringLiteral("kopie"));
    const QByteArray base = path("baum");
    file("baum/zwei\nzeilen.ico", {'x', 'y'});
    file("baum/q\"b\\t\tk\x7f\xfc.ico", solidIcon(qRgb(255, 0, 0)));
    CliResult r = cli({"scan", base, "--types", "ico"});
    EXPECT_EQ(r.out, "1\t0\t\"" + base + "/q\\\"b\\\\t\\tk\\177\xfc.ico\"\n2\t0\t\"" + base + "/zwei\\nzeilen.ico\"\n");
    r = cli({"scan", "-z", base, "--types", "ico"});
    EXPECT_EQ(r.out,
              "1\t0\t" + base + "/q\"b\\t\tk\x7f\xfc.ico" + QByteArray(1, '\0') + "2\t0\t" + base + "/zwei\nzeilen.ico"
                  + QByteArray(1, '\0'));
    r = cli({"check", base});
    EXPECT_EQ(r.out, "2\t\"" + base + "/zwei\\nzeilen.ico\"\n");
    r = cli({"check", "-z", base});
    EXPECT_EQ(r.out, "2\t" + base + "/zwei\nzeilen.ico" + QByteArray(1, '\0'));
    // stderr keeps the bytes too, and quotes the same way.
    r = cli({"export", base, path("kopie"), "--as", "bmp"});
    EXPECT_TRUE(r.err.contains("Nr: 2..\"" + base + "/zwei\\nzeilen.ico\"..Icon kann nicht GELADEN werden .")) << r.err.constData();
    EXPECT_EQ(r.out, "1\t\"" + path("kopie") + "/1_q\\\"b\\\\t\\tk\\177\xfc.bmp\"\n");
    r = cli({"dupes", "-z", base});
    EXPECT_EQ(r.out, "  DEFEKT: " + base + "/zwei\nzeilen.ico" + QByteArray(1, '\0'));
}

TEST_F(Cli, RecordsQuoteANameForAnyOneSpecialByte)
{
    // Each name holds one byte that needs quoting, and nothing else that would.
    const std::pair<const char*, QByteArray> cases[] = {{"nur\ttab.ico", "nur\\ttab.ico"}, {"back\\slash.ico", "back\\\\slash.ico"}};
    QList<QByteArray> args {"count"};
    QByteArray expected;
    for (const auto& [name, shown] : cases) {
        args.append(file(name, solidIcon(qRgb(255, 0, 0))));
        expected += "1\t\"" + path("") + shown + "\"\n";
    }
    EXPECT_EQ(cli(args).out, expected);
}

TEST_F(Cli, ExtractWritesStraightAlphaPng)
{
    QImage picture = bands(true);
    picture.setPixel(20, 20, qRgba(200, 100, 50, 100));
    const QByteArray ico = file("a.ico", iconFile({{32, 32, 1, 32, iconDib(picture, 32)}}));
    const CliResult r = cli({"extract", ico, "0", path("out.png")});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    const QImage png(QFile::decodeName(path("out.png")));
    EXPECT_TRUE(samePixels(png.convertToFormat(QImage::Format_ARGB32), picture));
    EXPECT_EQ(png.convertToFormat(QImage::Format_ARGB32).pixel(20, 20), qRgba(200, 100, 50, 100));
}

TEST_F(Cli, NoIconIsExitOneWithMessage)
{
    const QByteArray ico = file("a.ico", solidIcon(qRgb(255, 0, 0)));
    const CliResult r = cli({"extract", ico, "1", path("out.png")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_FALSE(r.err.isEmpty());
    EXPECT_FALSE(QFile::exists(QFile::decodeName(path("out.png"))));
}

TEST_F(Cli, WrongArgumentsAreExitTwo)
{
    const QByteArray ico = file("a.ico", solidIcon(qRgb(255, 0, 0)));
    for (const QList<QByteArray>& args : QList<QList<QByteArray>> {{},
                                                                   {"count"},
                                                                   {"extract", ico, "0"},
                                                                   {"extract", ico, "x", path("o.png")},
                                                                   {"extract", ico, "-1", path("o.png")},
                                                                   {"frobnicate", ico}}) {
        const CliResult r = cli(args);
        EXPECT_EQ(r.exitCode, 2);
        EXPECT_TRUE(r.err.contains("Aufruf"));
    }
}

TEST_F(Cli, WritersAndNonUtf8Names)
{
    const QByteArray name = "gr\xfc\xdf.ico"; // Latin-1 bytes, not UTF-8
    const QByteArray ico = file(name.constData(), solidIcon(qRgb(0, 255, 0)));
    EXPECT_EQ(cli({"count", ico}).out, "1\t" + ico + "\n");
    const QByteArray icoOut = path("aus\xe4.ico");
    const QByteArray bmpOut = path("aus\xe4.bmp");
    EXPECT_EQ(cli({"write-ico", ico, "0", icoOut}).exitCode, 0);
    EXPECT_EQ(cli({"write-bmp", ico, "0", bmpOut}).exitCode, 0);
    EXPECT_EQ(std::filesystem::file_size(std::string(icoOut.constData())), 766u);
    EXPECT_TRUE(samePixels(bw::extractIcon(std::filesystem::path(std::string(icoOut.constData())), 0), solid(qRgb(0, 255, 0))));
    const QImage bmp = bw::extractIcon(std::filesystem::path(std::string(bmpOut.constData())), 0);
    EXPECT_EQ(bmp.pixel(3, 3), qRgb(0, 255, 0));
    // An existing file is never replaced.
    const CliResult again = cli({"write-ico", ico, "0", icoOut});
    EXPECT_EQ(again.exitCode, 1);
}

TEST_F(Cli, ScanListsTheCatalogueOfARead)
{
    QDir(dir.path()).mkpath(QStringLiteral("baum/a"));
    file("baum/z.ico", solidIcon(qRgb(255, 0, 0)));
    file("baum/a/b.ico", solidIcon(qRgb(255, 0, 0)));
    file("baum/a/zwei.dll", libraryWithIcons(2));
    file("baum/.x.ico", solidIcon(qRgb(255, 0, 0)));
    file("baum/a/eins.mun", libraryWithIcons(1));       // read as the program it is
    file("baum/c.ani", fixtures::aniFile({{1, 2, 3}})); // counted by its header, not decoded: its frame is no icon
    const QByteArray base = path("baum");
    CliResult r = cli({"scan", base});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out,
              "1\t0\t" + base + "/z.ico\n2\t0\t" + base + "/a/b.ico\n3\t0\t" + base + "/a/zwei.dll\n4\t1\t" + base + "/a/zwei.dll\n5\t0\t"
                  + base + "/c.ani\n6\t0\t" + base + "/a/eins.mun\n");
    EXPECT_TRUE(r.err.contains("5 Dateien, 6 Einträge"));
    r = cli({"scan", base, "--types", "dll,ico"}); // the list's order, whatever the order given
    EXPECT_TRUE(r.out.startsWith("1\t0\t" + base + "/z.ico\n"));
    EXPECT_EQ(cli({"scan", base, "--types", "mun,ani"}).out, "1\t0\t" + base + "/c.ani\n2\t0\t" + base + "/a/eins.mun\n");
    r = cli({"scan", base, "--types", "dll"});
    EXPECT_EQ(r.out.count('\n'), 2);
    EXPECT_EQ(cli({"scan", base, "--types", "png"}).exitCode, 2);
}

// A reader of a scan killed while its output waits on a full pipe has whole records only.
TEST_F(Cli, KilledScanLeavesNoTornRecord)
{
    const Bytes icon = solidIcon(qRgb(255, 0, 0));
    for (int i = 0; i < 600; ++i) // some 120 KB of records, more than a pipe holds
        file((std::string(190, 'n') + std::to_string(i) + ".ico").c_str(), icon);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    const pid_t pid = ::fork();
    if (pid == 0 && ::dup2(fds[1], 1) == 1)
        ::execl(BW_CLI_PATH, BW_CLI_PATH, "scan", "-z", QFile::encodeName(dir.path()).constData(), nullptr);
    if (pid == 0)
        ::_exit(127);
    ::close(fds[1]);
    // Killed once the pipe stays full: the tool is then blocked in a write.
    for (int held = -1, same = 0; same < 5; ::usleep(100000)) {
        int now = 0;
        ::ioctl(fds[0], FIONREAD, &now);
        same = now > 0 && now == held ? same + 1 : 0;
        held = now;
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, nullptr, 0);
    QFile pipe;
    ASSERT_TRUE(pipe.open(fds[0], QIODevice::ReadOnly, QFile::AutoCloseHandle));
    const QByteArray got = pipe.readAll();
    ASSERT_FALSE(got.isEmpty());
    ASSERT_LT(got.size(), 600 * 200); // it was stopped before its end
    EXPECT_EQ(got.back(), '\0');
    for (const QByteArray& record : got.chopped(1).split('\0'))
        EXPECT_TRUE(record.count('\t') == 2 && record.endsWith(".ico")) << record.constData();
}

TEST_F(Cli, ExportWritesEveryEntryAndReportsFailures)
{
    QDir(dir.path()).mkpath(QStringLiteral("baum"));
    QDir(dir.path()).mkpath(QStringLiteral("kopie"));
    file("baum/a.ico", solidIcon(qRgb(255, 0, 0)));
    file("baum/b.dll", libraryWithIcons(2));
    const QByteArray base = path("baum");
    const QByteArray copies = path("kopie");
    CliResult r = cli({"export", base, copies});
    ASSERT_EQ(r.exitCode, 0) << r.err.constData();
    EXPECT_EQ(r.out, "1\t" + copies + "/1_a.ico\n2\t" + copies + "/2_b.ico\n3\t" + copies + "/3_b_1.ico\n");
    EXPECT_EQ(r.err, "3 von 3 Icons kopiert\n");
    // Options anywhere; the same export again takes the next names, as bitmaps.
    r = cli({"export", "--as", "bmp", base, copies, "--types", "dll"});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_EQ(r.out, "1\t" + copies + "/1_b.bmp\n2\t" + copies + "/2_b_1.bmp\n");

    // An icon file is listed by its name alone; a broken one cannot be drawn as a bitmap.
    file("baum/kaputt.ico", {'x', 'y'});
    r = cli({"export", base, copies, "--types", "ico", "--as", "bmp"});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("kaputt.ico..Icon kann nicht GELADEN werden .")) << r.err.constData();
    EXPECT_TRUE(r.err.endsWith("1 von 2 Icons kopiert, 1 fehlgeschlagen\n")) << r.err.constData();
}

TEST_F(Cli, ExportAndExtractAsStoredAndAsPng)
{
    QDir(dir.path()).mkpath(QStringLiteral("baum"));
    const std::vector<IconImage> images {dibImage(solid(qRgb(255, 0, 0), 16, 16), 24), dibImage(solid(qRgb(0, 0, 255), 64, 64), 32)};
    const QByteArray lib = file("baum/b.dll", peFile({{std::nullopt, 1, {0x0409}, images}}, false));
    const QByteArray base = path("baum");
    for (const char* as : {"original", "png"})
        EXPECT_EQ(cli({"export", base, QFile::encodeName(dir.path()), "--as", as}).exitCode, 0) << as;
    EXPECT_EQ(readFile(std::string(path("1_b.ico"))), iconFile(images));
    EXPECT_EQ(QImage(QFile::decodeName(path("1_b.png"))).size(), QSize(64, 64));
    // extract --all: the same group; a second time the file exists and stays.
    EXPECT_EQ(cli({"extract", "--all", lib, "0", path("g.ico")}).exitCode, 0);
    EXPECT_EQ(readFile(std::string(path("g.ico"))), iconFile(images));
    EXPECT_EQ(cli({"extract", lib, "0", path("g.ico"), "--all"}).exitCode, 1);
    EXPECT_TRUE(cli({"extract", "--all", lib, "1", path("h.ico")}).err.contains("kein Icon mit Index 1"));
}

TEST_F(Cli, ExportChecksTheCopyDirectoryFirst)
{
    file("a.ico", solidIcon(qRgb(255, 0, 0)));
    CliResult r = cli({"export", QFile::encodeName(dir.path()), path("fehlt")});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_TRUE(r.err.contains("existiert nicht")) << r.err.constData();
    EXPECT_TRUE(r.out.isEmpty());
    for (const QList<QByteArray>& args : QList<QList<QByteArray>> {{"export", path("a")},
                                                                   {"export", path("a"), path("b"), path("c")},
                                                                   {"export", path("a"), path("b"), "--as", "gif"},
                                                                   {"export", "", path("b")},
                                                                   {"count", path("a"), ""}})
        EXPECT_EQ(cli(args).exitCode, 2);
}

TEST_F(Cli, CheckListsDamagedEntries)
{
    QDir(dir.path()).mkpath(QStringLiteral("baum"));
    file("baum/gut.ico", solidIcon(qRgb(255, 0, 0)));
    file("baum/b.dll", libraryWithIcons(2));
    const QByteArray base = path("baum");
    CliResult r = cli({"check", base});
    EXPECT_EQ(r.exitCode, 0);
    EXPECT_TRUE(r.out.isEmpty());
    EXPECT_EQ(r.err, "FERTIG: Alle Icons OK !\n");
    file("baum/kurz.ico", {0, 0, 1});
    r = cli({"check", "--types", "ico", base});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_EQ(r.out, "2\t" + base + "/kurz.ico\n");
    EXPECT_EQ(r.err, "FERTIG: 1 Icons Defekt !\n");
    EXPECT_EQ(cli({"check"}).exitCode, 2);
    EXPECT_EQ(cli({"check", base, base}).exitCode, 2);
}

TEST_F(Cli, UnreadableFoldersAreNamedAndFailTheRun)
{
    ::chmod(dir.path().toLocal8Bit().constData(), 0755); // so that nobody reaches the tree
    QDir(dir.path()).mkpath(QStringLiteral("baum/zu/tief"));
    file("baum/gut.ico", solidIcon(qRgb(255, 0, 0)));
    file("baum/zu/tief/weg.ico", solidIcon(qRgb(0, 0, 255)));
    const QByteArray base = path("baum");
    const QByteArray none = "FERTIG: 0 Icons Defekt, 1 Verzeichnis(se) nicht lesbar !\n";
    const QByteArray unreadable = "bildwiesel-cli: Verzeichnis kann nicht gelesen werden: ";
    const struct {
        const char* command;
        QByteArray locked, out, err;
    } cases[] = {{"check", base, "", "bildwiesel-cli: Zugriff verweigert: " + base + "\n"}, // the folder given: nothing to read
                 {"check", base + "/zu", "", unreadable + base + "/zu/\n" + none},
                 {"scan", base + "/zu", "1\t0\t" + base + "/gut.ico\n", unreadable + base + "/zu/\n"}};
    for (const auto& c : cases) {
        ASSERT_EQ(::chmod(c.locked.constData(), 0), 0);
        if (::geteuid() != 0 && ::access(c.locked.constData(), R_OK) == 0)
            GTEST_SKIP() << "this user reads a folder of mode 000";
        const CliResult r = cli({c.command, base}, true);
        ::chmod(c.locked.constData(), 0755);
        EXPECT_EQ(r.exitCode, 1) << c.locked.constData();
        EXPECT_TRUE(r.err.contains(c.err)) << r.err.constData();
        EXPECT_EQ(r.out, c.out);
    }
}

// "Checken" must call defective every icon or cursor file whose icon the page cannot show: files
// cut short at several points, and image data broken behind a valid header.
TEST_F(Cli, CheckListsEveryIconFileThatExtractCannotLoad)
{
    const Bytes single = solidIcon(qRgb(255, 0, 0)); // directory at 6, image at 22
    const Bytes several = iconFile(
        {dibImage(solid(qRgb(0, 255, 0), 16, 16), 32), dibImage(bands(), 32), {0, 0, 1, 32, pngData(solid(qRgb(0, 0, 255), 256, 256))}});
    const Bytes png = iconFile({{32, 32, 1, 32, pngData(bands())}});
    const Bytes cursor = iconFile({{32, 32, 4, 4, iconDib(bands(), 24)}}, 2);
    const auto cut = [](Bytes b, std::size_t size) {
        b.resize(size);
        return b;
    };
    const auto poke = [](Bytes b, std::size_t at, std::uint8_t value) {
        b.at(at) = value;
        return b;
    };
    const auto fill = [](Bytes b, std::size_t from, std::size_t to) {
        std::fill(b.begin() + static_cast<std::ptrdiff_t>(from), b.begin() + static_cast<std::ptrdiff_t>(to), std::uint8_t(0xA5));
        return b;
    };
    const struct {
        const char* name;
        Bytes bytes;
    } files[] = {
        {"heil.ico", single},
        {"mehrere.ico", several},
        {"png.ico", png},
        {"zeiger.cur", cursor},
        {"kopf_halb.ico", cut(single, 4)},
        {"nur_kopf.ico", cut(single, 6)},
        {"nur_verzeichnis.ico", cut(single, 22)},
        {"bild_halb.ico", cut(single, 22 + 40 + 32 * 32 * 3 / 2)},
        {"ohne_letztes_byte.ico", cut(single, single.size() - 1)},
        {"ohne_png_ende.ico", cut(several, several.size() - 20)},
        {"zeiger_halb.cur", cut(cursor, cursor.size() / 2)},
        {"bildkopf_null.ico", poke(single, 22, 0)},           // DIB header size 0
        {"farbtiefe_7.ico", poke(single, 22 + 14, 7)},        // 7 bits per pixel
        {"bild_hinter_ende.ico", poke(single, 6 + 15, 0x7f)}, // image offset far past the end
        {"png_kaputt.ico", fill(png, 22 + 16, png.size())},   // PNG signature and header, then garbage
        {"zeiger_bildkopf_null.cur", poke(cursor, 22, 0)},
    };
    QDir(dir.path()).mkpath(QStringLiteral("baum"));
    std::set<std::string> unloadable;
    for (const auto& f : files) {
        const QByteArray p = file((std::string("baum/") + f.name).c_str(), f.bytes);
        if (cli({"extract", p, "0", path("bild.png")}).exitCode != 0)
            unloadable.insert(p.toStdString());
        QFile::remove(QFile::decodeName(path("bild.png")));
    }
    ASSERT_EQ(unloadable.size(), 12) << "every damaged variant must be one extract refuses";
    const CliResult r = cli({"check", "--types", "ico,cur", path("baum")});
    std::set<std::string> listed;
    for (const QByteArray& line : r.out.split('\n'))
        if (!line.isEmpty())
            listed.insert(line.mid(line.indexOf('\t') + 1).toStdString());
    EXPECT_EQ(listed, unloadable);
    EXPECT_EQ(r.exitCode, 1);
}

TEST_F(Cli, HelpForTheToolAndEachCommandAndTheVersion)
{
    const CliResult tool = cli({"--help"});
    EXPECT_EQ(tool.exitCode, 0);
    EXPECT_TRUE(tool.err.isEmpty());
    QFile manPage(QStringLiteral(BW_SOURCE_DIR "/data/linux/bildwiesel-cli.1"));
    ASSERT_TRUE(manPage.open(QIODevice::ReadOnly));
    const QByteArray man = manPage.readAll();
    for (const char* command : {"count", "extract", "write-ico", "write-bmp", "scan", "thumbnail"}) {
        EXPECT_TRUE(tool.out.contains(QByteArray("  ") + command + " ")) << command;
        for (const QList<QByteArray>& args : QList<QList<QByteArray>> {{command, "--help"}, {"help", command}, {command, "-h"}}) {
            const CliResult r = cli(args);
            EXPECT_EQ(r.exitCode, 0) << command;
            EXPECT_TRUE(r.out.startsWith(QByteArray("Aufruf: bildwiesel-cli ") + command + " ")) << r.out.constData();
        }
        // Every command the tool offers is in its man page.
        EXPECT_TRUE(man.contains(QByteArray("\\fB") + command + "\\fR") || man.contains(QByteArray(".BI ") + command + " ")
                    || man.contains(QByteArray(".BI ") + command + "\n"))
            << command;
    }
    EXPECT_TRUE(cli({"scan", "--help"}).out.contains("--types"));
    EXPECT_TRUE(cli({"thumbnail", "--help"}).out.contains("-s, --size GRÖSSE"));
    const CliResult version = cli({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, "bildwiesel-cli 1.110\n");
}

TEST_F(Cli, OptionsAnywhereAfterTheCommand)
{
    QDir(dir.path()).mkpath(QStringLiteral("baum"));
    file("baum/a.ico", solidIcon(qRgb(255, 0, 0)));
    file("baum/b.dll", libraryWithIcons(2));
    const QByteArray base = path("baum");
    const QByteArray expected = "1\t0\t" + base + "/b.dll\n2\t1\t" + base + "/b.dll\n";
    for (const QList<QByteArray>& args : QList<QList<QByteArray>> {{"scan", base, "--types", "dll"},
                                                                   {"scan", "--types", "dll", base},
                                                                   {"scan", "--types=dll", base},
                                                                   {"scan", "--types", "dll", "--", base},
                                                                   {"--types", "dll", "scan", base}}) {
        const CliResult r = cli(args);
        EXPECT_EQ(r.exitCode, 0);
        EXPECT_EQ(r.out, expected) << args.join(' ').constData();
    }
    const QByteArray ico = path("baum/a.ico");
    int n = 0;
    for (const QList<QByteArray>& args : QList<QList<QByteArray>> {{"thumbnail", "-s", "20", ico, path("t0.png")},
                                                                   {"thumbnail", ico, "-s", "20", path("t1.png")},
                                                                   {"thumbnail", ico, path("t2.png"), "--size=20"},
                                                                   {"-s", "20", "thumbnail", ico, path("t3.png")}}) {
        EXPECT_EQ(cli(args).exitCode, 0);
        EXPECT_EQ(QImage(QFile::decodeName(path(QByteArray("t" + QByteArray::number(n++) + ".png").constData()))).size(), QSize(20, 20));
    }
}

TEST_F(Cli, WrongUsageIsExitTwoWithAGermanReason)
{
    const QByteArray ico = file("a.ico", solidIcon(qRgb(255, 0, 0)));
    struct Case {
        QList<QByteArray> args;
        QByteArray reason;
    };
    for (const Case& c : QList<Case> {{{"scan", path(""), "--typo"}, "scan: unbekannte Option: --typo"},
                                      {{"scan", path(""), "--types"}, "der Option --types fehlt ihr Wert"},
                                      {{"extract", ico, "0", path("o.png"), "zu.png"}, "extract: zu viele Argumente"},
                                      {{"write-ico", ico}, "write-ico: zu wenige Argumente"},
                                      {{"extract", ico, "x", path("o.png")}, "INDEX ist keine Zahl"},
                                      {{"thumbnail", "-s", "0", ico, path("o.png")}, "GRÖSSE muss eine Zahl"},
                                      {{"--frob"}, "unbekannte Option: --frob"},
                                      {{"frobnicate"}, "unbekannter Befehl: frobnicate"}}) {
        const CliResult r = cli(c.args);
        EXPECT_EQ(r.exitCode, 2) << c.reason.constData();
        EXPECT_TRUE(r.err.contains(c.reason)) << r.err.constData();
        EXPECT_TRUE(r.err.contains("Aufruf:")) << r.err.constData();
        EXPECT_TRUE(r.out.isEmpty());
        for (const char* english : {"Unknown", "Missing", "Unexpected", "Usage"})
            EXPECT_FALSE(r.err.contains(english)) << r.err.constData();
    }
    EXPECT_FALSE(QFile::exists(QFile::decodeName(path("o.png"))));
    // A name that looks like an option is an argument after "--".
    const CliResult dashed = cli({"count", "--", "--help"});
    EXPECT_EQ(dashed.exitCode, 1);
    EXPECT_TRUE(dashed.err.contains("Datei nicht gefunden: --help")) << dashed.err.constData();
}
