// Collection files: saved, opened without their sources, compared from their stored pictures.

#include "catalogue/Collection.h"
#include "compare/CollectionPictures.h"
#include "compare/CollectionRefresh.h"
#include "compare/DuplicateFinder.h"
#include "support/TestUtil.h"

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>

#include <gtest/gtest.h>

#include <unistd.h>

using namespace bw;
using namespace testutil;

namespace {

constexpr QRgb kBackground = 0xFFEFEFEFu;

class LineHost final : public CompareHost {
public:
    int limit = 5;
    QStringList lines;
    int threshold() override { return limit; }
    bool cancelled() override { return false; }
    std::int64_t tickCount() override { return 0; }
    void listDefective(std::int32_t n, std::string_view) override { lines << QStringLiteral("DEFEKT %1").arg(n); }
    void listDuplicate(std::int32_t n, std::string_view) override { lines << QStringLiteral("DOPPELT %1").arg(n); }
    void reportNoMemory(const QString& text) override { lines << text; }
};

class CollectionTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    Catalogue read {100};
    std::string file = dir.path().toStdString() + "/a.bwsammlung";

    std::string path(const std::string& name) const { return dir.path().toStdString() + "/" + name; }

    // A read of icons of every sort: equal pictures, a defective file, a library of three, a
    // name that is not UTF-8.
    void SetUp() override
    {
        writeFile(path("a.ico"), solidIcon(qRgb(255, 0, 0)));
        writeFile(path("b.ico"), solidIcon(qRgb(255, 0, 0), 8));
        writeFile(path("c.ico"), {0, 0, 1, 0});
        writeFile(path("d\xe4.ico"), solidIcon(qRgb(0, 200, 0)));
        writeFile(path("e.cur"), fixtures::iconFile({{32, 32, 1, 32, fixtures::iconDib(bands(), 32)}}, 2));
        writeFile(path("f.dll"), libraryWithIcons(3, false, qRgb(0, 0, 255)));
        // Many colours, each used twice: every code an escape (no colour has a code of its own).
        QImage rare(32, 32, QImage::Format_ARGB32);
        for (int k = 0; k < kSampleCount; ++k)
            rare.setPixel(k / 32, k % 32,
                          k < 200 ? qRgba(0, 0, 0, 0) : 0xFF000000u | ((0x010203u * static_cast<unsigned>(k / 2)) & 0xFFFFFFu));
        writeFile(path("g.ico"), fixtures::iconFile({{32, 32, 1, 32, fixtures::iconDib(rare, 32)}}));
        for (const char* name : {"a.ico", "b.ico", "c.ico", "d\xe4.ico", "e.cur", "g.ico"})
            read.appendEntry(path(name), 0);
        for (std::uint16_t i = 0; i < 3; ++i)
            read.appendEntry(path("f.dll"), i);
    }

    // QTemporaryDir cannot remove a name that is not UTF-8.
    void TearDown() override { std::filesystem::remove_all(dir.path().toStdString()); }

    QString save(SaveMode mode = SaveMode::NewOnly)
    {
        const std::string top = dir.path().toStdString() + "/";
        return saveReadAsCollection(file, read, {{top}, QStringLiteral("ico,cur,dll"), {{top, fileTimeNs(top)}}}, kBackground, mode, 2);
    }

    // Runs one statement on the saved file, as another program would.
    void sql(const char* statement)
    {
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("edit"));
            db.setDatabaseName(QString::fromStdString(file));
            ASSERT_TRUE(db.open());
            QSqlQuery(db).exec(QString::fromLatin1(statement));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("edit"));
    }
};

TEST_F(CollectionTest, RoundTripKeepsEntriesPicturesAndFacts)
{
    ASSERT_EQ(save(), QString());
    Catalogue opened(100);
    QString error;
    const std::unique_ptr<Collection> c = Collection::open(file, opened, error);
    ASSERT_TRUE(c) << error.toStdString();
    EXPECT_EQ(c->info().directory, dir.path().toStdString() + "/");
    EXPECT_EQ(c->info().types, QStringLiteral("ico,cur,dll"));
    EXPECT_EQ(c->info().background, kBackground & 0xFFFFFFu);
    ASSERT_EQ(opened.entryCount(), read.entryCount());
    for (std::int32_t n = 1; n <= read.entryCount(); ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(opened[n].path(), read[n].path());
        EXPECT_EQ(opened[n].iconIndex, read[n].iconIndex);
        CollectionEntry e;
        ASSERT_TRUE(c->entry(n, e));
        const QImage icon = fileIconLoader()(read[n].path(), read[n].iconIndex);
        EXPECT_EQ(e.loaded, !icon.isNull());
        EXPECT_EQ(c->sourceState(n, opened[n].path()), SourceState::Present);
        Samples captured;
        capturePicture(icon, kBackground, captured);
        Samples stored {};
        ASSERT_TRUE(unpackPicture(e.picture, kBackground, stored));
        EXPECT_EQ(stored, captured);
    }
    CollectionEntry cursor;
    ASSERT_TRUE(c->entry(5, cursor));
    EXPECT_EQ(cursor.largestWidth, 32);
    EXPECT_EQ(cursor.fileSize, static_cast<std::int64_t>(readFile(path("e.cur")).size()));

    // The sources go: one is removed, one rewritten; the pictures stay.
    ASSERT_EQ(::unlink(path("a.ico").c_str()), 0);
    writeFile(path("e.cur.new"), solidIcon(qRgb(1, 2, 3)));
    ASSERT_EQ(::rename(path("e.cur.new").c_str(), path("e.cur").c_str()), 0);
    EXPECT_EQ(c->sourceState(1, opened[1].path()), SourceState::Missing);
    EXPECT_EQ(c->sourceState(5, opened[5].path()), SourceState::Changed);
    EXPECT_EQ(c->sourceState(2, opened[2].path()), SourceState::Present);
    CollectionEntry gone;
    ASSERT_TRUE(c->entry(1, gone));
    EXPECT_FALSE(storedImage(gone, c->info().background).isNull());
}

TEST_F(CollectionTest, SavingNeverReplacesUnlessToldAndLeavesNoTemporary)
{
    writeFile(file, {'o', 'l', 'd'});
    EXPECT_NE(save(), QString());
    EXPECT_EQ(readFile(file), (fixtures::Bytes {'o', 'l', 'd'}));
    EXPECT_EQ(save(SaveMode::Replace), QString());
    Catalogue opened(100);
    QString error;
    EXPECT_TRUE(Collection::open(file, opened, error));
    for (const auto& e : std::filesystem::directory_iterator(dir.path().toStdString()))
        EXPECT_NE(e.path().filename().string().rfind(".bildwiesel-", 0), 0u) << e.path();
}

// Files that are no readable collection leave the shown catalogue as it was.
TEST_F(CollectionTest, RefusesDamagedForeignAndNewerFiles)
{
    ASSERT_EQ(save(), QString());
    const fixtures::Bytes good = readFile(file);
    const struct {
        const char* what;
        std::function<void()> spoil;
        const char* message;
    } cases[] = {
        {"text",
         [&] {
             writeFile(file, {'h', 'i'});
         },
         "ist keine Bildwiesel-Sammlung"},
        {"other database", [&] { sql("PRAGMA application_id=7"); }, "ist keine Bildwiesel-Sammlung"},
        {"newer format", [&] { sql("PRAGMA user_version=2"); }, "hat ein neueres Format (2)"},
        {"cut short", [&] { writeFile(file, fixtures::Bytes(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(good.size() / 2))); },
         "ist beschädigt"},
        {"pages overwritten",
         [&] {
             fixtures::Bytes bad = good;
             std::fill(bad.begin() + 4096, bad.end(), std::uint8_t {0x5A});
             writeFile(file, bad);
         },
         "ist beschädigt"},
        {"entry missing", [&] { sql("DELETE FROM entries WHERE nr=9"); }, "ist beschädigt"},
        {"entry list cut", [&] { sql("UPDATE catalogue SET data=substr(data, 1, 9)"); }, "ist beschädigt"},
        {"picture missing", [&] { sql("DELETE FROM pictures WHERE nr=9"); }, "ist beschädigt"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove(file);
        writeFile(file, good);
        c.spoil();
        Catalogue shown(100);
        shown.appendEntry("/kept.ico", 0);
        QString error;
        EXPECT_FALSE(Collection::open(file, shown, error));
        EXPECT_TRUE(error.contains(QString::fromUtf8(c.message))) << error.toStdString();
        ASSERT_EQ(shown.entryCount(), 1);
        EXPECT_EQ(shown[1].path(), "/kept.ico");
    }
}

// A refresh reads again what the read started from: one directory, or every volume; a file
// written before the roots were kept has its directory alone.
TEST_F(CollectionTest, KeepsTheRootsOfTheRead)
{
    const std::string top = dir.path().toStdString() + "/";
    const struct {
        const char* what;
        std::vector<std::string> roots;
        const char* spoil;
    } cases[] = {
        {"one directory", {top}, ""},
        {"two volumes", {top, "/"}, ""},
        {"written before roots", {top}, "DROP TABLE roots"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_EQ(saveReadAsCollection(file, read, {c.roots, QStringLiteral("ico"), {{top, 5}}}, kBackground, SaveMode::Replace, 1),
                  QString());
        sql(c.spoil);
        Catalogue opened(100);
        QString error;
        const std::unique_ptr<Collection> collection = Collection::open(file, opened, error);
        ASSERT_TRUE(collection) << error.toStdString();
        EXPECT_EQ(collection->info().roots, c.roots);
        EXPECT_EQ(collection->directories().size(), 1u);
    }
}

// The comparison from stored pictures gives what a comparison after a read gives, at every
// threshold and on one or several unpacking threads, with the sources gone; the catalogue is
// longer than the pictures the comparison reads ahead.
TEST_F(CollectionTest, ComparisonFromStoredPicturesEqualsOneAfterARead)
{
    Catalogue icons(100);
    for (int round = 0; round < 300; ++round)
        for (const char* name : {"a.ico", "b.ico", "c.ico", "d\xe4.ico", "e.cur", "a.ico", "c.ico"})
            icons.appendEntry(path(name), 0);
    ASSERT_EQ(saveReadAsCollection(file, icons, {}, kBackground, SaveMode::NewOnly, 2), QString());
    std::map<int, QStringList> afterRead;
    for (const int threshold : {0, 1, 5, 600, 1024}) {
        LineHost host;
        host.limit = threshold;
        CompareOptions options;
        options.background = kBackground;
        findDuplicates(icons, host, options);
        afterRead[threshold] = host.lines;
    }
    for (const char* name : {"a.ico", "b.ico", "c.ico", "d\xe4.ico", "e.cur"})
        std::filesystem::remove(path(name));
    Catalogue opened(100);
    QString error;
    const std::unique_ptr<Collection> c = Collection::open(file, opened, error);
    ASSERT_TRUE(c);
    for (const auto& [threshold, expected] : afterRead)
        for (const int threads : {1, 3}) {
            SCOPED_TRACE(threshold);
            SCOPED_TRACE(threads);
            LineHost host;
            host.limit = threshold;
            CollectionPictures stored(*c);
            CompareOptions options;
            options.background = kBackground;
            options.threads = threads;
            options.stored = &stored;
            options.loader = [](std::string_view, int) -> QImage {
                ADD_FAILURE() << "a source was read";
                return {};
            };
            findDuplicates(opened, host, options);
            EXPECT_EQ(host.lines, expected);
        }
    EXPECT_FALSE(afterRead[5].isEmpty());
}

// A picture row lost inside the file is found only when the comparison reaches it: the run stops
// there and says so, instead of listing every later entry as defective.
TEST_F(CollectionTest, ComparisonStopsWhereStoredPicturesBreakOff)
{
    ASSERT_EQ(save(), QString());
    sql("DELETE FROM pictures WHERE nr=5");
    Catalogue opened(100);
    QString error;
    const std::unique_ptr<Collection> c = Collection::open(file, opened, error);
    ASSERT_TRUE(c) << error.toStdString();
    LineHost host;
    CollectionPictures stored(*c);
    CompareOptions options;
    options.background = kBackground;
    options.stored = &stored;
    const CompareResult result = findDuplicates(opened, host, options);
    EXPECT_TRUE(result.unreadable && result.cancelled);
    ASSERT_FALSE(host.lines.isEmpty());
    EXPECT_TRUE(host.lines.back().contains(QStringLiteral("Eintrag 5 lässt sich nicht lesen"))) << host.lines.back().toStdString();
    for (const QString& line : host.lines.mid(0, host.lines.size() - 1))
        EXPECT_LT(line.section(QLatin1Char(' '), 1).toInt(), 5) << line.toStdString();
}

} // namespace
