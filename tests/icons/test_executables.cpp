// Group icons of 32-bit and 64-bit PE files and of 16-bit NE files: count, numbering, choice.

#include "icons/IconDirectory.h"
#include "icons/IconExtractor.h"
#include "support/TestUtil.h"

#include <gtest/gtest.h>

using namespace fixtures;
using namespace testutil;

namespace {

const QRgb kZeta = qRgb(255, 0, 0);
const QRgb kAlpha = qRgb(0, 255, 0);
const QRgb kId2 = qRgb(0, 0, 255);
const QRgb kId7 = qRgb(255, 255, 0);
const QRgb kId300 = qRgb(0, 255, 255);

IconImage dib(QRgb colour, int edge, int bits) { return dibImage(solid(colour, edge, edge), bits); }

// Named groups stored first (not in alphabetical order), numeric ids out of order, one group in
// two languages, one group with several images of which the 32 x 32 deep one must be chosen.
std::vector<GroupIcon> sampleGroups()
{
    return {
        {u"ZETA", 0, {0x0409, 0x0407}, {dib(kZeta, 32, 8)}},
        {u"ALPHA", 0, {0x0409}, {dib(kAlpha, 32, 4)}},
        {std::nullopt, 7, {0x0407, 0x0409}, {dib(qRgb(255, 0, 255), 16, 32), dib(kId7, 32, 32), dib(qRgb(0, 0, 0), 32, 4)}},
        {std::nullopt, 300, {0x0409}, {dib(kId300, 48, 24)}},
        {std::nullopt, 2, {0x0409}, {dib(kId2, 32, 24)}},
    };
}

} // namespace

// The shell's order: named groups first as stored, then numeric ids ascending; past the last
// index there is no icon, and a file without groups has none.
TEST(Executables, GroupsInShellOrder)
{
    const std::vector<QRgb> sampleOrder = {kZeta, kAlpha, kId2, kId7, kId300};
    const struct {
        const char* name;
        Bytes file;
        bw::IconSourceKind kind;
        std::vector<QRgb> order;
    } cases[] = {{"PE32", peFile(sampleGroups(), false), bw::IconSourceKind::Pe, sampleOrder},
                 {"PE32+", peFile(sampleGroups(), true), bw::IconSourceKind::Pe, sampleOrder},
                 {"NE", neFile(sampleGroups()), bw::IconSourceKind::Ne, sampleOrder},
                 {"PE32 without groups", peFile({}, false), bw::IconSourceKind::Pe, {}},
                 {"PE32+ without groups", peFile({}, true), bw::IconSourceKind::Pe, {}},
                 {"NE without groups", neFile({}), bw::IconSourceKind::Ne, {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bw::ByteReader reader = readerOf(c.file);
        EXPECT_EQ(bw::iconSourceKind(reader), c.kind);
        const int count = static_cast<int>(c.order.size());
        ASSERT_EQ(bw::iconCount(reader), count);
        for (int i = 0; i < count; ++i)
            EXPECT_TRUE(samePixels(bw::extractIcon(reader, i), solid(c.order[static_cast<std::size_t>(i)]))) << "index " << i;
        for (int index : {count, -1}) {
            EXPECT_TRUE(bw::extractIcon(reader, index).isNull());
            EXPECT_EQ(bw::lastReadError(), bw::ReadError::NoSuchIcon);
        }
    }
}

TEST(Executables, ManyGroupsKeepTheirOrder)
{
    std::vector<GroupIcon> groups;
    for (int i = 0; i < 300; ++i) {
        const auto id = static_cast<std::uint16_t>(1000 - i); // stored descending
        groups.push_back({std::nullopt, id, {0x0409}, {dib(qRgb(i % 256, i / 256, 7), 32, 24)}});
    }
    const Bytes pe = peFile(groups, false);
    const Bytes ne = neFile(groups);
    for (const Bytes* file : {&pe, &ne}) {
        ASSERT_EQ(bw::iconCount(readerOf(*file)), 300);
        // Index 0 is the smallest id, stored last.
        EXPECT_TRUE(samePixels(bw::extractIcon(readerOf(*file), 0), solid(qRgb(299 % 256, 299 / 256, 7))));
        EXPECT_TRUE(samePixels(bw::extractIcon(readerOf(*file), 299), solid(qRgb(0, 0, 7))));
    }
}

TEST(Executables, GroupAsIconFileKeepsTheStatedSizeWhereTheResourceHoldsItAndHasALimit)
{
    const Bytes image(300 * 1024, 0xAB);
    for (const auto& [stated, kept] : {std::pair {32u, 32u}, {0u, 300u * 1024}, {400u * 1024, 300u * 1024}}) {
        const Bytes entry {48,
                           48,
                           0,
                           0,
                           1,
                           0,
                           32,
                           0,
                           static_cast<std::uint8_t>(stated),
                           static_cast<std::uint8_t>(stated >> 8),
                           static_cast<std::uint8_t>(stated >> 16),
                           0,
                           1,
                           0};
        const bw::IconCandidate c {48, 48, readerOf(image), readerOf(entry)};
        const std::optional<QByteArray> file = bw::iconFileOfGroup({c, c});
        ASSERT_TRUE(file) << stated;
        bw::ByteReader out(reinterpret_cast<const std::uint8_t*>(file->constData()), static_cast<std::uint64_t>(file->size()));
        EXPECT_EQ(out.size(), 38 + 2 * kept);
        EXPECT_EQ(out.u32(6 + 16 + 8), kept);       // the second entry's size
        EXPECT_EQ(out.u32(6 + 16 + 12), 38 + kept); // and its offset, after the first image
        // One large image named as often as a group may name images: too large, no file.
        EXPECT_EQ(bw::iconFileOfGroup(std::vector<bw::IconCandidate>(bw::kMaxGroupImages, c)).has_value(), kept == 32) << stated;
        EXPECT_EQ(bw::lastReadError(), kept == 32 ? bw::ReadError::None : bw::ReadError::TooLarge) << stated;
    }
}

TEST(Executables, OrderLearntFromOneFileIsNotUsedForTheNext)
{
    // The path functions remember whether a file's groups are stored in the shell's order; a file
    // put in its place with groups out of order must be ordered anew.
    QTemporaryDir dir;
    const std::filesystem::path path = std::filesystem::path(dir.path().toStdString()) / "b.dll";
    const std::filesystem::path next = path.string() + ".neu";
    writeFile(path, peFile({{std::nullopt, 1, {0x0409}, {dib(kZeta, 32, 24)}}, {std::nullopt, 2, {0x0409}, {dib(kAlpha, 32, 24)}}}, false));
    EXPECT_TRUE(samePixels(bw::extractIcon(path, 1), solid(kAlpha)));
    writeFile(next, peFile({{std::nullopt, 9, {0x0409}, {dib(kId7, 32, 24)}}, {std::nullopt, 3, {0x0409}, {dib(kId2, 32, 24)}}}, false));
    std::filesystem::rename(next, path);
    EXPECT_TRUE(samePixels(bw::extractIcon(path, 0), solid(kId2)));
    const std::optional<bw::StoredIcon> stored = bw::storedIcon(path, 1);
    ASSERT_TRUE(stored);
    const Bytes expected = iconFile({dib(kId7, 32, 24)});
    EXPECT_EQ(Bytes(stored->bytes.begin(), stored->bytes.end()), expected);
}

// Counting a file by its path reads only the parts the readers ask for; the count and the reason
// for a refusal must be those of a read of the whole file, wherever the directory lies: far
// behind the headers, across two of the parts read, or too large for the parts (then the file is
// read whole).
TEST(Executables, CountByPathReadsThePartsThatMatter)
{
    const auto groups = [](int n) {
        std::vector<GroupIcon> g;
        for (int i = 1; i <= n; ++i)
            g.push_back({std::nullopt, static_cast<std::uint16_t>(i), {0x0409}, {dib(kId2, 16, 4)}});
        return g;
    };
    Bytes cut = withCodeSection(peFile(groups(6), true), 300'000);
    cut.resize(300'000);
    const struct {
        const char* name;
        Bytes file;
        int count;
    } cases[] = {
        {"behind code", withCodeSection(peFile(groups(6), true), 3'000'000), 6},
        {"across parts", withCodeSection(peFile(groups(3000), false), 1'048'576 - 0x200 + 30'000), 3000},
        {"too large for the parts", withCodeSection(peFile(groups(40'000), false), 100'000), 40'000},
        {"resources cut off", cut, 0},
        {"resources outside", withCodeSection(peFile(groups(2), false, PeFault::ResourceRvaPastEnd), 100'000), 0},
    };
    QTemporaryDir dir;
    for (const auto& c : cases) {
        const std::filesystem::path path = writeFile(std::filesystem::path(dir.path().toStdString()) / "lib.dll", c.file);
        EXPECT_EQ(bw::iconCount(readerOf(c.file)), c.count) << c.name;
        const bw::ReadError why = bw::lastReadError();
        EXPECT_EQ(bw::iconCount(path), c.count) << c.name;
        EXPECT_EQ(bw::lastReadError(), why) << c.name;
    }
}

// Where an icon lies, as Windows names it: a numbered group by its negative number, anything else
// by its position in the shell's order; group names and languages as stored.
TEST(Executables, ReferencesNameNumberedGroupsAndOtherwiseTheIndex)
{
    const Bytes pe32 = peFile(sampleGroups(), false);
    const Bytes pe64 = peFile(sampleGroups(), true);
    const Bytes ne = neFile(sampleGroups());
    const Bytes ico = iconFile({dib(kAlpha, 32, 32)});
    const struct {
        const Bytes* file;
        int index;
        const char* reference; // none: no icon there
        const char* name;
        std::vector<std::uint32_t> languages;
    } cases[] = {{&pe32, 0, "/c/a b.dll,0", "ZETA", {0x0409, 0x0407}},
                 {&pe32, 3, "/c/a b.dll,-7", nullptr, {0x0407, 0x0409}},
                 {&pe64, 4, "/c/a b.dll,-300", nullptr, {0x0409}},
                 {&pe32, 5, nullptr, nullptr, {}},
                 {&ne, 1, "/c/a b.dll,1", "ALPHA", {}},
                 {&ne, 2, "/c/a b.dll,-2", nullptr, {}},
                 {&ico, 0, "/c/a b.dll,0", nullptr, {}},
                 {&ico, 1, nullptr, nullptr, {}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.index);
        const std::optional<bw::IconOrigin> origin = bw::iconOrigin(readerOf(*c.file), c.index);
        ASSERT_EQ(origin.has_value(), c.reference != nullptr);
        if (!origin)
            continue;
        EXPECT_EQ(bw::iconReference(QStringLiteral("/c/a b.dll"), *origin), QString::fromUtf8(c.reference));
        EXPECT_EQ(origin->groupName.value_or(QString()), QString::fromUtf8(c.name ? c.name : ""));
        EXPECT_EQ(origin->languages, c.languages);
    }
    // A name pointing outside the resources names nothing.
    Bytes broken = pe32;
    const std::string zeta("Z\0E\0T\0A\0", 8);
    const auto at = std::search(broken.begin(), broken.end(), zeta.begin(), zeta.end());
    ASSERT_TRUE(at != broken.end() && at - broken.begin() >= 2);
    at[-2] = at[-1] = 0xFF; // the name's length
    EXPECT_FALSE(bw::iconOrigin(readerOf(broken), 0));
}
