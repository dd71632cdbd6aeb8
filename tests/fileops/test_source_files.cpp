// The file-system side of deleting, renumbering and checking: the desktop trash, renames that
// never replace a file, the new names, and the damage test.

#include "support/TestUtil.h"

#include "fileops/SourceFiles.h"

#include <gtest/gtest.h>

#include <QFile>

#include <sys/stat.h>

using namespace bw;
using namespace testutil;
namespace fs = std::filesystem;

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
    if (::geteuid() != 0) { // root may write anywhere
        fs::permissions(base, fs::perms::owner_read | fs::perms::owner_exec);
        EXPECT_EQ(moveToTrash(a.string()), TrashResult::Refused);
        fs::permissions(base, fs::perms::owner_all);
        EXPECT_TRUE(fs::exists(a));
    }
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
