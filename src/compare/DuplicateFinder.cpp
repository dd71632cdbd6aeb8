#include "DuplicateFinder.h"

#include "CaptureQueue.h"
#include "NeighbourIndex.h"
#include "PictureStore.h"

#include "catalogue/Indexer.h"
#include "support/Funky.h"
#include "support/Pacer.h"

#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <new>
#include <optional>
#include <thread>

namespace bw {
namespace {

double secondsSince(std::chrono::steady_clock::time_point start)
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Works out the candidates of upcoming references on a second thread while the run reports the
// current reference's duplicates. Each entry is taken by exactly one of the two threads: the
// helper takes them in ascending order; the run takes a reference itself when the helper has not
// reached it yet, moving the helper on past it. The helper works out entries that turn out to be
// marked as well; the run never asks for those. The helper keeps at most m_ahead entries ahead of
// the run's reference, so that what it holds does not grow with the catalogue.
class CandidatePrefetch {
public:
    using Work = std::function<void(NeighbourIndex::Query&, std::int32_t, std::vector<std::int32_t>&)>;

    CandidatePrefetch(std::int32_t first, std::int32_t last, std::size_t pictures, std::int32_t ahead, Work work)
        : m_ahead(std::max(ahead, 1))
        , m_ownQuery(pictures)
        , m_slots(new Slot[static_cast<std::size_t>(m_ahead)])
        , m_skipped(new std::atomic<bool>[static_cast<std::size_t>(last) + 1])
        , m_next(first)
        , m_taken(first)
        , m_last(last)
        , m_work(std::move(work))
    {
        for (std::int32_t k = 0; k <= last; ++k)
            m_skipped[static_cast<std::size_t>(k)].store(false, std::memory_order_relaxed);
        m_thread = std::thread([this, pictures] { run(pictures); });
    }
    ~CandidatePrefetch() { finish(); }
    CandidatePrefetch(const CandidatePrefetch&) = delete;
    CandidatePrefetch& operator=(const CandidatePrefetch&) = delete;

    // The candidates of reference `i`; calls come in ascending order. False when the caller must
    // work them out itself. While the helper is still at `i`, the caller works out later entries.
    bool take(std::int32_t i, std::vector<std::int32_t>& out)
    {
        m_taken.store(i); // the slots of earlier entries may be used again
        std::int32_t next = m_next.load();
        while (next <= i)
            if (m_next.compare_exchange_weak(next, i + 1))
                return false;
        Slot& slot = m_slots[static_cast<std::size_t>(i % m_ahead)];
        std::uint64_t state;
        while ((state = slot.state.load(std::memory_order_acquire)) == stateOf(i, kPending) || entryOf(state) != i) {
            if (workOn(m_ownQuery) != Step::Worked)
                std::this_thread::yield();
        }
        if (state != stateOf(i, kDone))
            return false;
        out.swap(slot.list);
        return true;
    }

    // Entry `j` was marked: it will be no reference, so nobody need finish working it out.
    void skip(std::int32_t j)
    {
        if (j > m_last)
            return;
        m_skipped[static_cast<std::size_t>(j)].store(true, std::memory_order_relaxed);
        std::uint64_t pending = stateOf(j, kPending);
        m_slots[static_cast<std::size_t>(j % m_ahead)].state.compare_exchange_strong(pending, stateOf(j, kSkipped));
    }

    // Stops the helper; the pairs it counted.
    std::uint64_t finish()
    {
        m_stop.store(true);
        if (m_thread.joinable())
            m_thread.join();
        return m_verified + m_ownQuery.verified;
    }

private:
    const std::int32_t m_ahead;
    static constexpr std::uint8_t kPending = 0;
    static constexpr std::uint8_t kDone = 1;
    static constexpr std::uint8_t kFailed = 2;
    static constexpr std::uint8_t kSkipped = 3;
    enum class Step { Worked, Wait, Finished };

    // One entry's state and candidates; the entry it is for is part of the state, since the slot
    // serves every m_ahead-th entry in turn.
    struct Slot {
        std::atomic<std::uint64_t> state {UINT64_MAX};
        std::atomic<bool> busy {false}; // a thread is writing `list`
        std::vector<std::int32_t> list;
    };
    static std::uint64_t stateOf(std::int32_t entry, std::uint8_t status) { return static_cast<std::uint64_t>(entry) << 8 | status; }
    static std::int32_t entryOf(std::uint64_t state) { return static_cast<std::int32_t>(state >> 8); }

    // Takes the next entry and works it out.
    Step workOn(NeighbourIndex::Query& query)
    {
        std::int32_t k = m_next.load();
        do {
            if (k > m_last)
                return Step::Finished;
            // The slot's earlier entry lies below the run's reference, so nobody will read it;
            // but a thread may still be working out a marked one there.
            if (k >= m_taken.load() + m_ahead || m_slots[static_cast<std::size_t>(k % m_ahead)].busy.load(std::memory_order_acquire))
                return Step::Wait;
        } while (!m_next.compare_exchange_weak(k, k + 1));
        if (m_skipped[static_cast<std::size_t>(k)].load(std::memory_order_relaxed))
            return Step::Worked;
        Slot& slot = m_slots[static_cast<std::size_t>(k % m_ahead)];
        slot.busy.store(true, std::memory_order_relaxed);
        slot.state.store(stateOf(k, kPending), std::memory_order_release);
        std::uint8_t result = kFailed;
        try {
            m_work(query, k, slot.list);
            result = kDone;
        } catch (const std::bad_alloc&) {
        }
        std::uint64_t pending = stateOf(k, kPending);
        slot.state.compare_exchange_strong(pending, stateOf(k, result), std::memory_order_acq_rel);
        slot.busy.store(false, std::memory_order_release);
        return Step::Worked;
    }

    void run(std::size_t pictures)
    {
        std::unique_ptr<NeighbourIndex::Query> query;
        try {
            query = std::make_unique<NeighbourIndex::Query>(pictures);
        } catch (const std::bad_alloc&) {
            return; // the run works out every reference itself
        }
        while (!m_stop.load(std::memory_order_relaxed)) {
            const Step step = workOn(*query);
            if (step == Step::Finished)
                break;
            if (step == Step::Wait)
                std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        m_verified = query->verified;
    }

    NeighbourIndex::Query m_ownQuery; // for the entries the caller works out while it waits
    std::unique_ptr<Slot[]> m_slots;
    std::unique_ptr<std::atomic<bool>[]> m_skipped; // per entry: marked, so no reference
    std::atomic<std::int32_t> m_next;
    std::atomic<std::int32_t> m_taken; // the run's current reference
    const std::int32_t m_last;
    Work m_work;
    std::atomic<bool> m_stop {false};
    std::uint64_t m_verified = 0;
    std::thread m_thread;
};

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
    void compareEveryPair();  // a small catalogue: each reference with every later entry
    void compareCandidates(); // each reference with the later entries the filter finds close
    bool stopRequested();     // the user has cancelled (the result says so)
    // Whether entry i is a reference: not when its icon could not be loaded (reported again) or
    // it is marked.
    bool isReference(std::int32_t i);
    void findLastEntries();
    void buildEntryLists();
    void closeEntries(NeighbourIndex::Query* query, std::int32_t reference, int threshold, std::int32_t from,
                      std::vector<std::int32_t>& out) const;

    void progress(std::int32_t i, std::int32_t j, bool withPictures = false);
    void reportDefect(std::int32_t n);
    void recordDuplicate(std::int32_t i, std::int32_t j);

    Catalogue& m_catalogue;
    CompareHost& m_host;
    const CompareOptions& m_options;
    const std::int32_t m_count;
    const bool m_everyPair;
    std::int64_t m_startTick = 0;
    Pacer m_refresh {kCompareRefreshMs}; // of the progress texts
    CompareResult m_result;
    PictureStore m_store;
    std::int32_t m_captured = 0;            // entries 1..m_captured have their pictures
    std::vector<std::uint32_t> m_pictureOf; // entry -> picture
    std::vector<std::uint8_t> m_loaded;     // entry -> its icon could be loaded
    std::vector<std::uint32_t> m_firstOf;   // picture -> start of its entries in m_entries
    std::vector<std::int32_t> m_entries;    // entries grouped by picture, ascending in each group
    std::vector<std::int32_t> m_lastEntry;  // picture -> its last entry
    std::unique_ptr<NeighbourIndex> m_index;
    // The blocks of the threshold at the start and, for each picture, the hashes of the first of
    // them (NeighbourIndex::kBlocksFromCapture at most), computed by the capture workers.
    BlockLayout m_layout;
    BlockHashes m_blockHashes;
    mutable std::vector<std::uint32_t> m_found; // the pictures closeEntries finds without a query
};

bool DuplicateRun::allocate()
{
    const std::size_t perEntry = sizeof(std::uint32_t) * 2 + sizeof(std::uint8_t) + sizeof(std::int32_t);
    const std::size_t needed = (static_cast<std::size_t>(m_count) + 1) * perEntry;
    QString text = QStringLiteral("Nicht genug Arbeitsspeicher, um ") + QString::number(m_count) + QStringLiteral(" Icons zu vergleichen.");
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

// The progress step of a pair. The text follows at most every kCompareRefreshMs (at every pair on
// a small catalogue); the pump comes each time, so that "Abbrechen", the threshold and "Ton Aus"
// answer at once (the host skips pumps that follow each other too closely).
void DuplicateRun::progress(std::int32_t i, std::int32_t j, bool withPictures)
{
    const std::int64_t now = m_host.tickCount();
    const bool refresh = m_refresh.due(now) || m_count < kEveryPairBelow;
    if (refresh) {
        if (withPictures)
            m_host.showPictures(i, j);
        m_host.showProgress(i, j, now - m_startTick);
    }
    m_host.pumpMessages();
    if (refresh)
        m_refresh.refreshed(m_host.tickCount());
}

void DuplicateRun::reportDefect(std::int32_t n)
{
    m_catalogue[n].marked = 1;
    // The sounds of a run play while it goes on: waiting for each would take longer than the work.
    if (!m_host.soundOff())
        m_host.playWav(QStringLiteral("fehler"), 0);
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
        m_host.playWav(QStringLiteral("ping"), 0);
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
    // Room for every entry's block hashes up front: growing them by doubling would hold the old
    // and the new copy at once, while pages reserved and never filled cost nothing.
    const int hashed = std::min(m_layout.blocks(), NeighbourIndex::kBlocksFromCapture);
    m_blockHashes.resize(static_cast<std::size_t>(hashed));
    for (HashColumn& column : m_blockHashes)
        column.reserve(static_cast<std::size_t>(m_count));
    std::optional<CaptureQueue> queue;
    if (m_options.stored)
        queue.emplace(m_catalogue, 1, m_count, *m_options.stored, m_options.background, m_layout, hashed, m_options.threads);
    else
        queue.emplace(m_catalogue, 1, m_count, loader, m_options.background, m_layout, hashed, m_options.threads);
    const auto take = [&](std::int32_t n) -> const CapturedPicture& { return queue->take(n); };
    const auto keep = [this](std::int32_t n, const CapturedPicture& captured) {
        const std::uint32_t pictures = m_store.size();
        const std::uint32_t id = m_store.add(captured.encoded);
        if (id == pictures)
            for (std::size_t b = 0; b < m_blockHashes.size(); ++b)
                m_blockHashes[b].push_back(captured.blockHashes[b]);
        m_pictureOf[static_cast<std::size_t>(n)] = id;
        m_loaded[static_cast<std::size_t>(n)] = captured.loaded ? 1 : 0;
        m_captured = n;
    };

    const CapturedPicture& first = take(1);
    if (!first.loaded)
        reportDefect(1);
    m_catalogue[1].marked = 0;
    if (!first.loaded)
        reportDefect(1); // loaded a second time, and reported again
    keep(1, first);
    const Samples reference = first.samples;
    // A defective first entry is no reference: its pass only captures.
    const bool compare = !m_catalogue[1].marked;

    for (std::int32_t j = 2; j <= m_count && !stopRequested(); ++j) {
        m_catalogue[j].marked = 0;
        const CapturedPicture& captured = take(j);
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
}

void DuplicateRun::findLastEntries()
{
    m_lastEntry.assign(m_store.size(), 0);
    for (std::int32_t n = 1; n <= m_count; ++n)
        m_lastEntry[m_pictureOf[static_cast<std::size_t>(n)]] = n;
}

// The entries from `from` on whose pictures are closer than `threshold` to the reference's, in
// ascending order. With a query of its own it may run on another thread, for a threshold the
// index is prepared for; without one it uses the index's.
void DuplicateRun::closeEntries(NeighbourIndex::Query* query, std::int32_t reference, int threshold, std::int32_t from,
                                std::vector<std::int32_t>& out) const
{
    out.clear();
    if (threshold <= 0)
        return;
    std::vector<std::uint32_t>& found = query ? query->found : m_found;
    found.clear();
    const std::uint32_t own = m_pictureOf[static_cast<std::size_t>(reference)];
    if (query)
        m_index->closePictures(*query, own, threshold, m_lastEntry.data(), from, found);
    else
        m_index->closePictures(own, threshold, m_lastEntry.data(), from, found);
    for (const std::uint32_t picture : found) {
        const auto begin = m_entries.begin() + m_firstOf[picture];
        const auto end = m_entries.begin() + m_firstOf[picture + 1];
        out.insert(out.end(), std::lower_bound(begin, end, from), end);
    }
    std::sort(out.begin(), out.end());
}

bool DuplicateRun::stopRequested()
{
    // The rest of a collection that cannot be read would all count as defective: the run stops.
    if (m_options.stored && !m_result.unreadable)
        if (const QString why = m_options.stored->failure(); !why.isEmpty()) {
            m_result.unreadable = true;
            m_host.reportUnreadable(why);
        }
    if (!m_result.unreadable && !m_host.cancelled())
        return false;
    m_result.cancelled = true;
    return true;
}

bool DuplicateRun::isReference(std::int32_t i)
{
    if (!m_loaded[static_cast<std::size_t>(i)]) {
        reportDefect(i);
        return false;
    }
    return !m_catalogue[i].marked;
}

void DuplicateRun::laterPasses()
{
    const auto started = std::chrono::steady_clock::now();
    // The lists of entries by picture are made once the index is built: its building needs only
    // the last entries, and its peak of memory should not hold more.
    findLastEntries();
    if (!m_everyPair)
        m_index = std::make_unique<NeighbourIndex>(m_store, m_layout.blocks(), std::move(m_blockHashes), m_lastEntry.data());
    buildEntryLists();
    if (m_everyPair)
        compareEveryPair();
    else
        compareCandidates();
    if (m_index) {
        m_result.verifiedPairs += m_index->verified();
        m_result.indexBytes = m_index->tableBytes();
    }
    m_result.compareSeconds = secondsSince(started);
}

void DuplicateRun::compareEveryPair()
{
    Samples samples;
    for (std::int32_t i = 2; i < m_count && !stopRequested(); ++i) {
        if (!isReference(i))
            continue;
        m_store.decode(m_pictureOf[static_cast<std::size_t>(i)], samples.data());
        for (std::int32_t j = i + 1; j <= m_count; ++j) {
            if (stopRequested())
                return;
            progress(i, j);
            ++m_result.verifiedPairs;
            if (!m_store.closerThan(samples.data(), m_pictureOf[static_cast<std::size_t>(j)], m_host.threshold()))
                continue;
            if (!m_loaded[static_cast<std::size_t>(j)])
                reportDefect(j);
            else
                recordDuplicate(i, j);
        }
    }
}

void DuplicateRun::compareCandidates()
{
    // With a second core, the candidates of the references to come are worked out ahead, for the
    // threshold at the start; a change of threshold stops that (the tables may be rebuilt).
    std::unique_ptr<CandidatePrefetch> prefetch;
    int prefetchThreshold = 0;
    if (m_count > 2 && captureThreads(m_options.threads) > 1) {
        prefetchThreshold = m_host.threshold();
        if (m_index->prepare(prefetchThreshold)) {
            const int threshold = prefetchThreshold;
            prefetch = std::make_unique<CandidatePrefetch>(
                2, m_count - 1, m_store.size(), m_options.prefetchAhead,
                [this, threshold](NeighbourIndex::Query& query, std::int32_t k, std::vector<std::int32_t>& out) {
                    if (m_loaded[static_cast<std::size_t>(k)])
                        closeEntries(&query, k, threshold, k + 1, out);
                });
        }
    }
    std::vector<std::int32_t> candidates;
    for (std::int32_t i = 2; i < m_count && !stopRequested(); ++i) {
        if (!isReference(i))
            continue;
        progress(i, i + 1);
        // The pair whose progress step has run: it is compared whatever that step's pump did, so a
        // cancel stops the run only before a later pair.
        std::int32_t shown = i + 1;
        // The candidates hold for one threshold; a pump that changes it starts them anew from the
        // pair it came before.
        std::int32_t from = i + 1;
        while (from <= m_count) {
            const int threshold = m_host.threshold();
            if (prefetch && threshold != prefetchThreshold) {
                m_result.verifiedPairs += prefetch->finish();
                prefetch.reset();
            }
            if (!prefetch || from != i + 1 || !prefetch->take(i, candidates))
                closeEntries(nullptr, i, threshold, from, candidates);
            from = m_count + 1;
            for (const std::int32_t j : candidates) {
                if (j != shown) {
                    if (stopRequested())
                        return;
                    progress(i, j);
                    shown = j;
                    if (m_host.threshold() != threshold) {
                        from = j;
                        break;
                    }
                }
                if (!m_loaded[static_cast<std::size_t>(j)]) {
                    reportDefect(j);
                } else {
                    recordDuplicate(i, j);
                    if (prefetch)
                        prefetch->skip(j);
                }
                if (m_host.threshold() != threshold) {
                    from = j + 1;
                    break;
                }
            }
        }
    }
    if (prefetch)
        m_result.verifiedPairs += prefetch->finish();
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
    if (m_index)
        m_result.checkedPairs = m_index->checked();
    m_result.pictureBytes = m_store.storedBytes();
    m_host.runFinished(m_result.duplicatesFound);
    m_host.playWav(QStringLiteral("fertig"), 0);
    return m_result;
}

} // namespace

CompareResult findDuplicates(Catalogue& catalogue, CompareHost& host, const CompareOptions& options)
{
    // A run frees large tables while it builds others. By default the C library raises the size
    // from which it maps blocks of their own each time such a block is freed, and then keeps the
    // later tables in its heap, which it seldom gives back: fixing the size at its default
    // returns every large table to the system as soon as it is freed.
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
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
        return kNothingLoaded;
    for (std::int32_t n = 1; n <= catalogue.entryCount(); ++n) {
        const std::string extension = fileExtensionLower(catalogue[n].path());
        if (extension != ".ico" && extension != ".cur")
            return QStringLiteral("Es sollten nur Icon+Curser Dateien verglichen werden !");
    }
    return {};
}

} // namespace bw
