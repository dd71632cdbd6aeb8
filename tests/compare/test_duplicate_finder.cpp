// The duplicate finder: its result must be exactly that of comparing every pair in order, which
// a plain loop kept here computes on the same catalogues.

#include "catalogue/Catalogue.h"
#include "compare/CollectionPictures.h"
#include "compare/DuplicateFinder.h"
#include "compare/NeighbourIndex.h"
#include "compare/PictureStore.h"
#include "support/Funky.h"
#include "support/Pacer.h"
#include "support/TestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <functional>
#include <map>
#include <numeric>
#include <random>
#include <set>
#include <tuple>

using namespace bw;

namespace {

constexpr QRgb kBackground = qRgb(212, 208, 200);

using Pair = std::pair<std::int32_t, std::int32_t>;

// Records everything a run tells its window, in one ordered log. The threshold and the cancel
// flag change when the log reaches given list lines, at the pump of a given pair's progress step,
// or at the n-th pump, as a user's action during a pump would.
class RecordingHost final : public CompareHost {
public:
    int currentThreshold = 5;
    bool cancel = false;
    bool silent = false;
    std::map<int, int> thresholdAfterLine; // list line count -> new threshold
    int cancelAfterLine = -1;
    Pair cancelAtPair {};
    int thresholdAtPair = 0; // with that cancel, a new threshold
    int cancelAtPump = -1;
    QStringList log;
    int lines = 0;
    int pumps = 0;
    int finishedWith = -1;
    QStringList memoryReports;

    int threshold() override { return currentThreshold; }
    bool cancelled() override { return cancel; }
    bool soundOff() override { return silent; }
    void playWav(const QString& name, int mode) override { log << QStringLiteral("sound %1 %2").arg(name).arg(mode); }
    void pumpMessages() override
    {
        ++pumps;
        if (const auto it = thresholdAfterLine.find(lines); it != thresholdAfterLine.end()) {
            currentThreshold = it->second;
            thresholdAfterLine.erase(it);
        }
        if (lines == cancelAfterLine || pumps == cancelAtPump)
            cancel = true;
        if (shown == cancelAtPair && shown.first) {
            cancel = true;
            currentThreshold = thresholdAtPair ? thresholdAtPair : currentThreshold;
        }
        shown = {};
    }
    std::int64_t tickCount() override { return 0; }
    void runStarting(const PictureSource&) override { log << QStringLiteral("start"); }
    void runFinished(int found) override { finishedWith = found; }
    void listDefective(std::int32_t, std::string_view path) override { addLine(defectiveLine(path)); }
    void listDuplicate(std::int32_t entry, std::string_view path) override { addLine(duplicateLine(entry, path)); }
    void showProgress(std::int32_t i, std::int32_t j, std::int64_t) override { shown = {i, j}; }
    void showPictures(std::int32_t, std::int32_t) override {}
    void showDuplicateCount(int) override {}
    void reportNoMemory(const QString& text) override { memoryReports << text; }

private:
    void addLine(const QString& text)
    {
        ++lines;
        log << text;
    }
    Pair shown {}; // the pair whose progress step comes before the next pump
};

using Pictures = std::vector<QImage>; // index n: entry n's icon; null: cannot be loaded

IconLoader loaderFor(const Pictures& pictures)
{
    return [&pictures](std::string_view path, int) {
        return pictures[static_cast<std::size_t>(std::stoi(std::string(path.substr(path.rfind('/') + 1))))];
    };
}

void fillCatalogue(Catalogue& catalogue, std::size_t count, const std::vector<std::uint8_t>& marks)
{
    for (std::size_t n = 1; n <= count; ++n) {
        catalogue.appendEntry("/icons/" + std::to_string(n) + ".ico", 0);
        catalogue[static_cast<std::int32_t>(n)].marked = marks[n];
    }
}

// The comparison as a loop over every pair, step by step, loading an icon at every step that
// names a load.
int plainRun(Catalogue& catalogue, CompareHost& host, const IconLoader& loader, QRgb background)
{
    const std::int32_t count = catalogue.entryCount();
    QImage scratch;
    std::vector<Samples> store(static_cast<std::size_t>(count) + 1);
    const auto load = [&](std::int32_t n) {
        scratch = loader(catalogue[n].path(), catalogue[n].iconIndex);
        if (!scratch.isNull())
            return true;
        catalogue[n].marked = 1;
        if (!host.soundOff())
            host.playWav(QStringLiteral("fehler"), 0);
        host.listDefective(n, catalogue[n].path());
        host.pumpMessages();
        return false;
    };
    int found = 0;
    Pacer refresh(kCompareRefreshMs);
    struct NoPictures final : PictureSource {
        QImage picture(std::int32_t) const override { return {}; }
    } noPictures;
    host.runStarting(noPictures);
    for (std::int32_t i = 1; i < count; ++i) {
        if (host.cancelled())
            break;
        if (!load(i) && i > 1)
            continue;
        if (i == 1) {
            catalogue[1].marked = 0;
            load(1);
            capturePicture(scratch, background, store[1]);
        }
        const bool captureOnly = catalogue[i].marked != 0;
        if (captureOnly && i > 1)
            continue;
        for (std::int32_t j = i + 1; j <= count; ++j) {
            if (host.cancelled())
                break;
            if (i == 1) {
                catalogue[j].marked = 0;
                load(j);
                capturePicture(scratch, background, store[static_cast<std::size_t>(j)]);
            }
            if (refresh.due(host.tickCount()) || count < kEveryPairBelow) {
                host.showProgress(i, j, 0);
                host.pumpMessages();
                refresh.refreshed(host.tickCount());
            }
            if (captureOnly)
                continue;
            int differences = 0;
            for (int k = 0; k < kSampleCount; ++k)
                differences += store[static_cast<std::size_t>(i)][static_cast<std::size_t>(k)]
                    != store[static_cast<std::size_t>(j)][static_cast<std::size_t>(k)];
            if (differences >= host.threshold())
                continue;
            if (!load(i) || !load(j))
                continue;
            ++found;
            catalogue[j].marked = 1;
            host.listDuplicate(j, catalogue[j].path());
            host.pumpMessages();
            if (!host.soundOff())
                host.playWav(QStringLiteral("ping"), 0);
        }
    }
    host.runFinished(found);
    host.playWav(QStringLiteral("fertig"), 0);
    return found;
}

// Catalogues of icons with large transparent areas and a few colours, so that many pictures
// share blocks, with near-duplicates at distances 0 to 6, chains and defective entries.
class Generator {
public:
    explicit Generator(unsigned seed) : m_random(seed) {}

    QImage fresh()
    {
        QImage icon(32, 32, QImage::Format_ARGB32);
        icon.fill(qRgba(0, 0, 0, 0));
        const int shapes = pick(1, 3);
        for (int s = 0; s < shapes; ++s) {
            const int x0 = pick(0, 24), y0 = pick(0, 24), w = pick(3, 12), h = pick(3, 12);
            const QRgb colour = kColours[static_cast<std::size_t>(pick(0, kColours.size() - 1))];
            for (int y = y0; y < std::min(32, y0 + h); ++y)
                for (int x = x0; x < std::min(32, x0 + w); ++x)
                    icon.setPixel(x, y, colour);
        }
        return icon;
    }

    // A copy of `icon` whose picture differs in exactly `distance` pixels.
    QImage near(const QImage& icon, int distance)
    {
        QImage copy = icon.copy();
        std::set<int> changed;
        while (static_cast<int>(changed.size()) < distance) {
            const int position = pick(0, 1023);
            if (!changed.insert(position).second)
                continue;
            const int x = position / 32, y = position % 32;
            const QRgb old = copy.pixel(x, y);
            // Opaque, and neither the old colour nor the background: a real difference.
            QRgb colour;
            do
                colour = qRgb(pick(0, 3) * 80, pick(0, 3) * 80, pick(0, 3) * 80);
            while (colour == (old | 0xFF000000u) || colour == (kBackground | 0xFF000000u));
            copy.setPixel(x, y, colour);
        }
        return copy;
    }

    Pictures catalogue(int count, int defectives)
    {
        Pictures pictures(static_cast<std::size_t>(count) + 1);
        for (int n = 1; n <= count; ++n) {
            const int kind = pick(0, 9);
            if (n > 1 && kind < 4)
                pictures[static_cast<std::size_t>(n)] = near(earlierLoaded(pictures, n), pick(0, 6));
            else if (n > 2 && kind == 4)
                pictures[static_cast<std::size_t>(n)] = chainMiddle(pictures, n);
            else if (kind == 5)
                pictures[static_cast<std::size_t>(n)] = halfTransparent(fresh());
            else
                pictures[static_cast<std::size_t>(n)] = kind == 6 ? transparent() : fresh();
        }
        // Defective entries at the start, the end and in between.
        for (int d = 0; d < defectives; ++d) {
            const int n = d == 0 ? 1 : d == 1 ? count : pick(2, count - 1);
            pictures[static_cast<std::size_t>(n)] = QImage();
        }
        return pictures;
    }

    std::vector<std::uint8_t> randomMarks(int count)
    {
        std::vector<std::uint8_t> marks(static_cast<std::size_t>(count) + 1);
        for (auto& m : marks)
            m = static_cast<std::uint8_t>(pick(0, 3) == 0);
        return marks;
    }

    int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(m_random); }
    int pick(int low, std::size_t high) { return pick(low, static_cast<int>(high)); }

private:
    static inline const std::vector<QRgb> kColours
        = {qRgb(255, 0, 0), qRgb(0, 0, 255), qRgb(0, 128, 0), qRgb(0, 0, 0), qRgb(255, 255, 255)};

    static QImage transparent()
    {
        QImage icon(32, 32, QImage::Format_ARGB32);
        icon.fill(qRgba(0, 0, 0, 0));
        return icon;
    }
    static QImage halfTransparent(QImage icon)
    {
        for (int y = 0; y < 32; y += 2)
            for (int x = 0; x < 32; ++x)
                if (qAlpha(icon.pixel(x, y)) == 255)
                    icon.setPixel(x, y, (icon.pixel(x, y) & 0xFFFFFFu) | 0x80000000u);
        return icon;
    }
    QImage earlierLoaded(const Pictures& pictures, int n)
    {
        const QImage& earlier = pictures[static_cast<std::size_t>(pick(1, n - 1))];
        return earlier.isNull() ? fresh() : earlier;
    }
    // A picture between two earlier ones that are further apart: close to both.
    QImage chainMiddle(Pictures& pictures, int n)
    {
        const QImage a = earlierLoaded(pictures, n);
        QImage b = near(a, 8);
        pictures[static_cast<std::size_t>(n - 1)] = b;
        QImage middle = a.copy();
        int switched = 0;
        for (int x = 0; x < 32 && switched < 4; ++x)
            for (int y = 0; y < 32 && switched < 4; ++y)
                if (a.pixel(x, y) != b.pixel(x, y)) {
                    middle.setPixel(x, y, b.pixel(x, y));
                    ++switched;
                }
        return middle;
    }

    std::mt19937 m_random;
};

struct Scenario {
    int count = 150;
    int defectives = 3;
    int threshold = 5;
    std::map<int, int> thresholdAfterLine {};
    int cancelAfterLine = -1;
    bool silent = false;
    std::int32_t everyPairBelow = 0; // the filtered path even on small catalogues
    Pair cancelAtPair {};            // made a duplicate: the later entry gets the icon of the earlier
    int thresholdAtPair = 0;
    std::int32_t prefetchAhead = 0; // 0: the engine's own
};

// Runs the engine and the plain loop on the same generated catalogue and demands the same log,
// marks and count.
void expectSameAsPlainLoop(unsigned seed, const Scenario& scenario)
{
    SCOPED_TRACE(::testing::Message() << "seed " << seed << " threshold " << scenario.threshold << " count " << scenario.count);
    Generator generator(seed);
    Pictures pictures = generator.catalogue(scenario.count, scenario.defectives);
    if (const auto [i, j] = scenario.cancelAtPair; i)
        pictures[static_cast<std::size_t>(j)] = pictures[static_cast<std::size_t>(i)];
    const std::vector<std::uint8_t> marks = generator.randomMarks(scenario.count);

    const auto makeHost = [&](RecordingHost& host) {
        host.currentThreshold = scenario.threshold;
        host.thresholdAfterLine = scenario.thresholdAfterLine;
        host.cancelAfterLine = scenario.cancelAfterLine;
        host.cancelAtPair = scenario.cancelAtPair;
        host.thresholdAtPair = scenario.thresholdAtPair;
        host.silent = scenario.silent;
    };
    Catalogue expectedCatalogue(scenario.count);
    fillCatalogue(expectedCatalogue, static_cast<std::size_t>(scenario.count), marks);
    RecordingHost expected;
    makeHost(expected);
    const int expectedFound = plainRun(expectedCatalogue, expected, loaderFor(pictures), kBackground);

    Catalogue catalogue(scenario.count);
    fillCatalogue(catalogue, static_cast<std::size_t>(scenario.count), marks);
    RecordingHost actual;
    makeHost(actual);
    CompareOptions options;
    options.loader = loaderFor(pictures);
    options.background = kBackground;
    options.threads = 2;
    options.everyPairBelow = scenario.everyPairBelow;
    if (scenario.prefetchAhead)
        options.prefetchAhead = scenario.prefetchAhead;
    const CompareResult result = findDuplicates(catalogue, actual, options);

    EXPECT_TRUE(result.started);
    EXPECT_EQ(result.duplicatesFound, expectedFound);
    EXPECT_EQ(actual.finishedWith, expectedFound);
    ASSERT_EQ(actual.log, expected.log);
    for (std::int32_t n = 1; n <= scenario.count; ++n)
        ASSERT_EQ(catalogue[n].marked, expectedCatalogue[n].marked) << "entry " << n;
    if (scenario.count < kEveryPairBelow && scenario.everyPairBelow == kEveryPairBelow) {
        EXPECT_EQ(actual.pumps, expected.pumps);
    }
    if (const std::int32_t j = scenario.cancelAtPair.second) { // the run reached the pair and stopped after it
        EXPECT_EQ(expected.log.filter(QStringLiteral("DOPPELT")).last(), duplicateLine(j, "/icons/" + std::to_string(j) + ".ico"));
    }
}

// Stores picture `s` and keeps its samples unless the store holds an equal picture already, so
// that kept[id] is picture id's samples.
void keepIfNew(PictureStore& store, std::vector<Samples>& kept, const Samples& s)
{
    EncodedPicture encoded;
    encodePicture(s, store.background(), encoded);
    if (store.add(encoded) == kept.size())
        kept.push_back(s);
}

// At the edge of an index of `blocks` blocks: copies of `base` that agree with it on one block
// alone, each block in turn, and one that agrees on none; each has one sample changed in every
// block it does not agree on.
std::vector<Samples> copiesAgreeingOnOneBlock(const Samples& base, int blocks)
{
    const BlockLayout layout(blocks);
    std::vector<std::uint32_t> before(static_cast<std::size_t>(blocks)), after(before.size());
    layout.hashAll(base, before.data());
    std::vector<Samples> copies(before.size() + 1, base);
    std::vector<bool> changed(before.size());
    for (std::size_t k = 0; k < kSampleCount; ++k) {
        Samples one = base;
        one[k] = 0x777777u;
        layout.hashAll(one, after.data());
        const auto block = static_cast<std::size_t>(std::mismatch(before.begin(), before.end(), after.begin()).first - before.begin());
        if (block == changed.size() || changed[block])
            continue; // the block has its changed sample already
        changed[block] = true;
        for (std::size_t agreeing = 0; agreeing < copies.size(); ++agreeing)
            if (agreeing != block)
                copies[agreeing][k] = one[k];
    }
    return copies;
}

} // namespace

TEST(DuplicateFinder, SameAsEveryPairAtEachThreshold)
{
    for (const int threshold : {0, 1, 2, 5, 7, 64, 200, 1023, 1024})
        for (unsigned seed = 1; seed <= 4; ++seed)
            expectSameAsPlainLoop(seed * 7919u + static_cast<unsigned>(threshold), {.threshold = threshold});
}

TEST(DuplicateFinder, SameAsEveryPairOnLargerCataloguesAndWithoutDefects)
{
    for (unsigned seed = 10; seed < 14; ++seed) {
        expectSameAsPlainLoop(seed, {.count = 400, .defectives = 0, .threshold = 5});
        expectSameAsPlainLoop(seed, {.count = 300, .defectives = 6, .threshold = 3, .silent = true});
    }
}

TEST(DuplicateFinder, SmallCataloguesCompareEveryPairWithProgressAtEachPair)
{
    for (unsigned seed = 20; seed < 24; ++seed)
        expectSameAsPlainLoop(seed, {.count = 40, .threshold = 5, .everyPairBelow = kEveryPairBelow});
    expectSameAsPlainLoop(25, {.count = 99, .threshold = 64, .thresholdAfterLine = {{3, 1}}, .everyPairBelow = kEveryPairBelow});
}

TEST(DuplicateFinder, ThresholdMovedDuringARunAppliesFromTheNextPair)
{
    for (unsigned seed = 30; seed < 34; ++seed) {
        expectSameAsPlainLoop(seed, {.threshold = 5, .thresholdAfterLine = {{4, 64}, {30, 2}}});
        expectSameAsPlainLoop(seed, {.threshold = 64, .thresholdAfterLine = {{10, 1}, {12, 1024}, {400, 5}}});
        expectSameAsPlainLoop(seed, {.threshold = 1, .thresholdAfterLine = {{2, 300}, {60, 6}}});
    }
}

TEST(DuplicateFinder, CancelKeepsTheMarksOfEntriesNotYetVisited)
{
    for (unsigned seed = 40; seed < 44; ++seed) {
        // Early: within the capture; later: among the references.
        expectSameAsPlainLoop(seed, {.defectives = 6, .cancelAfterLine = 3});
        expectSameAsPlainLoop(seed, {.threshold = 64, .cancelAfterLine = 40});
    }
}

// A cancel, alone or with a new threshold, in the pump of a pair's progress step: that pair is
// still compared and recorded. The pairs: a reference's first pair, or a later candidate.
TEST(DuplicateFinder, CancelInAPairsPumpStillRecordsThatPair)
{
    const std::tuple<unsigned, Pair, int> cases[]
        = {{50, {14, 15}, 0}, {51, {30, 31}, 0}, {52, {22, 23}, 64}, {53, {20, 45}, 64}, {54, {9, 70}, 0}};
    for (const auto& [seed, pair, threshold] : cases)
        expectSameAsPlainLoop(seed, {.count = 90, .defectives = 0, .cancelAtPair = pair, .thresholdAtPair = threshold});
}

// A large catalogue shows its progress only now and then (here never: the clock stands still), but
// the run pumps at every entry of the capture and at every reference, and a cancel stops it there.
TEST(DuplicateFinder, ARunPumpsAtEveryEntrySoACancelIsSeenAtOnce)
{
    constexpr int count = 150;
    Generator generator(60);
    Pictures pictures(count + 1);
    for (std::size_t n = 1; n <= count; ++n)
        (pictures[n] = generator.fresh()).setPixel(0, 0, qRgb(static_cast<int>(n), 1, 2)); // all different
    // {cancel at pump, pumps, entries the capture visited}
    for (const auto& [cancelAtPump, pumps, visited] : {std::tuple {-1, 2 * count - 3, count}, {10, 10, 11}, {160, 160, count}}) {
        Catalogue catalogue(count);
        fillCatalogue(catalogue, count, std::vector<std::uint8_t>(count + 1, 1));
        RecordingHost host;
        host.currentThreshold = 1;
        host.cancelAtPump = cancelAtPump;
        findDuplicates(catalogue, host, {.loader = loaderFor(pictures)});
        EXPECT_EQ(host.pumps, pumps);
        int cleared = 0;
        for (std::int32_t n = 1; n <= count; ++n)
            cleared += catalogue[n].marked ? 0 : 1;
        EXPECT_EQ(cleared, visited);
    }
}

TEST(DuplicateFinder, ExamplesOfThreeIdenticalAndOfAChain)
{
    Catalogue catalogue(3);
    fillCatalogue(catalogue, 3, {0, 1, 1, 0});
    Generator generator(1);
    const QImage a = generator.fresh();
    Pictures same = {QImage(), a, a, a};
    RecordingHost host;
    CompareOptions options;
    options.loader = loaderFor(same);
    options.background = kBackground;
    EXPECT_EQ(findDuplicates(catalogue, host, options).duplicatesFound, 2);
    EXPECT_EQ(host.log,
              QStringList(
                  {"start", "DOPPELT: 2 -> /icons/2.ico", "sound ping 0", "DOPPELT: 3 -> /icons/3.ico", "sound ping 0", "sound fertig 0"}));
    EXPECT_FALSE(catalogue[1].marked);

    // 3 is close to 1 and to 2, which are far apart: it is recorded twice.
    const QImage b = generator.near(a, 8);
    QImage middle = a.copy();
    int switched = 0;
    for (int x = 0; x < 32; ++x)
        for (int y = 0; y < 32; ++y)
            if (a.pixel(x, y) != b.pixel(x, y) && switched++ < 4)
                middle.setPixel(x, y, b.pixel(x, y));
    Pictures chain = {QImage(), a, b, middle};
    RecordingHost chainHost;
    options.loader = loaderFor(chain);
    options.everyPairBelow = 0;
    EXPECT_EQ(findDuplicates(catalogue, chainHost, options).duplicatesFound, 2);
    EXPECT_EQ(chainHost.log.filter(QStringLiteral("DOPPELT")), QStringList({"DOPPELT: 3 -> /icons/3.ico", "DOPPELT: 3 -> /icons/3.ico"}));
}

TEST(DuplicateFinder, OneEntryComparesNothingAndTooLittleMemoryStartsNothing)
{
    Catalogue catalogue(2);
    catalogue.appendEntry("/icons/1.ico", 0);
    catalogue[1].marked = 1;
    Pictures pictures = {QImage(), QImage()};
    RecordingHost host;
    CompareOptions options;
    options.loader = loaderFor(pictures);
    EXPECT_EQ(findDuplicates(catalogue, host, options).duplicatesFound, 0);
    EXPECT_EQ(host.log, QStringList({"start", "sound fertig 0"}));
    EXPECT_TRUE(catalogue[1].marked); // never visited

    RecordingHost refused;
    options.memoryLimit = 8;
    const CompareResult result = findDuplicates(catalogue, refused, options);
    EXPECT_FALSE(result.started);
    EXPECT_EQ(refused.memoryReports.size(), 1);
    EXPECT_TRUE(refused.log.isEmpty());
    EXPECT_EQ(refused.finishedWith, -1);
}

TEST(DuplicateFinder, ReadsRealIconFiles)
{
    QTemporaryDir dir;
    const std::string base = dir.path().toStdString() + "/";
    testutil::writeFile(base + "a.ico", testutil::solidIcon(qRgb(255, 0, 0)));
    testutil::writeFile(base + "b.ICO", testutil::solidIcon(qRgb(255, 0, 0), 4));
    testutil::writeFile(base + "c.ico", {1, 2, 3});
    testutil::writeFile(base + "d.ico", testutil::solidIcon(qRgb(0, 0, 255)));
    Catalogue catalogue(4);
    for (const char* name : {"a.ico", "b.ICO", "c.ico", "d.ico"})
        catalogue.appendEntry(base + name, 0);
    EXPECT_EQ(compareRefusal(catalogue), QString());
    RecordingHost host;
    host.silent = true;
    CompareOptions options;
    options.background = kBackground;
    EXPECT_EQ(findDuplicates(catalogue, host, options).duplicatesFound, 1);
    EXPECT_EQ(host.log,
              QStringList({"start", "DOPPELT: 2 -> " + QString::fromStdString(base) + "b.ICO",
                           // first in the capture, then at its own turn as a reference
                           "  DEFEKT: " + QString::fromStdString(base) + "c.ico", "  DEFEKT: " + QString::fromStdString(base) + "c.ico",
                           "sound fertig 0"}));
    EXPECT_EQ(QVector<int>({catalogue[1].marked, catalogue[2].marked, catalogue[3].marked, catalogue[4].marked}),
              QVector<int>({0, 1, 1, 0}));
}

TEST(DuplicateFinder, MenuCheckAndThresholdText)
{
    Catalogue catalogue(3);
    EXPECT_EQ(compareRefusal(catalogue), QStringLiteral("Keine Symbole geladen !"));
    catalogue.appendEntry("/x/A.CUR", 0);
    catalogue.appendEntry("/x/shell32.dll", 0);
    EXPECT_EQ(compareRefusal(catalogue), QStringLiteral("Es sollten nur Icon+Curser Dateien verglichen werden !"));
    const std::map<int, QString> examples
        = {{5, "0,5"}, {10, "1"}, {1, "0,1"}, {50, "4,9"}, {51, "5"}, {1023, "99,9"}, {1024, "100"}, {0, "0"}};
    for (const auto& [n, percent] : examples)
        EXPECT_EQ(thresholdText(n), "Pixeldifferrenz: " + percent + "% = " + QString::number(n));
}

TEST(PictureStore, KeepsEachPictureOnceAndDecodesItExactly)
{
    std::mt19937 random(5);
    PictureStore store(0x00C8D0D4);
    std::vector<Samples> kept;
    for (const int colours : {1, 2, 3, 255, 256, 257, 1024}) {
        Samples s;
        for (int k = 0; k < kSampleCount; ++k)
            s[static_cast<std::size_t>(k)] = k < colours
                ? static_cast<std::uint32_t>(k) * 16411u % 0xFFFFFFu
                : static_cast<std::uint32_t>(random() % static_cast<unsigned>(colours)) * 16411u % 0xFFFFFFu;
        EncodedPicture encoded;
        encodePicture(s, 0x00C8D0D4, encoded);
        EXPECT_EQ(encoded.colours, colours);
        EXPECT_EQ(store.add(encoded), kept.size());
        EXPECT_EQ(store.add(encoded), kept.size()); // the same picture again is not stored again
        kept.push_back(s);
    }
    for (std::uint32_t id = 0; id < kept.size(); ++id) {
        Samples decoded;
        store.decode(id, decoded.data());
        EXPECT_EQ(decoded, kept[id]);
        // Exactly at the boundary: the distance to itself with k changes.
        for (const int changes : {0, 1, 4, 5, 1023, 1024}) {
            Samples other = kept[id];
            for (int k = 0; k < changes; ++k)
                other[static_cast<std::size_t>(k)] ^= 0x800000u;
            EXPECT_EQ(store.closerThan(other.data(), id, changes), false);
            if (changes < kSampleCount) {
                EXPECT_TRUE(store.closerThan(other.data(), id, changes + 1));
            }
        }
    }
}

// The bounds the candidate filter draws from colours and background never cut below the true
// count, so that no close pair is ever dropped; pictures of few, shared colours make them tight.
TEST(PictureStore, ColourAndBackgroundBoundsHoldForEveryPair)
{
    constexpr std::uint32_t background = 0x00C8D0D4;
    std::mt19937 random(11);
    PictureStore store(background);
    std::vector<Samples> kept;
    for (int n = 0; n < 40; ++n) {
        Samples s;
        const unsigned colours = 1 + static_cast<unsigned>(n % 7) * 40;
        for (std::uint32_t& v : s)
            v = random() % 3 == 0 ? background : static_cast<std::uint32_t>(random() % colours) * 0x010203u;
        if (n % 10 == 9)
            s.fill(background);
        keepIfNew(store, kept, s);
    }
    ColourCounts counts;
    for (const Samples& reference : kept) {
        counts.count(reference.data(), background);
        BackgroundMask referenceMask;
        backgroundMaskOf(reference, background, referenceMask);
        for (std::uint32_t id = 0; id < kept.size(); ++id) {
            const Samples& other = kept[id];
            int agreements = 0;
            int backgroundAgreements = 0;
            int backgroundDifferences = 0;
            for (std::size_t k = 0; k < reference.size(); ++k) {
                agreements += reference[k] == other[k] ? 1 : 0;
                backgroundAgreements += reference[k] == background && other[k] == background ? 1 : 0;
                backgroundDifferences += (reference[k] == background) != (other[k] == background) ? 1 : 0;
            }
            EXPECT_GE(store.agreementBound(counts, id, kSampleCount + 1), agreements - backgroundAgreements);
            BackgroundMask mask;
            backgroundMaskOf(other, background, mask);
            int both = 0;
            int onlyOne = 0;
            for (std::size_t w = 0; w < mask.size(); ++w) {
                both += std::popcount(mask[w] & referenceMask[w]);
                onlyOne += std::popcount(mask[w] ^ referenceMask[w]);
            }
            EXPECT_EQ(both, backgroundAgreements);
            EXPECT_EQ(onlyOne, backgroundDifferences);
        }
        counts.forget(reference.data());
    }
}

TEST(PictureCapture, DrawsOverTheBackgroundColumnByColumn)
{
    QImage icon(32, 32, QImage::Format_ARGB32);
    icon.fill(qRgba(0, 0, 0, 0));
    icon.setPixel(1, 0, qRgb(255, 0, 0));
    icon.setPixel(0, 1, qRgba(0, 0, 255, 128));
    Samples samples;
    capturePicture(icon, kBackground, samples);
    EXPECT_EQ(samples[32], 0xFF0000u); // x = 1, y = 0
    const QRgb blended = qRgb((212 * 127 + 127) / 255, (208 * 127 + 127) / 255, (255 * 128 + 200 * 127 + 127) / 255);
    EXPECT_EQ(samples[1], blended & 0xFFFFFFu); // x = 0, y = 1, half transparent
    EXPECT_EQ(samples[0], kBackground & 0xFFFFFFu);
    capturePicture(QImage(), kBackground, samples);
    EXPECT_EQ(std::count(samples.begin(), samples.end(), kBackground & 0xFFFFFFu), kSampleCount);
    EXPECT_EQ(pictureImage(samples).pixel(5, 7), kBackground | 0xFF000000u);
}

// The helper that works out candidates ahead reuses its slots every few entries; marks made
// meanwhile and threshold changes must leave the result that of the plain loop.
TEST(DuplicateFinder, CandidatesWorkedOutAheadInAFewSlots)
{
    for (const std::int32_t ahead : {1, 2, 7})
        for (unsigned seed = 60; seed < 63; ++seed) {
            expectSameAsPlainLoop(seed, {.count = 300, .threshold = 64, .prefetchAhead = ahead});
            expectSameAsPlainLoop(seed, {.threshold = 5, .thresholdAfterLine = {{6, 64}}, .prefetchAhead = ahead});
        }
}

namespace {

// What every stored form must give exactly like the plain one: the picture, its background
// mask, a bound on agreements that holds, and the distance to copies with samples changed.
void expectStoredExactly(PictureStore& store, const Samples& s, std::uint32_t background, std::initializer_list<int> changeCounts)
{
    Samples decoded;
    store.decode(0, decoded.data());
    ASSERT_EQ(decoded, s);
    BackgroundMask expectedMask;
    BackgroundMask mask;
    backgroundMaskOf(s, background, expectedMask);
    store.backgroundMask(0, mask);
    EXPECT_EQ(mask, expectedMask);
    int onlyOne = -1;
    int both = -1;
    store.compareMasks(expectedMask, 0, onlyOne, both);
    EXPECT_EQ(onlyOne, 0);
    EXPECT_EQ(both, std::count(s.begin(), s.end(), background));
    ColourCounts counts;
    counts.count(s.data(), background);
    EXPECT_GE(store.agreementBound(counts, 0, kSampleCount + 1), kSampleCount - both);
    for (const int changes : changeCounts) {
        Samples other = s;
        for (int k = 0; k < changes; ++k)
            other[static_cast<std::size_t>(k * 37 % kSampleCount)] ^= 0x400000u;
        EXPECT_FALSE(store.closerThan(other.data(), 0, changes));
        EXPECT_TRUE(store.closerThan(other.data(), 0, changes + 1));
    }
}

} // namespace

// Pictures where a few colours cover most samples keep the rarer colours apart, told by one or
// two escape codes; they must decode and count exactly like any other, and their colours still
// bound the agreements. A colour used once sits at the last sample of each; without common
// colours every other sample has a colour of its own.
TEST(PictureStore, PicturesWithRareColoursDecodeAndCountExactly)
{
    struct Case {
        int common, rare, rareSamples, escapes;
    };
    for (const Case c : std::vector<Case> {{1, 3, 3, 1},
                                           {3, 40, 60, 2},
                                           {3, 40, 80, 2}, // each rare colour twice
                                           {7, 200, 210, 2},
                                           {15, 900, 900, 2},
                                           {2, 30, 700, 0},
                                           {0, 0, 0, 2},
                                           {0, 1, 512, 2},
                                           {0, 8, 1000, 1}}) {
        SCOPED_TRACE(::testing::Message() << c.common << " common colours, " << c.rare << " rare");
        std::mt19937 random(static_cast<unsigned>(c.rare));
        Samples s;
        for (int k = 0; k < kSampleCount; ++k)
            s[static_cast<std::size_t>(k)] = c.common == 0
                ? 0x10000u + static_cast<std::uint32_t>(k)
                : static_cast<std::uint32_t>(random() % static_cast<unsigned>(c.common)) * 0x0101u;
        for (int k = 0; k < c.rareSamples; ++k) // every rare colour at least once, at scattered places
            s[static_cast<std::size_t>(k * 997 % kSampleCount)] = 0x800000u + static_cast<std::uint32_t>(k % c.rare);
        s[kSampleCount - 1] = 0xFFFFFFu;
        constexpr std::uint32_t background = 0x0101; // the second common colour
        EncodedPicture encoded;
        encodePicture(s, background, encoded);
        EXPECT_EQ(encoded.escapes, c.escapes); // only where it saves bytes
        EXPECT_EQ(encoded.mainBits<indexBits(encoded.colours), c.escapes> 0);
        PictureStore store(background);
        store.add(encoded);
        expectStoredExactly(store, s, background, {0, 1, 7, 300, 1024});
    }
}

// Variants of a few bases, each a colour band over an empty picture with up to `changes` samples
// changed (also shifted and recoloured, as collections hold one icon in many versions); the index is built for each case and asked for
// every `step`-th picture. Above ten thousand pictures it builds its lists, and hashes the blocks the capture left out, on two threads.
// With a near copy of each picture, most blocks hold a list per pair: tens of thousands of lists
// a block, whose lengths share two bytes with their hashes.
struct VariantSet {
    std::size_t pictures;
    int bases, band, changes;
    std::uint32_t step;
    std::vector<std::tuple<int, int, bool>> cases; // blocks built, blocks given, lists ordered
    int shift = 0;                                 // each picture's band moved by up to this many samples
    bool recoloured = false;                       // channels in any order, changes in any colour
    bool copies = false;                           // each picture kept with a copy one sample apart
    std::size_t bytesPerPicture = 0;               // the index's tables at most (0: unchecked)
};
class NeighbourIndexOn : public ::testing::TestWithParam<VariantSet> {};
INSTANTIATE_TEST_SUITE_P(
    VariantSets, NeighbourIndexOn,
    ::testing::Values(VariantSet {600, 4, 128, 90, 7, {{5, 5, false}, {64, 40, false}, {5, 2, true}, {64, 0, true}}},
                      VariantSet {12000, 6, 100, 60, 499, {{64, NeighbourIndex::kBlocksFromCapture, true}}},
                      VariantSet {3000, 5, 96, 40, 97, {{64, NeighbourIndex::kBlocksFromCapture, true}, {5, 5, false}}, 3, true},
                      VariantSet {80000, 6, 100, 400, 26669, {{64, 16, true}}, 3, true, true, 230}),
    [](const auto& set) { return std::to_string(set.param.pictures) + "Pictures"; });

// Pictures that share most blocks (variants of a few bases) put many pictures in the same lists;
// the index must still find exactly the pictures closer than the threshold, also after the
// threshold rises above the blocks it was built for.
TEST_P(NeighbourIndexOn, FindsExactlyTheClosePicturesAmongVariantsOfFewBases)
{
    const VariantSet& set = GetParam();
    std::mt19937 random(77);
    PictureStore store(0);
    std::vector<Samples> kept;
    for (int n = 0; kept.size() < set.pictures; ++n) {
        Samples s {};
        const int base = n % set.bases;
        const int moved = set.shift ? static_cast<int>(random() % static_cast<unsigned>(2 * set.shift + 1)) - set.shift : 0;
        const int turn = set.recoloured ? static_cast<int>(random() % 3) * 8 : 0;
        const std::uint32_t colour = 0x102030u * static_cast<std::uint32_t>(base + 1);
        for (int k = 0; k < kSampleCount; ++k)
            s[static_cast<std::size_t>(k)]
                = k >= moved && ((k - moved) / set.band) % set.bases == base ? (colour << turn | colour >> (24 - turn)) & 0xFFFFFFu : 0u;
        for (int d = static_cast<int>(random() % static_cast<unsigned>(set.changes)); d > 0; --d)
            s[random() % kSampleCount]
                = set.recoloured ? static_cast<std::uint32_t>(random()) & 0xFFFFFFu : static_cast<std::uint32_t>(random() % 3) * 0x010101u;
        keepIfNew(store, kept, s);
        if (set.copies) {
            s[random() % kSampleCount] ^= 0x800000u;
            keepIfNew(store, kept, s);
        }
    }
    for (const int blocks : {5, 64})
        for (const Samples& s : copiesAgreeingOnOneBlock(kept[0], blocks))
            keepIfNew(store, kept, s);
    store.endAdding();
    // Last entries all 1, and (lists ordered by them) all different in shuffled order, asked
    // from the start, from past the reference's own, and from halfway.
    std::vector<std::int32_t> sameLast(kept.size(), 1);
    std::vector<std::int32_t> shuffledLast(kept.size());
    std::iota(shuffledLast.begin(), shuffledLast.end(), 1);
    std::shuffle(shuffledLast.begin(), shuffledLast.end(), random);
    // The capture hands over the hashes of some first blocks (or none); the index hashes the rest.
    for (const auto& [built, given, ordered] : set.cases) {
        const std::vector<std::int32_t>& lastEntry = ordered ? shuffledLast : sameLast;
        const BlockLayout layout(built);
        BlockHashes hashes(static_cast<std::size_t>(given), HashColumn(kept.size()));
        std::vector<std::uint32_t> row(static_cast<std::size_t>(built));
        for (std::size_t id = 0; id < kept.size(); ++id) {
            layout.hashAll(kept[id], row.data());
            for (std::size_t b = 0; b < hashes.size(); ++b)
                hashes[b].set(id, row[b]);
        }
        NeighbourIndex index(store, built, std::move(hashes), ordered ? lastEntry.data() : nullptr);
        // A picture with a near copy is in about 60 lists: three bytes for each of its numbers and
        // eight for each list's hash and end would take twice the bound.
        if (set.bytesPerPicture != 0) {
            EXPECT_LE(index.tableBytes(), set.bytesPerPicture * kept.size());
        }
        for (const int threshold : {2, built, 100, 128}) {
            ASSERT_TRUE(index.prepare(threshold));
            for (std::uint32_t reference = 0; reference < kept.size(); reference += set.step) {
                std::vector<int> apart;
                for (const Samples& other : kept)
                    apart.push_back(static_cast<int>(
                        std::inner_product(other.begin(), other.end(), kept[reference].begin(), 0, std::plus<>(), std::not_equal_to<>())));
                for (const std::int32_t from : {0, lastEntry[reference] + 1, static_cast<std::int32_t>(kept.size() / 2)}) {
                    std::vector<std::uint32_t> found;
                    index.closePictures(reference, threshold, lastEntry.data(), from, found);
                    std::sort(found.begin(), found.end());
                    std::vector<std::uint32_t> expected;
                    for (std::uint32_t id = 0; id < kept.size(); ++id)
                        if (lastEntry[id] >= from && apart[id] < threshold)
                            expected.push_back(id);
                    ASSERT_EQ(found, expected) << "picture " << reference << " threshold " << threshold << " built for " << built
                                               << " from " << from << " given " << given;
                }
            }
        }
    }
}

// Decoding fills runs of 64 samples, each all background, without background, or mixed; every
// width of colour numbers, with and without rare colours, must give back each picture exactly.
TEST(PictureStore, DecodesEveryWidthWithAnyMixOfBackgroundRuns)
{
    constexpr std::uint32_t background = 0x00C8D0D4;
    std::mt19937 random(11);
    PictureStore store(background);
    // background at no sample, every third, every other run, all but the last, all
    for (const auto isBackground : {+[](int) { return false; }, +[](int k) { return k % 3 == 0; }, +[](int k) { return k / 64 % 2 == 0; },
                                    +[](int k) { return k < kSampleCount - 1; }, +[](int) { return true; }})
        for (const int colours : {1, 2, 5, 17, 200, 1000})
            for (const bool skewed : {false, true}) { // skewed: three common colours, the rest rare
                Samples s;
                for (int k = 0; k < kSampleCount; ++k) {
                    const auto pick = static_cast<std::uint32_t>(skewed && random() % 8 != 0 ? random() % 3 : random() % colours);
                    s[static_cast<std::size_t>(k)] = isBackground(k) ? background : 0x010000u + pick * 97u;
                }
                EncodedPicture encoded;
                encodePicture(s, background, encoded);
                const std::uint32_t id = store.add(encoded);
                Samples decoded;
                store.decode(id, decoded.data());
                ASSERT_EQ(decoded, s) << colours << " colours, skewed " << skewed << ", background at sample 0 " << isBackground(0);
                EXPECT_TRUE(store.closerThan(s.data(), id, 1));
            }
}

// Noisy pictures take the shorter form: a mask of few runs kept as runs (also when sample 0 is
// not background), colours close to the sample before kept as differences. Every form must
// decode, count and bound exactly like the plain one, and come back whole from a collection's packing.
TEST(PictureStore, ShorterFormsOfNoisyPicturesDecodeAndCountExactly)
{
    constexpr std::uint32_t background = 0x00C8D0D4;
    struct Case {
        const char* what;
        std::function<std::uint32_t(int k, std::mt19937& random)> sample;
        bool runs, near;
    };
    const auto gradient
        = [](int k) { return 0x204060u + static_cast<std::uint32_t>(k % 32) * 0x010201u + static_cast<std::uint32_t>(k / 32); };
    const std::vector<Case> cases {
        {"gradient in a frame, noise",
         [&](int k, std::mt19937& random) {
             return k / 32 < 4 || k / 32 > 27 ? background
                 : random() % 16 == 0         ? static_cast<std::uint32_t>(random() & 0xFFFFFFu)
                                              : gradient(k);
         },
         true, true},
        {"gradient without background", [&](int k, std::mt19937&) { return gradient(k); }, false, true},
        {"background first and last only", [&](int k, std::mt19937&) { return k == 0 || k == kSampleCount - 1 ? background : gradient(k); },
         true, true},
        // each colour follows background: nothing to take differences from
        {"background at every other sample", [&](int k, std::mt19937&) { return k % 2 ? background : gradient(k); }, false, false},
        {"random colours in a frame",
         [&](int k, std::mt19937& random) { return k < 100 ? background : static_cast<std::uint32_t>(random() & 0xFFFFFFu); }, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::mt19937 random(5);
        Samples s;
        for (int k = 0; k < kSampleCount; ++k)
            s[static_cast<std::size_t>(k)] = c.sample(k, random);
        EncodedPicture encoded;
        encodePicture(s, background, encoded);
        EXPECT_EQ((encoded.form & kMaskAsRuns) != 0, c.runs);
        EXPECT_EQ(nearBitsOf(encoded.form) != 0, c.near);
        PictureStore store(background);
        store.add(encoded);
        expectStoredExactly(store, s, background, {0, 1, 63, 64, 65, 500});
        Samples unpacked;
        ASSERT_TRUE(unpackPicture(packPicture(encoded), background, unpacked));
        EXPECT_EQ(unpacked, s);
    }
}

// Bytes from a damaged collection may claim any form: they must decode to some picture without
// reading outside what they were given.
TEST(PictureStore, DamagedBytesOfEveryFormDecodeWithinTheirPadding)
{
    std::mt19937 random(3);
    for (int form = 0; form < 16; ++form)
        for (int round = 0; round < 20; ++round) {
            QByteArray packed(6 + static_cast<int>(random() % 3000), Qt::Uninitialized);
            for (char& byte : packed)
                byte = static_cast<char>(random());
            packed[0] = static_cast<char>(random() % 256);
            packed[1] = static_cast<char>(random() % 5);
            packed[2] = static_cast<char>(random() % 11);
            packed[3] = static_cast<char>(2 | form << 2);
            packed[4] = static_cast<char>(random() % 256);
            packed[5] = static_cast<char>(random() % 5);
            Samples samples;
            unpackPicture(packed, 0x00C8D0D4, samples); // must not read out of bounds
        }
}
