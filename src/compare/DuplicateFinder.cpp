#include "DuplicateFinder.h"

#include "CaptureQueue.h"
#include "NeighbourIndex.h"
#include "PictureStore.h"
#include "catalogue/Indexer.h"
#include "support/Funky.h"

#include <algorithm>
#include <chrono>
#include <memory>
#include <new>

namespace bw {
namespace {

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

class DuplicateRun final : public PictureSource {
public:
    DuplicateRun(Catalogue& catalogue, CompareHost& host, const CompareOptions& options)
        : m_catalogue(catalogue)
        , m_host(host)
        , m_options(options)
        , m_count(catalogue.entryCount())
        , m_everyPair(m_count < options.everyPairBelow)
        , m_store(options.background & 0xFFFFFFu)
    {
    }

    CompareResult run();
    QImage picture(std::int32_t entry) const override;

private:
    bool allocate();
    void firstPass();
    void laterPasses();
    void buildEntryLists();
    void closeEntries(std::int32_t reference, int threshold, std::int32_t from, std::vector<std::int32_t>& out);

    bool progress(std::int32_t i, std::int32_t j, bool withPictures = false);
    void reportDefect(std::int32_t n);
    void recordDuplicate(std::int32_t i, std::int32_t j);

    Catalogue& m_catalogue;
    CompareHost& m_host;
    const CompareOptions& m_options;
    const std::int32_t m_count;
    const bool m_everyPair;
    std::int64_t m_startTick = 0;
    CompareResult m_result;
    PictureStore m_store;
    std::int32_t m_captured = 0;            // entries 1..m_captured have their pictures
    std::vector<std::uint32_t> m_pictureOf; // entry -> picture
    std::vector<std::uint8_t> m_loaded;     // entry -> its icon could be loaded
    std::vector<std::uint32_t> m_firstOf;   // picture -> start of its entries in m_entries
    std::vector<std::int32_t> m_entries;    // entries grouped by picture, ascending in each group
    std::vector<std::int32_t> m_lastEntry;  // picture -> its last entry
    std::unique_ptr<NeighbourIndex> m_index;
    // The blocks of the threshold at the start, hashed by the capture workers, for each picture.
    BlockLayout m_layout;
    std::vector<std::uint32_t> m_blockHashes;
    std::vector<BackgroundMask> m_backgroundMasks; // for each picture
    std::vector<std::uint32_t> m_found;
};

bool DuplicateRun::allocate()
{
    const std::size_t perEntry = sizeof(std::uint32_t) * 2 + sizeof(std::uint8_t) + sizeof(std::int32_t);
    const std::size_t needed = (static_cast<std::size_t>(m_count) + 1) * perEntry;
    QString text = QStringLiteral("Nicht genug Arbeitsspeicher, um ") + QString::number(m_count)
        + QStringLiteral(" Icons zu vergleichen.");
    if (m_options.memoryLimit != 0 && needed > m_options.memoryLimit) {
        m_host.reportNoMemory(text);
        return false;
    }
    try {
        m_pictureOf.assign(static_cast<std::size_t>(m_count) + 1, 0);
        m_loaded.assign(static_cast<std::size_t>(m_count) + 1, 0);
        m_entries.reserve(static_cast<std::size_t>(m_count));
        m_store.reserve(static_cast<std::size_t>(m_count));
    } catch (const std::bad_alloc&) {
        m_host.reportNoMemory(text);
        return false;
    }
    m_result.entryBytes = needed;
    return true;
}

bool DuplicateRun::progress(std::int32_t i, std::int32_t j, bool withPictures)
{
    const std::int64_t now = m_host.tickCount();
    if (now - lastRefreshTick < kCompareRefreshMs && m_count >= kEveryPairBelow)
        return false;
    if (withPictures)
        m_host.showPictures(i, j);
    m_host.showProgress(i, j, now - m_startTick);
    m_host.pumpMessages();
    lastRefreshTick = m_host.tickCount();
    return true;
}

void DuplicateRun::reportDefect(std::int32_t n)
{
    m_catalogue[n].marked = 1;
    if (!m_host.soundOff())
        m_host.playWav(QStringLiteral("fehler"), 1);
    m_host.listDefective(n, m_catalogue[n].path());
    m_host.pumpMessages();
}

void DuplicateRun::recordDuplicate(std::int32_t i, std::int32_t j)
{
    m_host.showPictures(i, j);
    ++m_result.duplicatesFound;
    m_catalogue[j].marked = 1;
    m_host.showDuplicateCount(m_result.duplicatesFound);
    m_host.listDuplicate(j, m_catalogue[j].path());
    m_host.pumpMessages();
    if (!m_host.soundOff())
        m_host.playWav(QStringLiteral("ping"), 1);
}

QImage DuplicateRun::picture(std::int32_t entry) const
{
    if (entry < 1 || entry > m_captured)
        return {};
    Samples samples;
    m_store.decode(m_pictureOf[static_cast<std::size_t>(entry)], samples.data());
    return pictureImage(samples);
}

// The first reference is also the capture: every picture is drawn and kept here, in entry order,
// while it is compared with entry 1.
void DuplicateRun::firstPass()
{
    const auto started = std::chrono::steady_clock::now();
    IconLoader loader = m_options.loader ? m_options.loader : fileIconLoader();
    const int startThreshold = m_host.threshold();
    if (!m_everyPair && startThreshold >= 2 && startThreshold <= NeighbourIndex::kMaxBlocks)
        m_layout = BlockLayout(startThreshold);
    CaptureQueue queue(m_catalogue, 1, m_count, loader, m_options.background, m_layout, m_options.threads);
    const auto keep = [this](std::int32_t n, const CapturedPicture& captured) {
        const std::uint32_t pictures = m_store.size();
        const std::uint32_t id = m_store.add(captured.encoded);
        if (id == pictures) {
            m_blockHashes.insert(m_blockHashes.end(), captured.blockHashes.begin(), captured.blockHashes.end());
            m_backgroundMasks.push_back(captured.backgroundMask);
        }
        m_pictureOf[static_cast<std::size_t>(n)] = id;
        m_loaded[static_cast<std::size_t>(n)] = captured.loaded ? 1 : 0;
        m_captured = n;
    };

    const CapturedPicture& first = queue.take(1);
    if (!first.loaded)
        reportDefect(1);
    m_catalogue[1].marked = 0;
    if (!first.loaded)
        reportDefect(1); // loaded a second time, and reported again
    keep(1, first);
    const Samples reference = first.samples;
    // A defective first entry is no reference: its pass only captures.
    const bool compare = !m_catalogue[1].marked;

    for (std::int32_t j = 2; j <= m_count; ++j) {
        if (m_host.cancelled()) {
            m_result.cancelled = true;
            break;
        }
        m_catalogue[j].marked = 0;
        const CapturedPicture& captured = queue.take(j);
        if (!captured.loaded)
            reportDefect(j);
        keep(j, captured);
        progress(1, j, true);
        if (!compare)
            continue;
        const int threshold = m_host.threshold();
        int differences = 0;
        for (int k = 0; k < kSampleCount && differences < threshold; ++k)
            differences += reference[static_cast<std::size_t>(k)] != captured.samples[static_cast<std::size_t>(k)] ? 1 : 0;
        if (differences >= threshold)
            continue;
        if (!captured.loaded) {
            reportDefect(j);
            continue;
        }
        recordDuplicate(1, j);
    }
    m_store.endAdding();
    m_result.captureSeconds = secondsSince(started);
}

void DuplicateRun::buildEntryLists()
{
    const std::uint32_t pictures = m_store.size();
    m_firstOf.assign(static_cast<std::size_t>(pictures) + 1, 0);
    for (std::int32_t n = 1; n <= m_count; ++n)
        ++m_firstOf[m_pictureOf[static_cast<std::size_t>(n)] + 1];
    for (std::uint32_t p = 0; p < pictures; ++p)
        m_firstOf[p + 1] += m_firstOf[p];
    m_entries.resize(static_cast<std::size_t>(m_count));
    std::vector<std::uint32_t> next(m_firstOf.begin(), m_firstOf.end() - 1);
    for (std::int32_t n = 1; n <= m_count; ++n)
        m_entries[next[m_pictureOf[static_cast<std::size_t>(n)]]++] = n;
    m_lastEntry.resize(pictures);
    for (std::uint32_t p = 0; p < pictures; ++p)
        m_lastEntry[p] = m_entries[m_firstOf[p + 1] - 1];
}

// The entries from `from` on whose pictures are closer than `threshold` to the reference's, in
// ascending order.
void DuplicateRun::closeEntries(std::int32_t reference, int threshold, std::int32_t from, std::vector<std::int32_t>& out)
{
    out.clear();
    if (threshold <= 0)
        return;
    m_found.clear();
    m_index->closePictures(m_pictureOf[static_cast<std::size_t>(reference)], threshold, m_lastEntry.data(), from, m_found);
    for (const std::uint32_t picture : m_found) {
        const auto begin = m_entries.begin() + m_firstOf[picture];
        const auto end = m_entries.begin() + m_firstOf[picture + 1];
        out.insert(out.end(), std::lower_bound(begin, end, from), end);
    }
    std::sort(out.begin(), out.end());
}

void DuplicateRun::laterPasses()
{
    const auto started = std::chrono::steady_clock::now();
    buildEntryLists();
    if (!m_everyPair)
        m_index = std::make_unique<NeighbourIndex>(m_store, m_layout.blocks(), std::move(m_blockHashes),
                                                   std::move(m_backgroundMasks));
    Samples samples;
    std::vector<std::int32_t> candidates;
    for (std::int32_t i = 2; i < m_count; ++i) {
        if (m_host.cancelled()) {
            m_result.cancelled = true;
            break;
        }
        if (!m_loaded[static_cast<std::size_t>(i)]) {
            reportDefect(i);
            continue;
        }
        if (m_catalogue[i].marked)
            continue;
        if (m_everyPair) {
            m_store.decode(m_pictureOf[static_cast<std::size_t>(i)], samples.data());
            for (std::int32_t j = i + 1; j <= m_count; ++j) {
                if (m_host.cancelled()) {
                    m_result.cancelled = true;
                    return;
                }
                progress(i, j);
                ++m_result.verifiedPairs;
                if (!m_store.closerThan(samples.data(), m_pictureOf[static_cast<std::size_t>(j)], m_host.threshold()))
                    continue;
                if (!m_loaded[static_cast<std::size_t>(j)])
                    reportDefect(j);
                else
                    recordDuplicate(i, j);
            }
            continue;
        }
        progress(i, i + 1);
        // The candidates hold for one threshold; a pump that changes it starts them anew from the
        // pair it came before.
        std::int32_t from = i + 1;
        while (from <= m_count) {
            const int threshold = m_host.threshold();
            closeEntries(i, threshold, from, candidates);
            from = m_count + 1;
            for (const std::int32_t j : candidates) {
                if (m_host.cancelled()) {
                    m_result.cancelled = true;
                    return;
                }
                if (progress(i, j) && m_host.threshold() != threshold) {
                    from = j;
                    break;
                }
                if (!m_loaded[static_cast<std::size_t>(j)])
                    reportDefect(j);
                else
                    recordDuplicate(i, j);
                if (m_host.threshold() != threshold) {
                    from = j + 1;
                    break;
                }
            }
        }
    }
    if (m_index) {
        m_result.verifiedPairs += m_index->verified();
        m_result.indexBytes = m_index->tableBytes();
    }
    m_result.compareSeconds = secondsSince(started);
}

CompareResult DuplicateRun::run()
{
    if (!allocate())
        return m_result;
    m_result.started = true;
    m_startTick = m_host.tickCount();
    m_host.runStarting(*this);
    try {
        if (m_count >= 2) {
            firstPass();
            if (!m_result.cancelled)
                laterPasses();
        }
    } catch (const std::bad_alloc&) {
        m_result.outOfMemory = true;
        m_host.reportNoMemory(QStringLiteral("Nicht genug Arbeitsspeicher, um den Vergleich zu Ende zu führen."));
    }
    m_result.distinctPictures = m_store.size();
    m_result.pictureBytes = m_store.storedBytes();
    m_host.runFinished(m_result.duplicatesFound);
    m_host.playWav(QStringLiteral("fertig"), 0);
    return m_result;
}

} // namespace

CompareResult findDuplicates(Catalogue& catalogue, CompareHost& host, const CompareOptions& options)
{
    DuplicateRun run(catalogue, host, options);
    return run.run();
}

QString defectiveLine(std::string_view path) { return QStringLiteral("  DEFEKT: ") + pathText(path); }

QString duplicateLine(std::int32_t entry, std::string_view path)
{
    return QStringLiteral("DOPPELT: ") + QString::number(entry) + QStringLiteral(" -> ") + pathText(path);
}

QString thresholdText(int threshold)
{
    QString rounded = RoundToText(threshold * 0.09765625, 1);
    rounded.replace(QLatin1Char(','), QLatin1Char('.'));
    QString percent = QString::number(rounded.toDouble(), 'g', 15);
    percent.replace(QLatin1Char('.'), QLatin1Char(','));
    return QStringLiteral("Pixeldifferrenz: ") + percent + QStringLiteral("% = ") + QString::number(threshold);
}

QString compareRefusal(const Catalogue& catalogue)
{
    if (catalogue.entryCount() == 0)
        return QStringLiteral("Keine Symbole geladen !");
    for (std::int32_t n = 1; n <= catalogue.entryCount(); ++n) {
        const std::string extension = fileExtensionLower(catalogue[n].path());
        if (extension != ".ico" && extension != ".cur")
            return QStringLiteral("Es sollten nur Icon+Curser Dateien verglichen werden !");
    }
    return {};
}

} // namespace bw
