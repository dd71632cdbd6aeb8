#pragma once

#include "PictureStore.h"

#include <cstdint>
#include <functional>
#include <vector>

namespace bw {

// Finds, exactly, the stored pictures that differ from a given one in fewer than t samples,
// without comparing it with every picture.
//
// Up to kMaxBlocks: the positions are split into m >= t blocks, each spread over the whole
// picture by a fixed shuffle, so that a block is rarely all background. Two pictures that differ
// in at most t - 1 samples agree completely on at least one block, so only pictures sharing a
// block value with the reference are candidates. The block tables are built for the threshold
// in use and built again only when the threshold rises above their block count.
// Above kMaxBlocks blocks would be tiny; pictures sorted by their number of background samples
// are scanned instead, only as far as that number alone could still allow a match.
// Every candidate is first checked against that lower bound, then counted with an early exit.
class NeighbourIndex {
public:
    static constexpr int kMaxBlocks = 128;

    explicit NeighbourIndex(const PictureStore& store);

    // Appends to `found` the pictures closer than `threshold` to `reference` (its samples) for
    // which `wanted` is true, in no particular order. `reference` itself is among them when
    // threshold >= 1.
    void closePictures(std::uint32_t reference, const std::uint32_t* referenceSamples, int threshold,
                       const std::function<bool(std::uint32_t)>& wanted, std::vector<std::uint32_t>& found);

    // For measurements: pictures counted so far, and the block tables' size.
    std::uint64_t verified() const { return m_verified; }
    std::size_t tableBytes() const;

private:
    void buildBlocks(int blocks);
    std::uint32_t blockHash(const std::uint32_t* samples, int block) const;
    void buildBackgroundOrder();
    void consider(std::uint32_t reference, const std::uint32_t* referenceSamples, std::uint32_t candidate, int threshold,
                  const std::function<bool(std::uint32_t)>& wanted, std::vector<std::uint32_t>& found);

    const PictureStore& m_store;
    std::vector<std::uint16_t> m_order; // the shuffled sample positions
    int m_blocks = 0;
    std::vector<std::uint32_t> m_blockStart; // m_blocks + 1 offsets into m_order
    // Per block: (hash << 32 | picture), sorted.
    std::vector<std::vector<std::uint64_t>> m_tables;
    // Pictures by number of background samples, and where each count starts.
    std::vector<std::uint32_t> m_byBackground;
    std::vector<std::uint32_t> m_backgroundStart;
    std::vector<std::uint32_t> m_seen; // stamp per picture: considered for the current query
    std::uint32_t m_stamp = 0;
    std::uint64_t m_verified = 0;
};

} // namespace bw
