// The file-system side of deleting, renumbering and checking: the desktop trash, renames that
// never replace a file, the new names, and the damage test.

#include "fileops/SourceFiles.h"
#include "support/TestUtil.h"

#include <QFile>
#include <QScopeGuard>

#include <gtest/gtest.h>

#include <grp.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace bw;
using namespace testutil;
namespace fs = std::filesystem;

// Lets a test take the file away just before the trash moves it, as another program might.
static bool takeFileBeforeMove = false;
extern "C" int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) noexcept
{
    if (takeFileBeforeMove)
        ::unlink(from);
    return static_cast<int>(::syscall(SYS_renameat2, fromDir, from, toDir, to, flags));
}

namespace {

class Trash : public ::testing::Test {
protected:
    QTemporaryDir dataHome;
    QTemporaryDir work;
    fs::path base {work.path().toStdString()};
    fs::path trash {dataHome.path().toStdString() + "/Trash"};
    void SetUp() override { qputenv("XDG_DATA_HOME", dataHome.path().toLocal8Bit()); }
    void TearDown() override
    {
        qunsetenv("XDG_DATA_HOME");
        fs::remove_all(base); // names that are not UTF-8
        fs::remove_all(trash);
    }
    std::string infoOf(const std::string& name)
    {
        const fixtures::Bytes bytes = readFile(trash / "info" / (name + ".trashinfo"));
        return std::string(bytes.begin(), bytes.end());
    }
};

} // namespace

TEST_F(Trash, FilesGoToTheTrashWithTheirInfoAndCanComeBack)
{
    const fixtures::Bytes content {1, 2, 3};
    const fs::path a = writeFile(base / "a b.ico", content);
    ASSERT_EQ(moveToTrash(a.string()), TrashResult::Trashed);
    EXPECT_FALSE(fs::exists(a));
    EXPECT_EQ(readFile(trash / "files" / "a b.ico"), content);
    const std::string info = infoOf("a b.ico");
    EXPECT_TRUE(info.starts_with("[Trash Info]\nPath=" + trashInfoPathText(a.string()) + "\nDeletionDate=")) << info;
    EXPECT_NE(info.find("%20"), std::string::npos);

    // A second file of the same name gets a name of its own in the trash.
    writeFile(a, {9});
    ASSERT_EQ(moveToTrash(a.string()), TrashResult::Trashed);
    EXPECT_EQ(readFile(trash / "files" / "a b.ico.2"), fixtures::Bytes {9});
    EXPECT_EQ(readFile(trash / "files" / "a b.ico"), content);

    // Names are bytes.
    const std::string latin1 = "gr\xfcn.ico";
    writeFile(base / latin1, {7});
    EXPECT_EQ(moveToTrash((base / latin1).string()), TrashResult::Trashed);
    EXPECT_TRUE(fs::exists(trash / "files" / latin1));
    EXPECT_NE(infoOf(latin1).find("gr%FCn.ico"), std::string::npos);

    EXPECT_EQ(moveToTrash((base / "nie-da.ico").string()), TrashResult::Missing);
}

TEST_F(Trash, AFileThatCannotBeTrashedStays)
{
    // The trash cannot be made: a plain file stands where it would go.
    writeFile(trash, {0});
    const fs::path a = writeFile(base / "a.ico", {1});
    EXPECT_EQ(moveToTrash(a.string()), TrashResult::Refused);
    EXPECT_EQ(readFile(a), fixtures::Bytes {1});
    fs::remove(trash);

    // The file's directory may not be changed: no record stays. Root may write anywhere, so the
    // child process that tries it runs as "nobody".
    fs::permissions(base, fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read | fs::perms::others_exec);
    const bool root = ::geteuid() == 0;
    ASSERT_TRUE(!root || ::chown(dataHome.path().toLocal8Bit().constData(), 65534, 65534) == 0);
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit((!root || (::setgroups(0, nullptr) == 0 && ::setresgid(65534, 65534, 65534) == 0 && ::setresuid(65534, 65534, 65534) == 0))
                        && moveToTrash(a.string()) == TrashResult::Refused && fs::exists(a) && fs::is_empty(trash / "info")
                    ? 0
                    : 1);
    int status = 1;
    EXPECT_TRUE(::waitpid(child, &status, 0) == child && status == 0);
    fs::permissions(base, fs::perms::owner_all);

    // A file another program takes just before the move is missing, not refused.
    takeFileBeforeMove = true;
    EXPECT_EQ(moveToTrash(a.string()), TrashResult::Missing);
    takeFileBeforeMove = false;
    EXPECT_TRUE(fs::is_empty(trash / "info"));
}

TEST_F(Trash, EveryNameFindsAPlaceThatFits)
{
    // A record without its file, left by a move cut short, gives its name back; ten thousand files
    // of one name are passed over.
    fs::create_directories(trash / "info");
    fs::create_directories(trash / "files");
    writeFile(trash / "info" / "alt.ico.trashinfo", {});
    for (int n = 1; n <= 10000; ++n)
        writeFile(trash / "files" / ("viele.ico" + (n == 1 ? std::string() : "." + std::to_string(n))), {});
    EXPECT_EQ(moveToTrash(writeFile(base / "viele.ico", {2}).string()), TrashResult::Trashed);
    // Names too long for their record lose bytes before the extension, whole characters in UTF-8.
    std::string umlauts;
    for (int i = 0; i < 123; ++i)
        umlauts += "\xc3\xa4";
    const struct {
        std::string name, first, second;
    } cases[] {
        {"alt.ico", "alt.ico", "alt.ico.2"},
        {umlauts + ".ico", umlauts.substr(0, 240) + ".ico", umlauts.substr(0, 238) + ".ico.2"},
        {std::string(246, '\xe4') + ".ico", std::string(241, '\xe4') + ".ico", std::string(239, '\xe4') + ".ico.2"},
        {std::string(250, 'k'), std::string(245, 'k'), std::string(243, 'k') + ".2"},
    };
    for (const auto& c : cases) {
        for (const std::string& expected : {c.first, c.second}) {
            const fs::path file = writeFile(base / c.name, {3});
            ASSERT_EQ(moveToTrash(file.string()), TrashResult::Trashed) << expected;
            EXPECT_TRUE(fs::exists(trash / "files" / expected)) << expected;
            EXPECT_NE(infoOf(expected).find("Path=" + trashInfoPathText(file.string())), std::string::npos) << expected;
        }
    }
}

TEST_F(Trash, AFileOnAnotherVolumeGoesToItsTrashEvenThroughALink)
{
    const fs::path top = base / "volume";
    fs::create_directories(top);
    if (::geteuid() != 0 || ::mount("tmpfs", top.c_str(), "tmpfs", 0, "size=1m") != 0)
        GTEST_SKIP() << "no tmpfs can be mounted here";
    const auto unmount = qScopeGuard([&] { ::umount2(top.c_str(), MNT_DETACH); });
    fs::create_directories(top / "a" / "b");
    writeFile(top / "a" / "b" / "x y.ico", {5});
    fs::create_directory_symlink(top / "a", base / "Bilder");
    ASSERT_EQ(moveToTrash((base / "Bilder" / "b" / "x y.ico").string()), TrashResult::Trashed);
    // The path is recorded from the volume's top.
    const fs::path own = top / (".Trash-" + std::to_string(::getuid()));
    EXPECT_EQ(readFile(own / "files" / "x y.ico"), fixtures::Bytes {5});
    const fixtures::Bytes info = readFile(own / "info" / "x y.ico.trashinfo");
    EXPECT_TRUE(std::string(info.begin(), info.end()).starts_with("[Trash Info]\nPath=a/b/x%20y.ico\n"));
}

TEST(Rename, NeverReplacesAFile)
{
    QTemporaryDir dir;
    const fs::path base = dir.path().toStdString();
    const fs::path a = writeFile(base / "a.ico", {1});
    const fs::path b = writeFile(base / "b.ico", {2});
    EXPECT_EQ(renameNoReplace(a.string(), b.string()), RenameResult::TargetExists);
    EXPECT_EQ(readFile(a), fixtures::Bytes {1});
    EXPECT_EQ(readFile(b), fixtures::Bytes {2});
    EXPECT_EQ(renameNoReplace(a.string(), (base / "c.ico").string()), RenameResult::Renamed);
    EXPECT_EQ(readFile(base / "c.ico"), fixtures::Bytes {1});
    EXPECT_EQ(renameNoReplace(a.string(), (base / "d.ico").string()), RenameResult::Failed);
}

TEST(Renumbering, NamesArePaddedToTheLastNumber)
{
    const auto names = [](std::size_t count, const std::string& prefix) { return renumberedNames(count, prefix); };
    EXPECT_TRUE(names(0, "AbC").empty());
    EXPECT_EQ(names(1, "AbC"), std::vector<std::string> {"AbC_0"});
    const auto twelve = names(12, "AbC");
    EXPECT_EQ(twelve.front(), "AbC_00");
    EXPECT_EQ(twelve.back(), "AbC_11");
    EXPECT_EQ(names(100, "AbC").back(), "AbC_99");
    const auto hundredOne = names(101, "AbC");
    EXPECT_EQ(hundredOne.front(), "AbC_000");
    EXPECT_EQ(hundredOne.back(), "AbC_100");
    EXPECT_EQ(names(3, "").front(), "_0");
}

TEST(Renumbering, CountsWhatBecameOfEachFile)
{
    const std::string tooLong(250, 'p'); // "p..p_0.ico" is longer than a file name may be
    struct Case {
        const char* what;
        std::vector<std::string> files; // on disk; a name ending in '/' is a directory
        std::vector<std::string> listed;
        std::string prefix;
        int stopAfter; // files handled before "Abbrechen" counts; 0: never
        RenumberCounts counts;
        std::vector<std::string> after;
    };
    const Case cases[] = {
        {"all", {"c.ico", "a.ico", "b.ico"}, {"a.ico", "b.ico", "c.ico"}, "P", 0, {3, 0, 0, 0}, {"P_0.ico", "P_1.ico", "P_2.ico"}},
        {"gone", {"a.ico", "c.ico"}, {"a.ico", "b.ico", "c.ico"}, "P", 0, {2, 1, 0, 0}, {"P_0.ico", "P_2.ico"}},
        {"taken", {"a.ico", "b.ico", "P_1.ico/"}, {"a.ico", "b.ico"}, "P", 0, {1, 0, 1, 0}, {"P_0.ico", "P_1.ico", "b.ico"}},
        {"named", {"P_0.ico", "x.ico"}, {"P_0.ico", "x.ico"}, "P", 0, {1, 0, 0, 0}, {"P_0.ico", "P_1.ico"}},
        {"refused", {"a.ico"}, {"a.ico"}, tooLong, 0, {0, 0, 0, 1}, {"a.ico"}},
        {"cancelled", {"a.ico", "b.ico", "c.ico"}, {"a.ico", "b.ico", "c.ico"}, "P", 2, {2, 0, 0, 0}, {"P_0.ico", "P_1.ico", "c.ico"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        QTemporaryDir dir;
        const fs::path base = dir.path().toStdString();
        for (const std::string& name : c.files)
            if (name.ends_with('/'))
                fs::create_directory(base / name);
            else
                writeFile(base / name, {1});
        std::vector<std::size_t> heard;
        int handled = 0;
        const RenumberCounts counts = renumberFiles(
            base.string() + "/", c.listed, c.prefix, [&heard](std::size_t left) { heard.push_back(left); },
            [&] { return ++handled == c.stopAfter; });
        EXPECT_EQ(counts, c.counts);
        std::vector<std::string> after;
        for (const auto& entry : fs::directory_iterator(base))
            after.push_back(entry.path().filename().string());
        std::sort(after.begin(), after.end());
        EXPECT_EQ(after, c.after);
        EXPECT_EQ(heard.front(), c.listed.size() - 1); // the countdown starts at the files after the first
    }
}

TEST(Deletion, OnlyInsideTheDirectory)
{
    EXPECT_TRUE(isInsideDirectory("/a/b/c.ico", "/a/"));
    EXPECT_TRUE(isInsideDirectory("/a/b/c.ico", "/a/b/"));
    EXPECT_FALSE(isInsideDirectory("/ab/c.ico", "/a/"));
    EXPECT_FALSE(isInsideDirectory("/a/", "/a/"));
    EXPECT_FALSE(isInsideDirectory("/a/c.ico", "/a"));
}

TEST(Check, EachKindByItsOwnTest)
{
    QTemporaryDir dir;
    const fs::path base = dir.path().toStdString();
    IconFileCheck check;
    const auto passes = [&](const fs::path& p, std::uint16_t index = 0) { return check.passes(p.string(), index); };
    EXPECT_TRUE(passes(writeFile(base / "gut.ico", solidIcon(qRgb(1, 2, 3)))));
    EXPECT_FALSE(passes(base / "weg.ico"));
    EXPECT_FALSE(passes(writeFile(base / "fuenf.ico", fixtures::Bytes(5, 0))));
    EXPECT_FALSE(passes(writeFile(base / "sechs.ico", fixtures::Bytes(6, 0)))); // a header, but no icon
    const fixtures::Bytes cursor = fixtures::iconFile({{32, 32, 1, 1, fixtures::iconDib(bands(), 24)}}, 2);
    EXPECT_TRUE(passes(writeFile(base / "zeiger.cur", cursor)));
    EXPECT_FALSE(passes(writeFile(base / "zeiger.ico", cursor))); // an icon file with a cursor's type
    EXPECT_FALSE(passes(writeFile(base / "falsch.cur", solidIcon(qRgb(1, 2, 3)))));
    const fs::path lib = writeFile(base / "lib.DLL", libraryWithIcons(50));
    for (std::uint16_t i = 0; i < 50; ++i)
        EXPECT_TRUE(passes(lib, i));
    EXPECT_FALSE(passes(lib, 50));
    EXPECT_TRUE(passes(writeFile(base / "bild.bmp", fixtures::bmpFile(solid(qRgb(5, 5, 5), 4, 4), fixtures::BmpKind::Bits24))));
    EXPECT_FALSE(passes(writeFile(base / "kaputt.bmp", {'B', 'M'})));
    // Today's kinds pass when their icon loads, a PNG favicon under an icon's name too.
    EXPECT_TRUE(passes(writeFile(base / "favicon.ico", fixtures::pngData(bands()))));
    EXPECT_TRUE(passes(writeFile(base / "lauf.ani", fixtures::aniFile({cursor}))));
    EXPECT_FALSE(passes(writeFile(base / "kaputt.ani", fixtures::aniFile({{0, 0, 2, 0}}))));
    EXPECT_TRUE(passes(writeFile(base / "apfel.icns", fixtures::icnsFile({{"ic07", fixtures::pngData(bands())}}))));
    ASSERT_EQ(::mkfifo((base / "rohr.ico").c_str(), 0600), 0);
    EXPECT_FALSE(passes(base / "rohr.ico")); // and does not hang
}

TEST(Replace, WritesInOneStepByTheBytesOfTheName)
{
    QTemporaryDir dir;
    const fs::path base = dir.path().toStdString();
    const fs::path target = base / "gr\xfcn.kwb"; // Latin-1, not UTF-8
    ASSERT_TRUE(replaceFile(target, QByteArray("eins")));
    EXPECT_EQ(readFile(target), (fixtures::Bytes {'e', 'i', 'n', 's'}));
    fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(replaceFile(target, QByteArray("zwei")));
    EXPECT_EQ(readFile(target), (fixtures::Bytes {'z', 'w', 'e', 'i'}));
    EXPECT_EQ(fs::status(target).permissions(), fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    EXPECT_FALSE(replaceFile(base / "fehlt" / "x.kwb", QByteArray("drei")));
    // Nothing but the file itself is left: no temporary beside it.
    EXPECT_EQ(std::distance(fs::directory_iterator(base), fs::directory_iterator()), 1);
    fs::remove(target);
}
