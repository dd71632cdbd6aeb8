// The catalogue of icon entries and the indexer that fills it.

#include "catalogue/Catalogue.h"
#include "catalogue/Indexer.h"
#include "icons/IconExtractor.h"
#include "support/Funky.h"
#include "support/TestUtil.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <map>

using namespace bw;

namespace {

// Records what the indexer asks of its window; icon counts come from a table, time from a
// hand-turned clock.
class FakeHost final : public IndexerHost {
public:
    std::map<std::string, int> counts;
    std::vector<std::string> asked;
    int blanks = 0, pumps = 0, geometries = 0, fullReports = 0;
    QStringList panels;
    std::int64_t now = 1000;
    std::int64_t stepPerCall = 0;

    void blankPage() override { ++blanks; }
    void setCountPanel(const QString& text) override { panels << text; }
    void pumpMessages() override { ++pumps; }
    void computePageGeometry() override { ++geometries; }
    void reportCatalogueFull() override { ++fullReports; }
    std::int64_t tickCount() override { return now += stepPerCall; }
    int iconCountOf(std::string_view path) override
    {
        asked.emplace_back(path);
        const auto it = counts.find(std::string(path));
        return it == counts.end() ? 0 : it->second;
    }
};

class Indexing : public ::testing::Test {
protected:
    Catalogue catalogue {50};
    FakeHost host;
    void SetUp() override { host.countRefresh.refreshed(host.now); }
};

} // namespace

TEST(Catalogue, AppendClearAndEmptySlots)
{
    Catalogue c(10);
    EXPECT_EQ(c.entryCount(), 0);
    c.clearCatalogue(); // nothing to clear
    c.appendEntry("/a/shell32.dll", 0);
    c.appendEntry("/a/shell32.dll", 1);
    c.appendEntry("/b/pfeil.ico", 0);
    ASSERT_EQ(c.entryCount(), 3);
    EXPECT_EQ(c[2].path(), "/a/shell32.dll");
    EXPECT_EQ(c[2].iconIndex, 1);
    EXPECT_EQ(c[1].path().data(), c[2].path().data()); // one copy for one file
    EXPECT_EQ(c[3].path(), "/b/pfeil.ico");
    c[3].marked = 1;
    c[1].defective = 1;
    c.clearCatalogue();
    EXPECT_EQ(c.entryCount(), 0);
    for (int n = 1; n <= 3; ++n) {
        EXPECT_EQ(c[n].path(), "");
        EXPECT_EQ(c[n].iconIndex, 0);
        EXPECT_EQ(c[n].defective, 0);
        EXPECT_EQ(c[n].marked, 0);
    }
    c.appendEntry("/c/x.cur", 0);
    EXPECT_EQ(c[1].path(), "/c/x.cur");
    EXPECT_EQ(c[1].marked, 0);
}

TEST(Catalogue, AnEmptyMillionTakesNoMemoryUntilFilled)
{
    const auto resident = [] {
        long size = 0, pages = 0;
        std::ifstream("/proc/self/statm") >> size >> pages;
        return pages * ::sysconf(_SC_PAGESIZE);
    };
    const long before = resident();
    Catalogue c(1'000'000);
    c.appendEntry("/a/pfeil.ico", 0);
    EXPECT_LT(resident() - before, 4 << 20); // the million slots are 24 MB
    EXPECT_EQ(c[1'000'000].path(), "");
    EXPECT_EQ(c[1'000'000].iconIndex, 0);
}

TEST(Catalogue, LongAndManyPathsSurviveChunking)
{
    Catalogue c(3000);
    const std::string longPath = "/" + std::string(3 << 20, 'x'); // longer than a chunk
    for (int i = 0; i < 2999; ++i)
        c.appendEntry("/dir/file" + std::to_string(i) + ".ico", 0);
    c.appendEntry(longPath, 0);
    EXPECT_EQ(c[1].path(), "/dir/file0.ico");
    EXPECT_EQ(c[2999].path(), "/dir/file2998.ico");
    EXPECT_EQ(c[3000].path(), longPath);
    EXPECT_TRUE(c.isFull());
}

TEST_F(Indexing, IconAndCursorNamesAreNotOpened)
{
    indexFile(catalogue, "/d/ICON.ICO", host);
    indexFile(catalogue, "/d/x.Cur", host);
    ASSERT_EQ(catalogue.entryCount(), 2);
    EXPECT_EQ(catalogue[1].path(), "/d/ICON.ICO");
    EXPECT_EQ(catalogue[2].iconIndex, 0);
    EXPECT_TRUE(host.asked.empty());
    EXPECT_EQ(host.geometries, 2);
}

TEST_F(Indexing, OtherNamesAskForTheCount)
{
    host.counts = {{"/d/icons.ico.bak", 1}, {"/d/prog.exe", 5}, {"/d/empty.dll", 0}};
    indexFile(catalogue, "/d/icons.ico.bak", host);
    indexFile(catalogue, "/d/prog.exe", host);
    indexFile(catalogue, "/d/empty.dll", host);
    EXPECT_EQ(host.asked, (std::vector<std::string> {"/d/icons.ico.bak", "/d/prog.exe", "/d/empty.dll"}));
    ASSERT_EQ(catalogue.entryCount(), 6);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(catalogue[2 + i].path(), "/d/prog.exe");
        EXPECT_EQ(catalogue[2 + i].iconIndex, i);
    }
    EXPECT_EQ(host.geometries, 3); // also for the library without icons
}

TEST_F(Indexing, PageIsBlankedOnlyWhileEmpty)
{
    host.counts = {{"/d/none.dll", 0}};
    indexFile(catalogue, "/d/none.dll", host);
    indexFile(catalogue, "/d/none.dll", host);
    EXPECT_EQ(host.blanks, 2);
    indexFile(catalogue, "/d/a.ico", host);
    EXPECT_EQ(host.blanks, 3);
    indexFile(catalogue, "/d/b.ico", host);
    EXPECT_EQ(host.blanks, 3);
}

TEST_F(Indexing, RefreshAtMostEvery500Milliseconds)
{
    host.counts = {{"/d/big.dll", 10}};
    host.stepPerCall = 0;
    indexFile(catalogue, "/d/big.dll", host);
    EXPECT_TRUE(host.panels.isEmpty());
    EXPECT_EQ(host.pumps, 0);
    host.now += 500;
    indexFile(catalogue, "/d/a.ico", host);
    EXPECT_EQ(host.panels, QStringList {QStringLiteral("Icon(s) 11")});
    EXPECT_EQ(host.pumps, 1);
    EXPECT_FALSE(host.countRefresh.due(host.now + kIndexRefreshMs - 1));
}

TEST(IndexingFull, LastSlotsFilledThenReportedOncePerFile)
{
    Catalogue catalogue(1'000'000);
    FakeHost host;
    host.countRefresh.refreshed(host.now);
    for (int i = 0; i < 999'998; ++i)
        catalogue.appendEntry("/d/a.ico", 0);
    host.counts = {{"/d/five.exe", 5}};
    indexFile(catalogue, "/d/five.exe", host);
    EXPECT_EQ(catalogue.entryCount(), 1'000'000);
    EXPECT_EQ(catalogue[999'999].iconIndex, 0);
    EXPECT_EQ(catalogue[1'000'000].iconIndex, 1);
    EXPECT_EQ(host.fullReports, 1);
    EXPECT_EQ(host.geometries, 1);
    indexFile(catalogue, "/d/five.exe", host);
    EXPECT_EQ(host.fullReports, 2);
    EXPECT_EQ(host.geometries, 1); // a file offered to a full catalogue ends at once
    EXPECT_EQ(catalogueFullText(1'000'000), QStringLiteral("Die Maximale Symbolzahl von 1000000 ist erreicht !\r\nBy By Baby !"));
}

TEST_F(Indexing, AFileNeverGivesMoreThan65536Icons)
{
    Catalogue big(70'000);
    host.counts = {{"/d/huge.icl", 100'000}};
    indexFile(big, "/d/huge.icl", host);
    ASSERT_EQ(big.entryCount(), 65'536);
    EXPECT_EQ(big[65'536].iconIndex, 65'535);
    EXPECT_EQ(host.fullReports, 0);
}

TEST(Extension, LastDotOfTheFileName)
{
    EXPECT_EQ(fileExtensionLower("/a/ICON.ICO"), ".ico");
    EXPECT_EQ(fileExtensionLower("/a/icons.ico.bak"), ".bak");
    EXPECT_EQ(fileExtensionLower("/a.b/noext"), "");
    EXPECT_EQ(fileExtensionLower("/a/.ico"), ".ico");
    EXPECT_EQ(fileExtensionLower("/a/\xc3\x84RGER.CUR"), ".cur");
}

TEST(Extension, IconAndCursorFilesAreCataloguedByNameInAnyCase)
{
    const struct {
        const char* path;
        bool byName;
    } cases[] = {
        {"/a/ICON.ICO", true}, {"/a/x.cUr", true},      {".cur", true},      {"/a/ico", false},
        {"/a/x.icon", false},  {"/a/x.ico.bak", false}, {"/a.ico/x", false}, {"", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(isCataloguedByName(c.path), c.byName) << c.path;
}

TEST(IndexingFiles, RealFilesThroughTheShellCount)
{
    // The count of a real executable comes from its content.
    QTemporaryDir dir;
    const std::filesystem::path base = dir.path().toStdString();
    testutil::writeFile(base / "five.exe", testutil::libraryWithIcons(5));
    EXPECT_EQ(iconCount(base / "five.exe"), 5);
}
