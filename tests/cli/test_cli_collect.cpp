// bildwiesel-cli collect: saving, and refreshing against a full read of a changed tree.

#include "support/TestUtil.h"

#include <QProcess>

#include <gtest/gtest.h>

#include <cstdio>

using namespace testutil;
namespace fs = std::filesystem;

namespace {

struct CliRun {
    int exitCode = -1;
    QByteArray out;
    QString err;
};

CliRun cli(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral(BW_CLI_PATH), arguments);
    process.waitForFinished(60000);
    return {process.exitCode(), process.readAllStandardOutput(), QString::fromUtf8(process.readAllStandardError())};
}

} // namespace

// A tree changed in every way: a file added, one removed, one replaced by a library of other
// icons, one renamed, a directory added; one directory keeps its time while a file in it is
// rewritten in place with other icons.
TEST(CliCollect, RefreshGivesTheCatalogueOfAFullRead)
{
    QTemporaryDir dir;
    const fs::path tree = dir.path().toStdString() + "/baum";
    const QString file = dir.path() + QStringLiteral("/a.bwsammlung");
    for (const char* sub : {"a", "b", "c", "d", "e"})
        fs::create_directories(tree / sub);
    writeFile(tree / "a/eins.ico", solidIcon(qRgb(255, 0, 0)));
    writeFile(tree / "b/weg.ico", solidIcon(qRgb(0, 255, 0)));
    writeFile(tree / "b/bleibt.ico", solidIcon(qRgb(0, 0, 255)));
    writeFile(tree / "c/lib.dll", libraryWithIcons(3));
    writeFile(tree / "d/alt.ico", solidIcon(qRgb(9, 9, 9)));
    writeFile(tree / "e/fest.dll", libraryWithIcons(2));
    const QString root = QString::fromStdString(tree.string());
    ASSERT_EQ(cli({"collect", root, file}).exitCode, 0);
    EXPECT_EQ(cli({"collect", root, file}).exitCode, 1); // never replaced unless told

    writeFile(tree / "a/neu.ico", solidIcon(qRgb(1, 2, 3)));
    fs::remove(tree / "b/weg.ico");
    writeFile(tree / "c/lib.dll.neu", libraryWithIcons(5, false, qRgb(7, 7, 7)));
    fs::rename(tree / "c/lib.dll.neu", tree / "c/lib.dll");
    fs::rename(tree / "d/alt.ico", tree / "d/neu.ico");
    fs::create_directories(tree / "f");
    writeFile(tree / "f/g.ico", solidIcon(qRgb(4, 5, 6)));
    const auto eTime = fs::last_write_time(tree / "e");
    writeFile(tree / "e/fest.dll", libraryWithIcons(3, false, qRgb(8, 8, 8)));
    ASSERT_EQ(fs::last_write_time(tree / "e"), eTime);

    const CliRun refreshed = cli({"collect", "--refresh", file});
    ASSERT_EQ(refreshed.exitCode, 0) << refreshed.err.toStdString();
    // e/ alone is unchanged; the root changed with f/ added.
    EXPECT_TRUE(refreshed.err.startsWith("1 Verzeichnisse unverändert, 5 geändert, ")) << refreshed.err.toStdString();
    const CliRun fromCollection = cli({"scan", "--collection", file});
    const CliRun fullRead = cli({"scan", root});
    EXPECT_EQ(fromCollection.out, fullRead.out);
    EXPECT_TRUE(fromCollection.out.contains("\t4\t" + root.toUtf8() + "/c/lib.dll\n"));  // five icons now
    EXPECT_TRUE(fromCollection.out.contains("\t2\t" + root.toUtf8() + "/e/fest.dll\n")); // three icons now
}
