#pragma once

#include "PictureStore.h"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <utility>
#include <vector>

namespace bw {

// Sample positions split into blocks, each spread over the whole picture by a fixed shuffle (the
// same for every picture and every run), so that a block is rarely all background.
// A block's hash has 24 bits: pictures that share a hash by chance only become candidates of
// each other, and every candidate is checked; a fourth byte per block and picture would cost more.
class BlockLayout {
public:
    static constexpr int kHashBits = 24;
    explicit BlockLayout(int blocks = 0);
    int blocks() const { return m_blocks; }
    std::uint32_t hash(const Samples& samples, int block) const;
    void hashAll(const Samples& samples, std::uint32_t* out) const { hashBlocks(samples, 0, m_blocks, out); }
    // The hashes of blocks first..end-1, block b's at out[b - first].
    void hashBlocks(const Samples& samples, int first, int end, std::uint32_t* out) const;

private:
    int m_blocks;
    std::array<std::uint16_t, kSampleCount> m_order {};
    std::vector<std::uint32_t> m_start; // blocks + 1 offsets into m_order
};

// The hashes of one block of each picture in turn, three bytes each.
class HashColumn {
public:
    HashColumn() = default;
    explicit HashColumn(std::size_t size) : m_bytes(3 * size) {}
    void reserve(std::size_t size) { m_bytes.reserve(3 * size); }
    std::size_t size() const { return m_bytes.size() / 3; }
    void push_back(std::uint32_t hash)
    {
        m_bytes.resize(m_bytes.size() + 3);
        putUint24(m_bytes.data() + m_bytes.size() - 3, hash);
    }
    void set(std::size_t k, std::uint32_t hash) { putUint24(m_bytes.data() + 3 * k, hash); }
    std::uint32_t operator[](std::size_t k) const
    {
        return m_bytes[3 * k] | static_cast<std::uint32_t>(m_bytes[3 * k + 1]) << 8 | static_cast<std::uint32_t>(m_bytes[3 * k + 2]) << 16;
    }

private:
    std::vector<std::uint8_t> m_bytes;
};
// Per block, its hash of each picture.
using BlockHashes = std::vector<HashColumn>;

// Finds, exactly, the stored pictures that differ from a given one in fewer than t samples,
// without comparing it with every picture.
//
// Up to kMaxBlocks: the positions are split into m >= t blocks, each spread over the whole
// picture by a fixed shuffle, so that a block is rarely all background. Two pictures that differ
// in at most t - 1 samples agree completely on at least one block, so only pictures sharing a
// block value with the reference are candidates. For each block, the pictures that share their
// value with another are kept together in one list per value (a picture alone with its value is
// kept nowhere), found through a small directory by the value's hash: a query hashes the
// reference's blocks and reads each of its lists in one piece, instead of chasing links through memory.
// The tables are built for the threshold in use and built again only when the threshold rises
// above their block count.
// Above kMaxBlocks blocks would be tiny; pictures sorted by their number of background samples
// are scanned instead, only as far as that number alone could still allow a match.
// Every candidate is first checked against that lower bound, against the samples where exactly
// one of the two is background (and taken at once when the samples where both are background
// already make it close), against the bound its colours
// give (a sample of a colour the reference lacks is a difference), then counted with an early exit.
class NeighbourIndex {
public:
    static constexpr int kMaxBlocks = 128;
    // At most this many blocks are hashed while the pictures are captured: the hashes of all
    // blocks, three bytes per block and picture beside the pictures, were a run's peak of memory.
    // The others are hashed afterwards from the stored pictures, in passes that each hash as many
    // blocks (at least kPassBlocks) as fit in the capture's room for hashes beside the lists built
    // before. Each pass decodes every picture once; with 40 blocks from the capture the lists of
    // variant collections leave room to hash the rest of 64 blocks in one pass.
    static constexpr int kBlocksFromCapture = 40;
    static constexpr int kPassBlocks = 16;
    // Pictures are numbered in at most 23 bits in the lists; with more the lists are not built,
    // and queries scan by number of background samples.
    static constexpr std::uint32_t kMaxPictures = 1u << 23;

    // `blockHashes`: the hashes of the first blocks (at most `blocks`) of every picture for the
    // first threshold, computed while the pictures were captured; may be empty. Each block's
    // hashes are freed once its list is built.
    // `listOrder` (optional, one value per picture, all different, kept by the caller while the
    // index lives): each list ascends by it. Queries whose `lastEntry` is that same table read
    // each list from its end and stop at the first picture whose last entry lies before `from`.
    NeighbourIndex(const PictureStore& store, int blocks, BlockHashes blockHashes, const std::int32_t* listOrder = nullptr);

    // What one thread's queries keep between them: queries on threads of their own need a
    // Query each, and may run together only once prepare() has been called for their threshold.
    struct Query {
        explicit Query(std::size_t pictures) : seen((pictures + 63) / 64, 0) {}
        // A bit per picture, set while the current query considers it; cleared at its end
        // through `candidates`, so that it is small enough to stay in the processor's cache.
        std::vector<std::uint64_t> seen;
        Samples reference {};
        std::uint32_t decoded = UINT32_MAX; // the picture in `reference`
        ColourCounts colours;               // the colours of picture `counted`
        std::uint32_t counted = UINT32_MAX;
        BackgroundMask mask {}; // the background samples of picture `masked`
        std::uint32_t masked = UINT32_MAX;
        std::uint64_t verified = 0;
        std::uint64_t checked = 0;             // candidates of the current query that reached the bounds
        std::vector<std::uint32_t> candidates; // of the current query, each once
        // True when the current query has considered `id` already; marks it considered.
        bool sawBefore(std::uint32_t id)
        {
            std::uint64_t& word = seen[id / 64];
            const std::uint64_t bit = std::uint64_t {1} << (id % 64);
            const bool before = (word & bit) != 0;
            word |= bit;
            return before;
        }
        void unsee(std::uint32_t id) { seen[id / 64] &= ~(std::uint64_t {1} << (id % 64)); }
        std::vector<std::uint32_t> found; // room for the caller's results
    };

    // Appends to `found` the pictures closer than `threshold` to `reference` whose last entry
    // (`lastEntry`, per picture) is at least `from`, in no particular order. `reference` itself is
    // among them when threshold >= 1.
    void closePictures(std::uint32_t reference, int threshold, const std::int32_t* lastEntry, std::int32_t from,
                       std::vector<std::uint32_t>& found)
    {
        closePictures(m_query, reference, threshold, lastEntry, from, found);
    }
    void closePictures(Query& query, std::uint32_t reference, int threshold, const std::int32_t* lastEntry, std::int32_t from,
                       std::vector<std::uint32_t>& found);
    // Builds what queries at `threshold` need. True when queries at that threshold change nothing
    // shared, so that several threads may run them together (blocks serve it).
    bool prepare(int threshold);

    // For measurements: pictures counted so far, and the block tables' size.
    std::uint64_t verified() const { return m_query.verified; }
    std::uint64_t checked() const { return m_checked.load(std::memory_order_relaxed); } // by every thread's queries
    std::size_t tableBytes() const;

private:
    // The pictures of one block that share their value with another, value by value, each
    // value's pictures ascending by the list order, `memberBits` bits each (and seven bytes of
    // slack for reading eight at once). The values ascend by hash; a directory by the hash's
    // upper `bucketBits` bits (a few values a bucket) gives each bucket's first value and where
    // its pictures start, and each value keeps in one record the rest of its hash and the number
    // of its pictures, in two bytes where the directory leaves at most 12 bits of the hash, else
    // in three (a number too large for the bits left is kept in `counts`). A lookup reads its
    // bucket's few values: about three bytes a value, where a hash table of each value's hash and
    // list end would take eight.
    struct BlockLists {
        struct Bucket {
            std::uint32_t value;  // its first value
            std::uint32_t member; // where the pictures of that value start
        };
        std::vector<Bucket> buckets;                                 // 2^bucketBits and one more that ends the last
        std::vector<std::uint8_t> values;                            // a record a value, and two bytes of slack
        std::vector<std::pair<std::uint32_t, std::uint32_t>> counts; // (value, number) of the values of manyMembers or more
        std::vector<std::uint8_t> members;
        int bucketBits = 0;
        int restBits = 0; // of a hash, in a record below its number of pictures
        int recordBytes = 0;
        std::uint32_t manyMembers = 0;
        int memberBits = 0;
        // The range of the hash's pictures; empty when it has none.
        std::pair<std::uint32_t, std::uint32_t> find(std::uint32_t hash) const;
        const Bucket* bucketOf(std::uint32_t hash) const { return buckets.data() + (hash >> restBits); }
        std::uint32_t record(std::size_t value) const
        {
            std::uint32_t word;
            std::memcpy(&word, values.data() + static_cast<std::size_t>(recordBytes) * value, sizeof word);
            return recordBytes == 2 ? word & 0xFFFFu : word & 0xFFFFFFu;
        }
        std::uint32_t manyCount(std::size_t value) const;
        std::size_t memberCount = 0;
        std::uint32_t member(std::size_t k) const
        {
            const std::size_t bit = k * static_cast<std::size_t>(memberBits);
            std::uint64_t word;
            std::memcpy(&word, members.data() + bit / 8, sizeof word);
            return static_cast<std::uint32_t>(word >> (bit % 8)) & ((1u << memberBits) - 1);
        }
        void setMember(std::size_t k, std::uint32_t value)
        {
            const std::size_t bit = k * static_cast<std::size_t>(memberBits);
            std::uint64_t word;
            std::memcpy(&word, members.data() + bit / 8, sizeof word);
            word |= static_cast<std::uint64_t>(value) << (bit % 8);
            std::memcpy(members.data() + bit / 8, &word, sizeof word);
        }
        std::size_t bytes() const
        {
            return buckets.capacity() * sizeof(Bucket) + values.capacity() + counts.capacity() * sizeof(counts[0]) + members.capacity();
        }
    };

    void buildBlocks(int blocks, BlockHashes hashes = {});
    void hashFromPictures(BlockHashes& hashes, std::size_t first, std::size_t end) const;
    void buildLists(BlockHashes& hashes, std::size_t first, std::size_t end, const std::vector<std::uint32_t>& order);
    bool blocksServe(int threshold) const { return threshold <= kMaxBlocks && m_store.size() < kMaxPictures; }
    void buildBackgroundOrder();
    const std::uint32_t* referenceSamples(Query& query, std::uint32_t reference);
    const ColourCounts& referenceColours(Query& query, std::uint32_t reference);
    void consider(Query& query, std::uint32_t reference, std::uint32_t candidate, int threshold, const std::int32_t* lastEntry,
                  std::int32_t from, std::vector<std::uint32_t>& found);
    void check(Query& query, std::uint32_t reference, std::uint32_t candidate, int threshold, std::vector<std::uint32_t>& found);

    const PictureStore& m_store;
    BlockLayout m_layout;
    std::vector<BlockLists> m_lists; // one per block; empty until built
    const std::int32_t* m_listOrder;
    // Pictures that share no block with any other picture have no candidates but themselves.
    std::vector<std::uint8_t> m_partnered;
    // Pictures by number of background samples, and where each count starts.
    std::vector<std::uint32_t> m_byBackground;
    std::vector<std::uint32_t> m_backgroundStart;
    Query m_query; // for the queries of the thread that owns the index
    std::atomic<std::uint64_t> m_checked {0};
};

} // namespace bw
