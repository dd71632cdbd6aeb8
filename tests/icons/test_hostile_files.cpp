// Files that lie must give no icon, quickly, and never crash, hang or allocate wildly. These
// tests are most useful under the sanitizer build (see README).

#include "icons/IconDirectory.h"
#include "icons/IconExtractor.h"
#include "icons/IconImageDecoder.h"
#include "icons/PeResources.h"
#include "support/HostileShapes.h"
#include "support/TestUtil.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <random>
#include <string>
#include <tuple>

using namespace fixtures;
using namespace testutil;
using Why = bw::ReadError;

namespace {

IconImage dib(QRgb colour, int bits) { return dibImage(solid(colour), bits); }

std::vector<GroupIcon> twoGroups()
{
    return {{u"MAIN", 0, {0x0409}, {dib(qRgb(255, 0, 0), 8), dib(qRgb(0, 255, 0), 32)}},
            {std::nullopt, 5, {0x0409}, {dib(qRgb(0, 0, 255), 4)}}};
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
        ASSERT_EQ(bw::lastReadError() == bw::ReadError::None, !icon.isNull()) << i; // every refusal says why
        // A group put together as an icon file is a consistent one, whatever the group claimed.
        const std::optional<bw::StoredIcon> stored = bw::storedIcon(r, i);
        ASSERT_EQ(bw::lastReadError() == bw::ReadError::None, stored.has_value()) << i;
        if (stored && (stored->kind == bw::IconSourceKind::Pe || stored->kind == bw::IconSourceKind::Ne)) {
            const bw::ByteReader bytes(reinterpret_cast<const std::uint8_t*>(stored->bytes.constData()),
                                       static_cast<std::uint64_t>(stored->bytes.size()));
            ASSERT_TRUE(bw::iconFileCandidates(bytes));
        }
    }
}

} // namespace

TEST(HostileFiles, ExecutableFaultsGiveNoIcon)
{
    // The groups of a file whose first group is broken are still listed; that one gives none.
    struct Case {
        std::string name;
        Bytes file;
        int count;
        Why why;
    };
    std::vector<Case> cases;
    const std::tuple<PeFault, int, Why> peFaults[] = {{PeFault::GroupNamesMissingIcon, 2, Why::MissingImage},
                                                      {PeFault::LoopingDirectory, 2, Why::TooDeep},
                                                      {PeFault::HugeEntryCount, 0, Why::DirectoryOutside},
                                                      {PeFault::ResourceRvaPastEnd, 0, Why::ResourcesOutside},
                                                      {PeFault::Truncated, 0, Why::ResourcesOutside}};
    for (const bool plus : {false, true})
        for (const auto& [fault, count, why] : peFaults)
            cases.push_back(
                {(plus ? "PE32+ " : "PE32 ") + std::to_string(static_cast<int>(fault)), peFile(twoGroups(), plus, fault), count, why});
    Bytes sameTables = neFile(twoGroups());
    set32(sameTables, 0x80 + 0x24, 0x00400040); // the resource table ends where it starts
    cases.push_back({"NE group naming a missing icon", neFile(twoGroups(), NeFault::GroupNamesMissingIcon), 2, Why::MissingImage});
    cases.push_back({"NE endless type table", neFile(twoGroups(), NeFault::EndlessTypeTable), 0, Why::TypeTableOutside});
    cases.push_back({"NE huge align shift", neFile(twoGroups(), NeFault::HugeAlignShift), 0, Why::BadAlignShift});
    cases.push_back({"NE offset past the end", neFile(twoGroups(), NeFault::OffsetPastEnd), 2, Why::DataOutside});
    cases.push_back({"NE resource table ending where it starts", sameTables, 0, Why::ResourceTableOutside});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(bw::iconCount(readerOf(c.file)), c.count);
        EXPECT_TRUE(bw::extractIcon(readerOf(c.file), 0).isNull());
        EXPECT_EQ(bw::lastReadError(), c.why);
        EXPECT_EQ(!bw::extractIcon(readerOf(c.file), 1).isNull(), c.count == 2);
        exerciseAll(c.file);
    }

    // Headers edited in a good file, at their place in it (the PE header is at 0x80).
    const struct {
        std::size_t at;
        std::uint32_t value;
        Why why;
    } edits[] = {{0x3C, 0x7FFFFFF0, Why::NotPe},
                 {0x80 + 24, 0x999, Why::BadOptionalHeader} /* magic */,
                 {0x80 + 20, 16, Why::BadOptionalHeader} /* optional header size */,
                 {0x80 + 24 + 96 + 16, 0, Why::NoResourceSection},
                 {0x80 + 6, 0xFFFF, Why::SectionTableOutside} /* sections */,
                 {0x200 + 16 + 12, 0x10, Why::BadDirectoryEntry} /* the group type names data, not a directory */};
    for (const auto& e : edits) {
        Bytes file = peFile(twoGroups(), false);
        set32(file, e.at, e.value);
        EXPECT_EQ(bw::peGroupIconCount(readerOf(file)), 0) << e.at;
        EXPECT_EQ(bw::lastReadError(), e.why) << e.at;
    }
}

TEST(HostileFiles, IconFilesThatLie)
{
    // Claims 65535 images in a file of 22 bytes.
    Bytes hugeCount = {0, 0, 1, 0, 0xFF, 0xFF};
    hugeCount.resize(22, 0);
    EXPECT_EQ(bw::iconCount(readerOf(hugeCount)), 0);
    EXPECT_EQ(bw::lastReadError(), Why::DirectoryOutside);

    // Edits of a good file: the directory entry (size at 14, offset at 18), then the DIB header
    // at 22 with absurd dimensions, rejected before anything is allocated.
    const Bytes good = solidIcon(qRgb(1, 2, 3), 24);
    const struct {
        std::size_t at;
        std::uint32_t value;
        Why why;
    } edits[] = {{18, 0xFFFFFFF0u, Why::DataOutside},
                 {14, 0xFFFFFFFFu, Why::DataOutside},
                 {14, 40, Why::TruncatedImage} /* the header without its pixels */,
                 {22 + 4, 0, Why::BadImageSize},
                 {22 + 4, 0x7FFFFFFFu, Why::BadImageSize},
                 {22 + 4, 0x80000000u, Why::BadImageSize},
                 {22 + 4, 5000, Why::BadImageSize},
                 {22 + 8, static_cast<std::uint32_t>(-64), Why::BadImageSize},
                 {22 + 32, 0x40000000u, Why::BadPalette},
                 {22 + 14, 7, Why::BadBitCount},
                 {22, 20, Why::BadImageHeader} /* header size */,
                 {22 + 16, 1, Why::BadImageHeader} /* run-length coded */};
    for (const auto& e : edits) {
        Bytes file = good;
        set32(file, e.at, e.value);
        EXPECT_TRUE(bw::extractIcon(readerOf(file), 0).isNull()) << e.at << " " << e.value;
        EXPECT_EQ(bw::lastReadError(), e.why) << e.at << " " << e.value;
    }

    // A PNG that claims 100000 x 100000 pixels.
    Bytes png = pngData(solid(qRgb(0, 0, 0)));
    set32be(png, 16, 100000);
    set32be(png, 20, 100000);
    EXPECT_TRUE(bw::extractIcon(readerOf(iconFile({{32, 32, 1, 32, png}})), 0).isNull());
    EXPECT_EQ(bw::lastReadError(), Why::BadImageSize);
}

TEST(HostileFiles, EveryTruncationAndRandomMutationIsSafe)
{
    const std::vector<Bytes> samples
        = {peFile(twoGroups(), false), peFile(twoGroups(), true), neFile(twoGroups()),
           iconFile({dib(qRgb(9, 9, 9), 4), dib(qRgb(9, 9, 9), 16)}), iconFile({dib(qRgb(9, 9, 9), 8), dib(qRgb(9, 9, 9), 32)})};
    for (const Bytes& sample : samples)
        for (std::size_t length = 0; length < sample.size(); length += 7) {
            // A copy of exactly `length` bytes, so reading past it is a real overrun under ASan.
            const Bytes cut(sample.begin(), sample.begin() + static_cast<std::ptrdiff_t>(length));
            exerciseAll(cut);
        }
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
                    set32(mutated, at, extremes[random() % std::size(extremes)]);
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
    const struct {
        std::filesystem::path path;
        Why why;
    } cases[] = {{fifo, Why::CannotOpen},
                 {base, Why::CannotOpen},
                 {base / "missing.exe", Why::CannotOpen},
                 {writeFile(base / "empty.dll", {}), Why::UnknownFormat},
                 {writeFile(base / "mz.exe", {'M', 'Z'}), Why::UnknownFormat}};
    for (const auto& c : cases) {
        EXPECT_EQ(bw::iconCount(c.path), 0) << c.path;
        EXPECT_EQ(bw::lastReadError(), c.why) << c.path;
    }
}

// Why a file gives nothing is logged with its path, and only when the log is asked for.
TEST(HostileFiles, RefusalsAreLoggedWhenAsked)
{
    static QStringList messages;
    const QtMessageHandler previous = qInstallMessageHandler([](QtMsgType, const QMessageLogContext& context, const QString& text) {
        if (context.category == QLatin1String("bildwiesel.icons"))
            messages << text;
    });
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("kaputt.dll"));
    writeFile(path.toStdString(), peFile(twoGroups(), false, PeFault::GroupNamesMissingIcon));
    EXPECT_TRUE(bw::extractIcon(path.toStdString(), 0).isNull()); // the log is off
    QLoggingCategory::setFilterRules(QStringLiteral("bildwiesel.icons.debug=true"));
    EXPECT_TRUE(bw::extractIcon(path.toStdString(), 0).isNull());
    EXPECT_FALSE(bw::extractIcon(path.toStdString(), 1).isNull()); // nothing to say
    EXPECT_EQ(bw::iconCount(readerOf({'M', 'Z'})), 0);             // no path: the reason alone
    QLoggingCategory::setFilterRules({});
    qInstallMessageHandler(previous);
    EXPECT_EQ(messages, QStringList({path + QStringLiteral(" MissingImage"), QStringLiteral("UnknownFormat")}));
}

// Files that name as much work as their format allows. Each is refused or read cheaply; the
// benchmark bench_hostile measures their time and memory.
TEST(HostileFiles, GroupsNamingTensOfThousandsOfImagesAreRefused)
{
    for (const Bytes& file : {peGroupOfManyImages(), neGroupOfManyImages()}) {
        const bw::ByteReader r = readerOf(file);
        EXPECT_EQ(bw::iconCount(r), 1);
        EXPECT_TRUE(bw::extractIcon(r, 0).isNull());
        EXPECT_EQ(bw::lastReadError(), Why::TooManyImages);
    }
}

TEST(HostileFiles, AnimatedCursorsAndAppleIconsThatLie)
{
    const struct {
        const char* name;
        Bytes file;
        QRgb colour; // of the picture, 0 for none
        Why why;
    } cases[] = {
        {"a million chunks", aniOfManyChunks(), qRgb(0, 128, 0), Why::None},
        {"1024 frames of 256 images", aniOfFramesOfManyImages(), qRgb(0, 0, 255), Why::None},
        {"1024 PNGs of 1024^2", aniOfPngBombs(), qRgb(40, 80, 120), Why::None},
        {"sequence starting at the second frame", aniShowingFrame(1), qRgb(0, 0, 255), Why::None},
        {"sequence past the frames", aniShowingFrame(2), 0, Why::BadChunk},
        {"a later frame that is no icon", aniFile({iconFile({dib(qRgb(0, 0, 255), 4)}), {0, 0, 1, 0, 9, 0}}), qRgb(0, 0, 255), Why::None},
        {"256 PNGs of 1024^2", icnsOfPngBombs(), qRgb(40, 80, 120), Why::None},
        {"255 images sharing a mask of 30 MB", icnsOfImagesSharingAHugeMask(), qRgb(40, 80, 120), Why::None},
        {"element of length 0", icnsThatLies(IcnsLie::ElementOfLengthZero), 0, Why::BadChunk},
        {"element past the end", icnsThatLies(IcnsLie::ElementPastEnd), 0, Why::BadChunk},
        {"file length cutting an element", icnsThatLies(IcnsLie::FileLengthCutsElement), 0, Why::BadChunk},
        {"file length past the end", icnsThatLies(IcnsLie::FileLengthPastEnd), qRgb(40, 80, 120), Why::None},
        {"old image of 4 MB", icnsThatLies(IcnsLie::OldImageOfHugeLength), qRgb(40, 80, 120), Why::None},
        {"contents claiming a huge image", icnsThatLies(IcnsLie::ContentsClaimingHugeImage), qRgb(40, 80, 120), Why::None},
        {"empty element before a PNG of 2048^2", icnsThatLies(IcnsLie::EmptyElementBeforeLargePng), qRgb(40, 80, 120), Why::None},
        {"element of 2 GB past the file length", icnsThatLies(IcnsLie::ElementPastFileLength), qRgb(40, 80, 120), Why::None},
    };
    for (const auto& c : cases) {
        const bw::ByteReader r = readerOf(c.file);
        const QImage icon = bw::extractIcon(r, 0);
        EXPECT_EQ(bw::lastReadError(), c.why) << c.name;
        EXPECT_EQ(icon.isNull() ? 0 : icon.pixel(16, 16), c.colour) << c.name;
        qint64 pixels = 0;
        const std::vector<bw::IconImageInfo> images = bw::iconImages(r, 0);
        for (const bw::IconImageInfo& image : images) {
            pixels += static_cast<qint64>(image.picture.width()) * image.picture.height();
            EXPECT_LE(std::max(image.picture.width(), image.picture.height()), bw::kMaxIconImageEdge) << c.name;
        }
        EXPECT_LE(pixels, bw::kMaxListedPixels) << c.name;
        // Frames or images left out of a list that has some are no reason to report.
        EXPECT_EQ(bw::lastReadError() == Why::None, !images.empty()) << c.name;
        exerciseAll(c.file);
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

// Bitmaps cost no more than their file holds: claims that a small file cannot hold are refused
// before anything is allocated; large pictures the file really holds are read, whole or reduced.
TEST(HostileFiles, BitmapsCostNoMoreThanTheirFileHolds)
{
    // One row of 60 M pixels in a file of a few bytes: no row may be missing, not even the last.
    Bytes oneRow = bmpFile(solid(qRgb(0, 0, 0), 8, 1), BmpKind::Bits1);
    set32(oneRow, 18, 60'000'000);
    // Found by fuzzing: a width and height near 2^31 at 32 bits made the size check itself overflow.
    const Bytes hugeRows = {'B',  'M',  0x3a, 0x00, 0x04, 0x00, 0x00, 0x00, 0x00, 0x28, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                            0x00, 0x40, 0x00, 0x5a, 0x9b, 0x0a, 0x00, 0x40, 0x60, 0x00, 0x00, 0x20, 0x00, 0x00, 0x00, 0xff};
    // The same sizes under a 40-byte header reach the check of the rows against the file.
    Bytes sized = hugeRows;
    sized.resize(64, 0);
    set32(sized, 14, 40);
    set32(sized, 30, 0); // no compression
    sized[21] = 0x7b;    // a positive width
    const struct {
        const char* name;
        Bytes file;
        Why why;
        QRgb colour; // of a picture read, 0 for any
    } cases[] = {
        {"run-length coded, claiming 5792^2", rleBitmapClaiming(5792), Why::TooLarge, 0},
        {"rows of 8000^2 missing", shortBitmapClaiming(8000), Why::TruncatedImage, 0},
        {"rows of 100000^2 missing", shortBitmapClaiming(100000), Why::TruncatedImage, 0},
        {"one row of 60 M pixels", oneRow, Why::TruncatedImage, 0},
        {"huge rows, header size 0", hugeRows, Why::BadImageHeader, 0},
        {"huge rows times huge height", sized, Why::TruncatedImage, 0},
        {"run-length coded within the cap", rleBitmapClaiming(1024), Why::None, 0},
        {"1600 x 1200", bmpFile(solid(qRgb(10, 120, 200), 1600, 1200), BmpKind::Bits24), Why::None, qRgb(10, 120, 200)},
        {"2000 x 1500 run-length coded", bmpFile(solid(qRgb(0, 0, 255), 2000, 1500), BmpKind::Rle8), Why::None, 0},
    };
    for (const auto& c : cases)
        for (const bool largest : {false, true}) {
            SCOPED_TRACE(testing::Message() << c.name << (largest ? ", largest" : ""));
            const QImage icon = largest ? bw::extractLargestIcon(readerOf(c.file), 0) : bw::extractIcon(readerOf(c.file), 0);
            EXPECT_EQ(bw::lastReadError(), c.why);
            EXPECT_EQ(icon.isNull(), c.why != Why::None);
            EXPECT_EQ(bw::iconCount(readerOf(c.file)), 1); // a bitmap is one icon, however it lies
            if (c.colour) {
                EXPECT_EQ(icon.pixel(16, 16), c.colour);
            }
        }
}
