#include "NeighbourIndex.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <numeric>
#include <random>
#include <thread>
#include <utility>

namespace bw {

BlockLayout::BlockLayout(int blocks) : m_blocks(blocks)
{
    std::iota(m_order.begin(), m_order.end(), std::uint16_t {0});
    std::uint64_t state = 0x2545F4914F6CDD1Dull;
    for (std::size_t k = m_order.size() - 1; k > 0; --k) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        std::swap(m_order[k], m_order[static_cast<std::size_t>(state % (k + 1))]);
    }
    m_start.resize(static_cast<std::size_t>(std::max(blocks, 0)) + 1);
    for (int b = 0; b <= blocks; ++b)
        m_start[static_cast<std::size_t>(b)] = static_cast<std::uint32_t>(b * kSampleCount / std::max(blocks, 1));
}

namespace {

inline std::uint64_t hashStart(int block) { return 0xCBF29CE484222325ull ^ static_cast<std::uint64_t>(block); }

inline std::uint64_t hashStep(std::uint64_t h, std::uint32_t sample)
{
    h = (h ^ sample) * 0x100000001B3ull;
    return h ^ (h >> 31);
}

inline std::uint32_t hashEnd(std::uint64_t h) { return static_cast<std::uint32_t>(h ^ (h >> 32)) & ((1u << BlockLayout::kHashBits) - 1); }

} // namespace

std::uint32_t BlockLayout::hash(const Samples& samples, int block) const
{
    std::uint64_t h = hashStart(block);
    for (std::uint32_t k = m_start[static_cast<std::size_t>(block)]; k < m_start[static_cast<std::size_t>(block) + 1]; ++k)
        h = hashStep(h, samples[m_order[k]]);
    return hashEnd(h);
}

void BlockLayout::hashBlocks(const Samples& samples, int first, int end, std::uint32_t* out) const
{
    // Four blocks of the same length at a time: each hash is a chain of multiplications, and four
    // chains that do not wait on each other keep the processor busy.
    int b = first;
    for (; b + 4 <= end; b += 4) {
        const std::uint32_t* start = m_start.data() + b;
        std::uint32_t* to = out + (b - first);
        const std::uint32_t length = start[1] - start[0];
        if (start[2] - start[1] != length || start[3] - start[2] != length || start[4] - start[3] != length) {
            for (int q = 0; q < 4; ++q)
                to[q] = hash(samples, b + q);
            continue;
        }
        std::uint64_t h0 = hashStart(b), h1 = hashStart(b + 1), h2 = hashStart(b + 2), h3 = hashStart(b + 3);
        for (std::uint32_t k = 0; k < length; ++k) {
            h0 = hashStep(h0, samples[m_order[start[0] + k]]);
            h1 = hashStep(h1, samples[m_order[start[1] + k]]);
            h2 = hashStep(h2, samples[m_order[start[2] + k]]);
            h3 = hashStep(h3, samples[m_order[start[3] + k]]);
        }
        to[0] = hashEnd(h0);
        to[1] = hashEnd(h1);
        to[2] = hashEnd(h2);
        to[3] = hashEnd(h3);
    }
    for (; b < end; ++b)
        out[b - first] = hash(samples, b);
}

namespace {

// The pictures `order` names, sorted by their hash in `column`, keeping the order of pictures
// with equal hashes: a counting pass spreads them by the hash's upper 16 bits into groups of a
// few pictures each, which insertion then orders by the rest (a sort for the rare large group
// of different hashes, where insertion would take quadratic time).
void sortByHash(const HashColumn& column, const std::vector<std::uint32_t>& order, std::vector<std::uint32_t>& sorted,
                std::vector<std::uint32_t>& groupEnd)
{
    constexpr int kLowBits = BlockLayout::kHashBits - 16;
    constexpr std::size_t kInsertionAtMost = 64;
    groupEnd.assign((std::size_t {1} << 16) + 1, 0);
    for (const std::uint32_t id : order)
        ++groupEnd[(column[id] >> kLowBits) + 1];
    for (std::size_t g = 1; g < groupEnd.size(); ++g)
        groupEnd[g] += groupEnd[g - 1];
    sorted.resize(order.size());
    for (const std::uint32_t id : order)
        sorted[groupEnd[column[id] >> kLowBits]++] = id;
    // Each group now ends where the next begins.
    std::size_t begin = 0;
    for (std::size_t g = 0; g + 1 < groupEnd.size(); ++g) {
        const std::size_t end = groupEnd[g];
        if (end - begin > kInsertionAtMost) {
            std::stable_sort(sorted.begin() + static_cast<std::ptrdiff_t>(begin), sorted.begin() + static_cast<std::ptrdiff_t>(end),
                             [&column](std::uint32_t a, std::uint32_t b) { return column[a] < column[b]; });
        } else {
            for (std::size_t k = begin + 1; k < end; ++k) {
                const std::uint32_t id = sorted[k];
                const std::uint32_t hash = column[id];
                std::size_t j = k;
                for (; j > begin && column[sorted[j - 1]] > hash; --j)
                    sorted[j] = sorted[j - 1];
                sorted[j] = id;
            }
        }
        begin = end;
    }
}

// Runs work(first, end) over a range split in two halves on two threads when it is big enough
// and the machine has a second core.
template <typename Work> void inTwoHalves(std::size_t first, std::size_t end, bool bigEnough, const Work& work)
{
    if (bigEnough && end - first >= 2 && std::thread::hardware_concurrency() > 1) {
        const std::size_t middle = first + (end - first) / 2;
        std::thread helper([&] { work(middle, end); });
        work(first, middle);
        helper.join();
    } else {
        work(first, end);
    }
}

constexpr std::size_t kTwoThreadsFrom = 10000; // pictures
constexpr std::uint32_t kRunEnd = 0x80000000u; // marks a sorted picture whose hash the next does not share

} // namespace

NeighbourIndex::NeighbourIndex(const PictureStore& store, int blocks, BlockHashes blockHashes, const std::int32_t* listOrder)
    : m_store(store)
    , m_layout(blocks)
    , m_listOrder(listOrder)
    , m_query(0) // sized at its first query, so that it adds nothing to the building's peak
{
    if (blocks > 0 && !blockHashes.empty() && blockHashes.size() <= static_cast<std::size_t>(blocks) && blocksServe(blocks)
        && std::all_of(blockHashes.begin(), blockHashes.end(), [&](const auto& column) { return column.size() == store.size(); }))
        buildBlocks(blocks, std::move(blockHashes));
}

std::pair<std::uint32_t, std::uint32_t> NeighbourIndex::BlockLists::find(std::uint32_t hash) const
{
    if (buckets.empty())
        return {0, 0};
    const Bucket* bucket = bucketOf(hash);
    const std::uint32_t restMask = (1u << restBits) - 1;
    const std::uint32_t rest = hash & restMask;
    std::uint32_t start = bucket->member;
    // The values of a bucket ascend by the rest of their hash.
    for (std::uint32_t v = bucket->value; v < bucket[1].value; ++v) {
        const std::uint32_t word = record(v);
        const std::uint32_t own = word & restMask;
        if (own > rest)
            break;
        std::uint32_t n = word >> restBits;
        if (n == manyMembers)
            n = manyCount(v);
        if (own == rest)
            return {start, start + n};
        start += n;
    }
    return {0, 0};
}

std::uint32_t NeighbourIndex::BlockLists::manyCount(std::size_t value) const
{
    const auto at = std::lower_bound(counts.begin(), counts.end(), std::pair {static_cast<std::uint32_t>(value), 0u});
    return at->second;
}

// Hashes blocks first..end-1 of every picture, decoded from the store.
void NeighbourIndex::hashFromPictures(BlockHashes& hashes, std::size_t first, std::size_t end) const
{
    const std::size_t pictures = m_store.size();
    for (std::size_t b = first; b < end; ++b)
        hashes[b] = HashColumn(pictures);
    inTwoHalves(0, pictures, pictures > kTwoThreadsFrom, [&](std::size_t begin, std::size_t stop) {
        Samples samples;
        std::array<std::uint32_t, kMaxBlocks> row;
        for (std::size_t id = begin; id < stop; ++id) {
            m_store.decode(static_cast<std::uint32_t>(id), samples.data());
            m_layout.hashBlocks(samples, static_cast<int>(first), static_cast<int>(end), row.data());
            for (std::size_t b = first; b < end; ++b)
                hashes[b].set(id, row[b - first]);
        }
    });
}

// The lists of blocks first..end-1 from their hashes, each block's hashes freed as its lists are made.
void NeighbourIndex::buildLists(BlockHashes& hashes, std::size_t first, std::size_t end, const std::vector<std::uint32_t>& order)
{
    const std::size_t pictures = order.size();
    // Each thread sorts in a table as long as the pictures: for a few blocks a second one would
    // add to the run's peak of memory more than it saves in time.
    constexpr std::size_t kTwoThreadsForBlocks = 8;
    const bool twoThreads = pictures > kTwoThreadsFrom && end - first >= kTwoThreadsForBlocks;
    inTwoHalves(first, end, twoThreads, [&](std::size_t firstBlock, std::size_t endBlock) {
        std::vector<std::uint32_t> sorted;
        std::vector<std::uint32_t> groupEnd;
        for (std::size_t b = firstBlock; b < endBlock; ++b) {
            BlockLists& lists = m_lists[b];
            std::size_t members = 0;
            {
                const HashColumn column = std::move(hashes[b]);
                hashes[b] = HashColumn();
                sortByHash(column, order, sorted, groupEnd);
                // Runs of equal hashes, each end marked; a run of two pictures or more is a list.
                std::size_t values = 0;
                std::uint32_t current = pictures > 0 ? column[sorted[0]] : 0;
                for (std::size_t k = 0, runStart = 0; k < pictures; ++k) {
                    const std::uint32_t next = k + 1 < pictures ? column[sorted[k + 1]] : 0;
                    const bool sameAsNext = k + 1 < pictures && next == current;
                    current = next;
                    if (sameAsNext)
                        continue;
                    sorted[k] |= kRunEnd;
                    if (k > runStart) {
                        members += k + 1 - runStart;
                        ++values;
                    }
                    runStart = k + 1;
                }
                lists = BlockLists();
                if (values > 0) {
                    // Eight to sixteen values a bucket; at least 8 bits of the hash pick the bucket,
                    // so that a record has room for the rest and for a number of 255 or less.
                    constexpr std::size_t kValuesPerBucket = 8;
                    lists.bucketBits = std::clamp(static_cast<int>(std::bit_width(values / kValuesPerBucket)) - 1,
                                                  BlockLayout::kHashBits - 16, BlockLayout::kHashBits);
                    lists.restBits = BlockLayout::kHashBits - lists.bucketBits;
                    lists.recordBytes = lists.restBits <= 12 ? 2 : 3;
                    lists.manyMembers = (1u << (8 * lists.recordBytes - lists.restBits)) - 1;
                    lists.memberBits = std::max(1, static_cast<int>(std::bit_width(pictures - 1)));
                    lists.buckets.assign((std::size_t {1} << lists.bucketBits) + 1, {});
                    lists.values.assign(static_cast<std::size_t>(lists.recordBytes) * values + 2, 0);
                }
                const int restBits = lists.restBits;
                std::size_t nextBucket = 0;
                std::uint32_t value = 0;
                std::uint32_t listStart = 0;
                for (std::size_t k = 0, runStart = 0; values > 0 && k < pictures; ++k) {
                    if (!(sorted[k] & kRunEnd))
                        continue;
                    if (k > runStart) {
                        const std::uint32_t hash = column[sorted[k] & ~kRunEnd];
                        for (const std::size_t bucket = hash >> restBits; nextBucket <= bucket; ++nextBucket)
                            lists.buckets[nextBucket] = {value, listStart};
                        const auto n = static_cast<std::uint32_t>(k + 1 - runStart);
                        const std::uint32_t word = (hash & ((1u << restBits) - 1)) | std::min(n, lists.manyMembers) << restBits;
                        for (int byte = 0; byte < lists.recordBytes; ++byte)
                            lists.values[static_cast<std::size_t>(lists.recordBytes) * value + static_cast<std::size_t>(byte)]
                                = static_cast<std::uint8_t>(word >> (8 * byte));
                        if (n >= lists.manyMembers)
                            lists.counts.emplace_back(value, n);
                        ++value;
                        listStart += n;
                    }
                    runStart = k + 1;
                }
                for (; nextBucket < lists.buckets.size(); ++nextBucket)
                    lists.buckets[nextBucket] = {value, listStart};
                lists.counts.shrink_to_fit();
                lists.memberCount = members;
            } // the hashes are freed before the lists take their room
            if (members == 0)
                continue;
            lists.members.assign((members * static_cast<std::size_t>(lists.memberBits) + 7) / 8 + 7, 0);
            std::size_t listEnd = 0;
            for (std::size_t k = 0, runStart = 0; k < pictures; ++k) {
                if (!(sorted[k] & kRunEnd))
                    continue;
                for (std::size_t j = runStart; k > runStart && j <= k; ++j)
                    lists.setMember(listEnd++, sorted[j] & ~kRunEnd);
                runStart = k + 1;
            }
        }
    });
}

// `hashes` holds the first blocks' hashes (maybe none); the others are hashed here in passes over
// the stored pictures, each pass after the lists of the blocks before it have replaced their hashes.
void NeighbourIndex::buildBlocks(int blocks, BlockHashes hashes)
{
    const std::size_t pictures = m_store.size();
    const auto m = static_cast<std::size_t>(blocks);
    if (m_layout.blocks() != blocks)
        m_layout = BlockLayout(blocks);
    const std::size_t given = std::min(hashes.size(), m);
    hashes.resize(m);
    m_lists.clear();
    m_lists.resize(m);
    // Sorting keeps the order of equal hashes, so the pictures enter each list in list order.
    std::vector<std::uint32_t> order(pictures);
    std::iota(order.begin(), order.end(), 0u);
    if (m_listOrder)
        std::sort(order.begin(), order.end(), [this](std::uint32_t a, std::uint32_t b) { return m_listOrder[a] < m_listOrder[b]; });
    buildLists(hashes, 0, given, order);
    // Each pass hashes as many blocks as fit, beside the lists built so far, in the room the
    // capture's hashes took (or would have taken): neither the capture nor a pass then holds much
    // more than the other, and a block whose lists are small leaves room for more in one pass.
    // A pass takes on the last few blocks rather than leave them to a pass of their own.
    const std::size_t room = 3 * pictures * std::max(given, static_cast<std::size_t>(kBlocksFromCapture));
    std::size_t listBytes = 0;
    for (std::size_t b = 0; b < given; ++b)
        listBytes += m_lists[b].bytes();
    for (std::size_t first = given, end; first < m; first = end) {
        std::size_t passBlocks = room > listBytes ? (room - listBytes) / (3 * std::max<std::size_t>(pictures, 1)) : 0;
        end = std::min(m, first + std::max(passBlocks, static_cast<std::size_t>(kPassBlocks)));
        if (m - end < static_cast<std::size_t>(kPassBlocks))
            end = m;
        hashFromPictures(hashes, first, end);
        buildLists(hashes, first, end, order);
        for (std::size_t b = first; b < end; ++b)
            listBytes += m_lists[b].bytes();
    }
    m_partnered.assign(pictures, 0);
    for (const BlockLists& lists : m_lists)
        for (std::size_t k = 0; k < lists.memberCount; ++k)
            m_partnered[lists.member(k)] = 1;
}

const std::uint32_t* NeighbourIndex::referenceSamples(Query& query, std::uint32_t reference)
{
    if (query.decoded != reference) {
        if (query.counted != UINT32_MAX) // its slots are found through the samples about to go
            query.colours.forget(query.reference.data());
        query.counted = UINT32_MAX;
        m_store.decode(reference, query.reference.data());
        query.decoded = reference;
    }
    return query.reference.data();
}

const ColourCounts& NeighbourIndex::referenceColours(Query& query, std::uint32_t reference)
{
    referenceSamples(query, reference);
    if (query.counted != reference) {
        query.colours.count(query.reference.data(), m_store.background());
        query.counted = reference;
    }
    return query.colours;
}

void NeighbourIndex::buildBackgroundOrder()
{
    m_byBackground.resize(m_store.size());
    std::iota(m_byBackground.begin(), m_byBackground.end(), 0u);
    std::stable_sort(m_byBackground.begin(), m_byBackground.end(),
                     [this](std::uint32_t a, std::uint32_t b) { return m_store.backgroundCount(a) < m_store.backgroundCount(b); });
    m_backgroundStart.assign(kSampleCount + 2, 0);
    for (std::uint32_t id = 0; id < m_store.size(); ++id)
        ++m_backgroundStart[static_cast<std::size_t>(m_store.backgroundCount(id)) + 1];
    std::partial_sum(m_backgroundStart.begin(), m_backgroundStart.end(), m_backgroundStart.begin());
}

void NeighbourIndex::consider(Query& query, std::uint32_t reference, std::uint32_t candidate, int threshold, const std::int32_t* lastEntry,
                              std::int32_t from, std::vector<std::uint32_t>& found)
{
    if (lastEntry[candidate] < from)
        return;
    check(query, reference, candidate, threshold, found);
}

void NeighbourIndex::check(Query& query, std::uint32_t reference, std::uint32_t candidate, int threshold, std::vector<std::uint32_t>& found)
{
    ++query.checked;
    // Each sample that is background in one picture and not in the other is a difference.
    if (std::abs(m_store.backgroundCount(candidate) - m_store.backgroundCount(reference)) >= threshold)
        return;
    if (candidate == reference) {
        found.push_back(candidate);
        return;
    }
    // Both have background in at most the smaller of their counts: a first bound from the colours
    // needs no mask, and settles most pairs of unlike colours before a mask kept as runs is read.
    const int mostBackgroundAgreements = std::min(m_store.backgroundCount(candidate), m_store.backgroundCount(reference));
    const int enoughAtMost = kSampleCount - threshold + 1 - mostBackgroundAgreements;
    if (enoughAtMost > 0 && m_store.agreementBound(referenceColours(query, reference), candidate, enoughAtMost) < enoughAtMost)
        return;
    // Where only one of the two has background they differ; where both have, they agree.
    if (query.masked != reference) {
        m_store.backgroundMask(reference, query.mask);
        query.masked = reference;
    }
    int onlyOne;
    int both;
    m_store.compareMasks(query.mask, candidate, onlyOne, both);
    if (onlyOne >= threshold)
        return;
    if (kSampleCount - both < threshold) {
        found.push_back(candidate);
        return;
    }
    const int backgroundAgreements = both;
    // Fewer than enough possible agreements leave at least `threshold` differences.
    const int enough = kSampleCount - threshold + 1 - backgroundAgreements;
    if (enough > 0 && backgroundAgreements < mostBackgroundAgreements
        && m_store.agreementBound(referenceColours(query, reference), candidate, enough) < enough)
        return;
    ++query.verified;
    if (m_store.closerThan(referenceSamples(query, reference), candidate, threshold))
        found.push_back(candidate);
}

bool NeighbourIndex::prepare(int threshold)
{
    if (threshold < 2 || !blocksServe(threshold))
        return false;
    if (m_lists.empty() || m_layout.blocks() < threshold)
        buildBlocks(threshold);
    return true;
}

void NeighbourIndex::closePictures(Query& query, std::uint32_t reference, int threshold, const std::int32_t* lastEntry, std::int32_t from,
                                   std::vector<std::uint32_t>& found)
{
    if (threshold <= 0)
        return;
    if (threshold == 1) {
        if (lastEntry[reference] >= from)
            found.push_back(reference);
        return;
    }
    if (query.seen.size() * 64 < m_store.size())
        query.seen.assign((m_store.size() + 63) / 64, 0);
    if (blocksServe(threshold)) {
        // A table built for more blocks serves a smaller threshold as well.
        if (m_lists.empty() || m_layout.blocks() < threshold)
            buildBlocks(threshold);
        if (!m_partnered[reference]) {
            if (lastEntry[reference] >= from)
                found.push_back(reference);
            return;
        }
        query.sawBefore(reference);
        if (lastEntry[reference] >= from)
            check(query, reference, reference, threshold, found);
        referenceSamples(query, reference);
        const auto m = static_cast<std::size_t>(m_layout.blocks());
        std::array<std::uint32_t, kMaxBlocks> hashes;
        m_layout.hashAll(query.reference, hashes.data());
        // Each step of the lookups fetched for every block before any block takes the next.
        for (std::size_t b = 0; b < m; ++b)
            if (!m_lists[b].buckets.empty())
                __builtin_prefetch(m_lists[b].bucketOf(hashes[b]));
        for (std::size_t b = 0; b < m; ++b)
            if (!m_lists[b].buckets.empty())
                __builtin_prefetch(m_lists[b].values.data() + m_lists[b].recordBytes * m_lists[b].bucketOf(hashes[b])->value);
        // The reference's lists, each list's last pictures fetched before any is read.
        std::array<std::uint32_t, kMaxBlocks> begins;
        std::array<std::uint32_t, kMaxBlocks> ends;
        std::size_t lists = 0;
        for (std::size_t b = 0; b < m; ++b) {
            const auto [begin, end] = m_lists[b].find(hashes[b]);
            if (begin == end)
                continue;
            __builtin_prefetch(m_lists[b].members.data() + (end - 1) * static_cast<std::size_t>(m_lists[b].memberBits) / 8);
            begins[lists] = begin;
            ends[lists] = end;
            hashes[lists++] = static_cast<std::uint32_t>(b);
        }
        // Each list ascends by the list order: read from its end, it holds the pictures that end
        // late enough first, and once one ends too early so do all before it. When `from` comes
        // right after the reference's own last entry, as it does for a reference's first query,
        // the first too early is the reference itself, which is in each of its lists: the
        // pictures after it are taken without looking up their last entries.
        const bool ordered = lastEntry == m_listOrder;
        const bool stopAtReference = ordered && lastEntry[reference] + 1 == from;
        query.candidates.clear();
        for (std::size_t l = 0; l < lists; ++l) {
            const BlockLists& members = m_lists[hashes[l]];
            for (std::uint32_t end = ends[l]; end > begins[l];) {
                const std::uint32_t id = members.member(--end);
                if (stopAtReference) {
                    if (id == reference)
                        break;
                } else if (lastEntry[id] < from) {
                    if (ordered)
                        break;
                    continue;
                }
                if (!query.sawBefore(id)) {
                    query.candidates.push_back(id);
                    m_store.prefetchRecord(id);
                }
            }
        }
        // The candidates' records and pictures lie anywhere in the store: each record was fetched
        // while the lists were read, its colours and mask (found through the record) are fetched
        // a few candidates ahead of its check.
        constexpr std::size_t kPicturesAhead = 8;
        const std::vector<std::uint32_t>& candidates = query.candidates;
        for (std::size_t c = 0; c < candidates.size(); ++c) {
            if (c + kPicturesAhead < candidates.size())
                m_store.prefetchColoursAndMask(candidates[c + kPicturesAhead]);
            check(query, reference, candidates[c], threshold, found);
        }
        for (const std::uint32_t id : candidates)
            query.unsee(id);
        query.unsee(reference);
        m_checked.fetch_add(std::exchange(query.checked, 0), std::memory_order_relaxed);
        return;
    }
    if (m_byBackground.size() != m_store.size())
        buildBackgroundOrder();
    const int own = m_store.backgroundCount(reference);
    const int low = std::max(0, own - threshold + 1);
    const int high = std::min(kSampleCount, own + threshold - 1);
    for (std::uint32_t k = m_backgroundStart[static_cast<std::size_t>(low)]; k < m_backgroundStart[static_cast<std::size_t>(high) + 1]; ++k)
        consider(query, reference, m_byBackground[k], threshold, lastEntry, from, found);
    m_checked.fetch_add(std::exchange(query.checked, 0), std::memory_order_relaxed);
}

std::size_t NeighbourIndex::tableBytes() const
{
    std::size_t bytes = m_query.seen.size() * 8 + m_byBackground.size() * 4 + m_partnered.size();
    for (const BlockLists& lists : m_lists)
        bytes += lists.bytes();
    return bytes;
}

} // namespace bw
