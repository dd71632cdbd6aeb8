#include "NeighbourIndex.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdlib>
#include <numeric>
#include <random>
#include <thread>

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

std::uint32_t BlockLayout::hash(const Samples& samples, int block) const
{
    std::uint64_t h = 0xCBF29CE484222325ull ^ static_cast<std::uint64_t>(block);
    for (std::uint32_t k = m_start[static_cast<std::size_t>(block)]; k < m_start[static_cast<std::size_t>(block) + 1]; ++k) {
        h = (h ^ samples[m_order[k]]) * 0x100000001B3ull;
        h ^= h >> 31;
    }
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

void BlockLayout::hashAll(const Samples& samples, std::uint32_t* out) const
{
    for (int b = 0; b < m_blocks; ++b)
        out[b] = hash(samples, b);
}

namespace {

// Sorts keys by their upper 32 bits, keeping the order of keys with equal upper bits: three
// counting passes of 11 bits each, much faster than a comparison sort for these table sizes.
void sortByUpperHalf(std::vector<std::uint64_t>& keys, std::vector<std::uint64_t>& scratch)
{
    constexpr int kDigitBits = 11;
    constexpr std::uint64_t kDigitMask = (1u << kDigitBits) - 1;
    scratch.resize(keys.size());
    for (int shift = 32; shift < 64; shift += kDigitBits) {
        std::array<std::uint32_t, std::size_t {1} << kDigitBits> start {};
        for (const std::uint64_t key : keys)
            ++start[(key >> shift) & kDigitMask];
        std::uint32_t sum = 0;
        for (std::uint32_t& s : start) {
            const std::uint32_t count = s;
            s = sum;
            sum += count;
        }
        for (const std::uint64_t key : keys)
            scratch[start[(key >> shift) & kDigitMask]++] = key;
        keys.swap(scratch);
    }
}

} // namespace

NeighbourIndex::NeighbourIndex(const PictureStore& store, int blocks, std::vector<std::uint32_t> blockHashes, const std::int32_t* ringOrder)
    : m_store(store)
    , m_layout(blocks)
    , m_links(std::move(blockHashes))
    , m_ringOrder(ringOrder)
    , m_query(store.size())
{
    if (blocks > 0 && m_links.size() == static_cast<std::size_t>(blocks) * store.size())
        buildBlocks(blocks);
    else
        m_links.clear();
}

void NeighbourIndex::buildBlocks(int blocks)
{
    const std::size_t pictures = m_store.size();
    const auto m = static_cast<std::size_t>(blocks);
    if (m_layout.blocks() != blocks || m_links.size() != m * pictures || m_linked) {
        m_layout = BlockLayout(blocks);
        m_links.assign(m * pictures, 0);
        Samples samples;
        for (std::uint32_t id = 0; id < pictures; ++id) {
            m_store.decode(id, samples.data());
            m_layout.hashAll(samples, m_links.data() + id * m);
        }
    }
    // Each block's hashes are sorted away into keys of their own, and the block's column is then
    // overwritten with the links of its rings: one table serves for the hashes and the rings, so
    // that the rings cost no more memory than the hashes did.
    // The sort keeps the order of equal hashes, so the pictures enter it in ring order.
    std::vector<std::uint32_t> order(pictures);
    std::iota(order.begin(), order.end(), 0u);
    if (m_ringOrder)
        std::sort(order.begin(), order.end(), [this](std::uint32_t a, std::uint32_t b) { return m_ringOrder[a] < m_ringOrder[b]; });
    const auto linkBlocks = [&](std::size_t firstBlock, std::size_t endBlock) {
        std::vector<std::uint64_t> keys(pictures);
        std::vector<std::uint64_t> scratch;
        for (std::size_t b = firstBlock; b < endBlock; ++b) {
            keys.resize(pictures);
            for (std::size_t k = 0; k < pictures; ++k)
                keys[k] = static_cast<std::uint64_t>(m_links[order[k] * m + b]) << 32 | order[k];
            sortByUpperHalf(keys, scratch);
            std::size_t first = 0;
            for (std::size_t k = 0; k < pictures; ++k) {
                const auto id = static_cast<std::uint32_t>(keys[k]);
                const bool lastOfRun = k + 1 == pictures || (keys[k + 1] >> 32) != (keys[k] >> 32);
                const auto next = static_cast<std::uint32_t>(lastOfRun ? keys[first] : keys[k + 1]);
                m_links[id * m + b] = next;
                if (lastOfRun)
                    first = k + 1;
            }
        }
    };
    // The two threads take the first and the second half of the blocks, so that they seldom
    // write into the same cache line. For a few blocks one thread is quick enough and keeps its
    // keys alone in memory.
    if (m >= 8 && pictures > 10000 && std::thread::hardware_concurrency() > 1) {
        std::thread helper(linkBlocks, m / 2, m);
        linkBlocks(0, m / 2);
        helper.join();
    } else {
        linkBlocks(0, m);
    }
    m_linked = true;
    m_partnered.assign(pictures, 0);
    for (std::uint32_t id = 0; id < pictures; ++id)
        for (std::size_t b = 0; b < m && !m_partnered[id]; ++b)
            m_partnered[id] = m_links[id * m + b] != id;
}

const std::uint32_t* NeighbourIndex::referenceSamples(Query& query, std::uint32_t reference)
{
    if (query.decoded != reference) {
        if (query.decoded != UINT32_MAX)
            query.colours.forget(query.reference.data());
        m_store.decode(reference, query.reference.data());
        query.colours.count(query.reference.data(), m_store.background());
        query.decoded = reference;
    }
    return query.reference.data();
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
    if (query.seen[candidate] == query.stamp)
        return;
    query.seen[candidate] = query.stamp;
    if (lastEntry[candidate] < from)
        return;
    // Each sample that is background in one picture and not in the other is a difference.
    if (std::abs(m_store.backgroundCount(candidate) - m_store.backgroundCount(reference)) >= threshold)
        return;
    if (candidate == reference) {
        found.push_back(candidate);
        return;
    }
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
    const std::uint32_t* samples = referenceSamples(query, reference);
    if (enough > 0 && m_store.agreementBound(query.colours, candidate, enough) < enough)
        return;
    ++query.verified;
    if (m_store.closerThan(samples, candidate, threshold))
        found.push_back(candidate);
}

bool NeighbourIndex::prepare(int threshold)
{
    if (threshold < 2 || threshold > kMaxBlocks)
        return false;
    if (!m_linked || m_layout.blocks() < threshold)
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
    if (++query.stamp == 0) { // wrapped: forget all old stamps
        std::fill(query.seen.begin(), query.seen.end(), 0);
        query.stamp = 1;
    }
    if (threshold <= kMaxBlocks) {
        // A table built for more blocks serves a smaller threshold as well.
        if (!m_linked || m_layout.blocks() < threshold)
            buildBlocks(threshold);
        if (!m_partnered[reference]) {
            if (lastEntry[reference] >= from)
                found.push_back(reference);
            return;
        }
        if (lastEntry[reference] >= from)
            consider(query, reference, reference, threshold, lastEntry, from, found);
        // Each ring is a chain of loads that depend on each other, spread over a large table:
        // the rings are walked side by side, one step of each in turn, so that the processor
        // fetches the next link of every ring at once. Each step's candidates are prefetched
        // before they are checked.
        const auto m = static_cast<std::size_t>(m_layout.blocks());
        const std::uint32_t* links = m_links.data();
        std::array<std::uint32_t, kMaxBlocks> at;
        std::array<std::uint32_t, kMaxBlocks> blockOf;
        std::array<std::uint32_t, kMaxBlocks> step;
        // Past the turn of an ordered ring every picture's last entry lies below the reference's.
        const std::int32_t* turnOrder = lastEntry == m_ringOrder && lastEntry[reference] < from ? m_ringOrder : nullptr;
        std::size_t rings = 0;
        for (std::size_t b = 0; b < m; ++b) {
            const std::uint32_t k = links[reference * m + b];
            if (k != reference && !(turnOrder && turnOrder[k] < turnOrder[reference])) {
                at[rings] = k;
                blockOf[rings++] = static_cast<std::uint32_t>(b);
            }
        }
        while (rings > 0) {
            std::size_t count = 0;
            for (std::size_t r = 0; r < rings;) {
                const std::uint32_t k = at[r];
                step[count++] = k;
                const std::uint32_t next = links[k * m + blockOf[r]];
                if (next == reference || (turnOrder && turnOrder[next] < turnOrder[k])) {
                    --rings;
                    at[r] = at[rings];
                    blockOf[r] = blockOf[rings];
                } else {
                    at[r++] = next;
                }
            }
            for (std::size_t c = 0; c < count; ++c) {
                __builtin_prefetch(&query.seen[step[c]]);
                __builtin_prefetch(&lastEntry[step[c]]);
                m_store.prefetchRecord(step[c]);
            }
            for (std::size_t c = 0; c < count; ++c) {
                if (c + 4 < count)
                    m_store.prefetchMask(step[c + 4]);
                consider(query, reference, step[c], threshold, lastEntry, from, found);
            }
        }
        return;
    }
    if (m_byBackground.size() != m_store.size())
        buildBackgroundOrder();
    const int own = m_store.backgroundCount(reference);
    const int low = std::max(0, own - threshold + 1);
    const int high = std::min(kSampleCount, own + threshold - 1);
    for (std::uint32_t k = m_backgroundStart[static_cast<std::size_t>(low)]; k < m_backgroundStart[static_cast<std::size_t>(high) + 1]; ++k)
        consider(query, reference, m_byBackground[k], threshold, lastEntry, from, found);
}

std::size_t NeighbourIndex::tableBytes() const
{
    return m_query.seen.size() * 4 + m_byBackground.size() * 4 + m_links.capacity() * 4 + m_partnered.size();
}

} // namespace bw
