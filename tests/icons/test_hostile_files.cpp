// Files that lie must give no icon, quickly, and never crash, hang or allocate wildly. These
// tests are most useful under the sanitizer build (see README).

#include "support/HostileShapes.h"
#include "support/TestUtil.h"

#include "icons/IconDirectory.h"
#include "icons/IconExtractor.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <random>

using namespace fixtures;
using namespace testutil;

namespace {

IconImage dib(QRgb colour, int bits)
{
    return {32, 32, 1, static_cast<std::uint16_t>(bits), iconDib(solid(colour), bits)};
}

std::vector<GroupIcon> twoGroups()
{
    return {{u"MAIN", 0, {0x0409}, {dib(qRgb(255, 0, 0), 8), dib(qRgb(0, 255, 0), 32)}},
            {std::nullopt, 5, {0x0409}, {dib(qRgb(0, 0, 255), 4)}}};
}

void put32(Bytes& b, std::size_t at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        b[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(v >> (8 * i));
}

// Every index a caller might try, plus a few past the end.
void exerciseAll(const Bytes& file)
{
    const bw::ByteReader r = readerOf(file);
    const int count = bw::iconCount(r);
    ASSERT_GE(count, 0);
    for (int i = -1; i <= std::min(count, 8) + 1; ++i) {
        const QImage icon = bw::extractIcon(r, i);
        if (!icon.isNull()) {
            ASSERT_EQ(icon.size(), QSize(32, 32));
        }
        // A group put together as an icon file is a consistent one, whatever the group claimed.
        const std::optional<bw::StoredIcon> stored = bw::storedIcon(r, i);
        if (stored && (stored->kind == bw::IconSourceKind::Pe || stored->kind == bw::IconSourceKind::Ne)) {
            const bw::ByteReader bytes(reinterpret_cast<const std::uint8_t*>(stored->bytes.constData()),
                                       static_cast<std::uint64_t>(stored->bytes.size()));
            ASSERT_TRUE(bw::iconFileCandidates(bytes));
        }
    }
}

} // namespace

TEST(HostileFiles, PeFaultsGiveNoIcon)
{
    for (bool plus : {false, true}) {
        SCOPED_TRACE(plus ? "PE32+" : "PE32");
        const Bytes missing = peFile(twoGroups(), plus, PeFault::GroupNamesMissingIcon);
        EXPECT_EQ(bw::iconCount(readerOf(missing)), 2); // the groups are listed ...
        EXPECT_TRUE(bw::extractIcon(readerOf(missing), 0).isNull()); // ... but the broken one gives none
        EXPECT_FALSE(bw::extractIcon(readerOf(missing), 1).isNull());

        const Bytes loop = peFile(twoGroups(), plus, PeFault::LoopingDirectory);
        EXPECT_TRUE(bw::extractIcon(readerOf(loop), 0).isNull());
        exerciseAll(loop);

        EXPECT_EQ(bw::iconCount(readerOf(peFile(twoGroups(), plus, PeFault::HugeEntryCount))), 0);
        EXPECT_EQ(bw::iconCount(readerOf(peFile(twoGroups(), plus, PeFault::ResourceRvaPastEnd))), 0);
        const Bytes truncated = peFile(twoGroups(), plus, PeFault::Truncated);
        EXPECT_EQ(bw::iconCount(readerOf(truncated)), 0);
        exerciseAll(truncated);
    }
}

TEST(HostileFiles, NeFaultsGiveNoIcon)
{
    const Bytes missing = neFile(twoGroups(), NeFault::GroupNamesMissingIcon);
    EXPECT_EQ(bw::iconCount(readerOf(missing)), 2);
    EXPECT_TRUE(bw::extractIcon(readerOf(missing), 0).isNull());
    EXPECT_FALSE(bw::extractIcon(readerOf(missing), 1).isNull());

    EXPECT_EQ(bw::iconCount(readerOf(neFile(twoGroups(), NeFault::EndlessTypeTable))), 0);
    EXPECT_EQ(bw::iconCount(readerOf(neFile(twoGroups(), NeFault::HugeAlignShift))), 0);
    const Bytes pastEnd = neFile(twoGroups(), NeFault::OffsetPastEnd);
    EXPECT_TRUE(bw::extractIcon(readerOf(pastEnd), 0).isNull());
    exerciseAll(pastEnd);
}

TEST(HostileFiles, IconFilesThatLie)
{
    // Claims 65535 images in a file of 22 bytes.
    Bytes hugeCount = {0, 0, 1, 0, 0xFF, 0xFF};
    hugeCount.resize(22, 0);
    EXPECT_EQ(bw::iconCount(readerOf(hugeCount)), 0);

    Bytes good = solidIcon(qRgb(1, 2, 3), 24);
    Bytes offsetPastEnd = good;
    put32(offsetPastEnd, 18, 0xFFFFFFF0u);
    EXPECT_TRUE(bw::extractIcon(readerOf(offsetPastEnd), 0).isNull());
    Bytes sizeWraps = good;
    put32(sizeWraps, 14, 0xFFFFFFFFu);
    EXPECT_TRUE(bw::extractIcon(readerOf(sizeWraps), 0).isNull());

    // DIB header with absurd dimensions: rejected before anything is allocated.
    for (std::uint32_t width : {0u, 0x7FFFFFFFu, 0x80000000u, 5000u}) {
        Bytes absurd = good;
        put32(absurd, 22 + 4, width);
        EXPECT_TRUE(bw::extractIcon(readerOf(absurd), 0).isNull()) << width;
    }
    Bytes negativeHeight = good;
    put32(negativeHeight, 22 + 8, static_cast<std::uint32_t>(-64));
    EXPECT_TRUE(bw::extractIcon(readerOf(negativeHeight), 0).isNull());
    Bytes hugePalette = good;
    put32(hugePalette, 22 + 32, 0x40000000u);
    EXPECT_TRUE(bw::extractIcon(readerOf(hugePalette), 0).isNull());

    // A PNG that claims 100000 x 100000 pixels.
    Bytes png = pngData(solid(qRgb(0, 0, 0)));
    for (int i = 16; i < 24; i += 4) {
        png[static_cast<std::size_t>(i)] = 0;
        png[static_cast<std::size_t>(i) + 1] = 0x01;
        png[static_cast<std::size_t>(i) + 2] = 0x86;
        png[static_cast<std::size_t>(i) + 3] = 0xA0;
    }
    EXPECT_TRUE(bw::extractIcon(readerOf(iconFile({{32, 32, 1, 32, png}})), 0).isNull());
}

TEST(HostileFiles, BitmapThatClaimsGiantSize)
{
    Bytes bmp = bmpFile(solid(qRgb(0, 0, 0), 4, 4), BmpKind::Bits24);
    put32(bmp, 18, 100000);
    put32(bmp, 22, 100000);
    EXPECT_EQ(bw::iconCount(readerOf(bmp)), 1);
    EXPECT_TRUE(bw::extractIcon(readerOf(bmp), 0).isNull());
}

TEST(HostileFiles, EveryTruncationIsSafe)
{
    const std::vector<Bytes> samples = {peFile(twoGroups(), false), peFile(twoGroups(), true), neFile(twoGroups()),
                                        iconFile({dib(qRgb(9, 9, 9), 8), dib(qRgb(9, 9, 9), 32)})};
    for (const Bytes& sample : samples)
        for (std::size_t length = 0; length < sample.size(); length += 7) {
            // A copy of exactly `length` bytes, so reading past it is a real overrun under ASan.
            const Bytes cut(sample.begin(), sample.begin() + static_cast<std::ptrdiff_t>(length));
            exerciseAll(cut);
        }
}

TEST(HostileFiles, RandomMutationsAreSafe)
{
    const std::vector<Bytes> samples = {peFile(twoGroups(), false), peFile(twoGroups(), true), neFile(twoGroups()),
                                        iconFile({dib(qRgb(9, 9, 9), 4), dib(qRgb(9, 9, 9), 16)})};
    std::mt19937 random(20261207);
    const std::uint32_t extremes[] = {0, 1, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF, 0xFFFF, 0x8000};
    for (const Bytes& sample : samples)
        for (int round = 0; round < 1500; ++round) {
            Bytes mutated = sample;
            const int edits = 1 + static_cast<int>(random() % 4);
            for (int e = 0; e < edits; ++e) {
                const std::size_t at = random() % (mutated.size() - 4);
                if (random() % 2)
                    mutated[at] = static_cast<std::uint8_t>(random());
                else
                    put32(mutated, at, extremes[random() % std::size(extremes)]);
            }
            exerciseAll(mutated);
        }
}

TEST(HostileFiles, SpecialFilesGiveZeroWithoutBlocking)
{
    QTemporaryDir dir;
    const std::filesystem::path base = dir.path().toStdString();
    const std::filesystem::path fifo = base / "pipe.ico";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(bw::iconCount(fifo), 0); // opening a FIFO for reading must not wait for a writer
    EXPECT_TRUE(bw::extractIcon(fifo, 0).isNull());
    EXPECT_EQ(bw::iconCount(base), 0);
    EXPECT_EQ(bw::iconCount(base / "missing.exe"), 0);
    EXPECT_EQ(bw::iconCount(writeFile(base / "empty.dll", {})), 0);
    EXPECT_EQ(bw::iconCount(writeFile(base / "mz.exe", {'M', 'Z'})), 0);
}

// Files that name as much work as their format allows. Each is refused or read cheaply; the
// benchmark bench_hostile measures their time and memory.
TEST(HostileFiles, GroupsNamingTensOfThousandsOfImagesAreRefused)
{
    for (const Bytes& file : {peGroupOfManyImages(), neGroupOfManyImages()}) {
        const bw::ByteReader r = readerOf(file);
        EXPECT_EQ(bw::iconCount(r), 1);
        EXPECT_TRUE(bw::extractIcon(r, 0).isNull());
    }
}

TEST(HostileFiles, IconsWithUnsortedIdsAreStillFound)
{
    // Groups given with descending ids: the icon directory is then not in ascending order.
    std::vector<GroupIcon> groups;
    for (std::uint16_t id = 40; id >= 1; --id)
        groups.push_back({std::nullopt, id, {0x0409}, {dib(qRgb(id * 6, 0, 0), 24)}});
    for (const Bytes& file : {peFile(groups, false), neFile(groups)}) {
        const bw::ByteReader r = readerOf(file);
        ASSERT_EQ(bw::iconCount(r), 40);
        for (int i = 0; i < 40; ++i)
            EXPECT_EQ(bw::extractIcon(r, i).pixel(16, 16), qRgb((i + 1) * 6, 0, 0)) << i;
    }
}

TEST(HostileFiles, BitmapsCostNoMoreThanTheirFileHolds)
{
    // Claims that a small file cannot hold: refused before anything is allocated.
    EXPECT_TRUE(bw::extractIcon(readerOf(rleBitmapClaiming(5792)), 0).isNull());
    EXPECT_TRUE(bw::extractIcon(readerOf(shortBitmapClaiming(8000)), 0).isNull());
    // A compressed bitmap within the cap, and large pictures the file really holds, are read.
    EXPECT_FALSE(bw::extractIcon(readerOf(rleBitmapClaiming(1024)), 0).isNull());
    const QImage photo = solid(qRgb(10, 120, 200), 1600, 1200);
    const QImage fromPhoto = bw::extractIcon(readerOf(bmpFile(photo, BmpKind::Bits24)), 0);
    ASSERT_FALSE(fromPhoto.isNull());
    EXPECT_EQ(fromPhoto.pixel(16, 16), qRgb(10, 120, 200));
    EXPECT_FALSE(bw::extractIcon(readerOf(bmpFile(solid(qRgb(0, 0, 255), 2000, 1500), BmpKind::Rle8)), 0).isNull());
}

// Found by fuzzing: a width and height near 2^31 at 32 bits made the size check itself overflow.
TEST(HostileFiles, FuzzFindingBitmapOfHugeRowsTimesHugeHeight)
{
    const Bytes file = {'B',  'M',  0x3a, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x28, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                        0x00, 0x40, 0x00, 0x5a, 0x9b, 0x0a, 0x00, 0x40, 0x60, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0xff};
    EXPECT_TRUE(bw::extractIcon(readerOf(file), 0).isNull());
}
