#include "NeighbourIndex.h"

#include <algorithm>
#include <cstdlib>
#include <numeric>
#include <random>

namespace bw {

NeighbourIndex::NeighbourIndex(const PictureStore& store)
    : m_store(store)
    , m_order(kSampleCount)
    , m_seen(store.size(), 0)
{
    // A fixed shuffle: the same for every picture and every run.
    std::iota(m_order.begin(), m_order.end(), std::uint16_t {0});
    std::uint64_t state = 0x2545F4914F6CDD1Dull;
    for (std::size_t k = m_order.size() - 1; k > 0; --k) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        std::swap(m_order[k], m_order[static_cast<std::size_t>(state % (k + 1))]);
    }
}

std::uint32_t NeighbourIndex::blockHash(const std::uint32_t* samples, int block) const
{
    std::uint64_t h = 0xCBF29CE484222325ull ^ static_cast<std::uint64_t>(block);
    for (std::uint32_t k = m_blockStart[static_cast<std::size_t>(block)]; k < m_blockStart[static_cast<std::size_t>(block) + 1]; ++k) {
        h = (h ^ samples[m_order[k]]) * 0x100000001B3ull;
        h ^= h >> 31;
    }
    return static_cast<std::uint32_t>(h ^ (h >> 32));
}

void NeighbourIndex::buildBlocks(int blocks)
{
    m_blocks = blocks;
    m_blockStart.resize(static_cast<std::size_t>(blocks) + 1);
    for (int b = 0; b <= blocks; ++b)
        m_blockStart[static_cast<std::size_t>(b)] = static_cast<std::uint32_t>(b * kSampleCount / blocks);
    m_tables.assign(static_cast<std::size_t>(blocks), {});
    for (auto& table : m_tables)
        table.reserve(m_store.size());
    std::uint32_t samples[kSampleCount];
    for (std::uint32_t id = 0; id < m_store.size(); ++id) {
        m_store.decode(id, samples);
        for (int b = 0; b < blocks; ++b)
            m_tables[static_cast<std::size_t>(b)].push_back(static_cast<std::uint64_t>(blockHash(samples, b)) << 32 | id);
    }
    for (auto& table : m_tables)
        std::sort(table.begin(), table.end());
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

void NeighbourIndex::consider(std::uint32_t reference, const std::uint32_t* referenceSamples, std::uint32_t candidate,
                              int threshold, const std::function<bool(std::uint32_t)>& wanted,
                              std::vector<std::uint32_t>& found)
{
    if (m_seen[candidate] == m_stamp)
        return;
    m_seen[candidate] = m_stamp;
    if (!wanted(candidate))
        return;
    // Each sample that is background in one picture and not in the other is a difference.
    if (std::abs(m_store.backgroundCount(candidate) - m_store.backgroundCount(reference)) >= threshold)
        return;
    ++m_verified;
    if (candidate == reference || m_store.closerThan(referenceSamples, candidate, threshold))
        found.push_back(candidate);
}

void NeighbourIndex::closePictures(std::uint32_t reference, const std::uint32_t* referenceSamples, int threshold,
                                   const std::function<bool(std::uint32_t)>& wanted, std::vector<std::uint32_t>& found)
{
    if (threshold <= 0)
        return;
    if (threshold == 1) {
        if (wanted(reference))
            found.push_back(reference);
        return;
    }
    if (++m_stamp == 0) { // wrapped: forget all old stamps
        std::fill(m_seen.begin(), m_seen.end(), 0);
        m_stamp = 1;
    }
    if (threshold <= kMaxBlocks) {
        if (m_blocks < threshold)
            buildBlocks(threshold);
        for (int b = 0; b < m_blocks; ++b) {
            const std::vector<std::uint64_t>& table = m_tables[static_cast<std::size_t>(b)];
            const std::uint64_t key = static_cast<std::uint64_t>(blockHash(referenceSamples, b)) << 32;
            for (auto it = std::lower_bound(table.begin(), table.end(), key); it != table.end() && (*it >> 32) == (key >> 32); ++it)
                consider(reference, referenceSamples, static_cast<std::uint32_t>(*it), threshold, wanted, found);
        }
        return;
    }
    if (m_byBackground.size() != m_store.size())
        buildBackgroundOrder();
    const int own = m_store.backgroundCount(reference);
    const int low = std::max(0, own - threshold + 1);
    const int high = std::min(kSampleCount, own + threshold - 1);
    for (std::uint32_t k = m_backgroundStart[static_cast<std::size_t>(low)]; k < m_backgroundStart[static_cast<std::size_t>(high) + 1]; ++k)
        consider(reference, referenceSamples, m_byBackground[k], threshold, wanted, found);
}

std::size_t NeighbourIndex::tableBytes() const
{
    std::size_t bytes = m_seen.size() * 4 + m_byBackground.size() * 4;
    for (const auto& table : m_tables)
        bytes += table.capacity() * 8;
    return bytes;
}

} // namespace bw
