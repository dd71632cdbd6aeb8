#pragma once

#include "HugePages.h"
#include "PictureCapture.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace bw {

// How many samples of a picture have each colour other than the background, with colours folded
// into a table: the count at a colour's slot is at least that colour's count, and a slot may
// gather several colours. The background's own samples are not counted.
class ColourCounts {
public:
    static constexpr int kSlotBits = 14;
    void count(const std::uint32_t* samples, std::uint32_t background);
    // Empties the slots `samples` (the picture counted last) filled, cheaper than clearing all.
    void forget(const std::uint32_t* samples);
    static std::uint32_t slot(std::uint32_t colour) { return (colour * 0x9E3779B1u) >> (32 - kSlotBits); }
    int at(std::uint32_t colour) const { return m_counts[slot(colour)]; }

private:
    std::array<std::uint16_t, std::size_t {1} << kSlotBits> m_counts {};
};

// Every distinct picture of a comparison run, each kept once in its encoded form (see
// EncodedPicture), numbered from 0 in the order first seen.
class PictureStore {
public:
    explicit PictureStore(std::uint32_t background) : m_background(background) {}

    // The number of the picture, adding it unless an equal picture is stored already.
    std::uint32_t add(const EncodedPicture& picture);
    void reserve(std::size_t pictures);
    std::uint32_t size() const { return static_cast<std::uint32_t>(m_records.size()); }
    // Frees the lookup of equal pictures once nothing more will be added.
    void endAdding();

    void decode(std::uint32_t id, std::uint32_t* samples) const;
    // Decodes a picture kept outside a store: `data` must hold at least kPaddedBytes readable
    // bytes (zeros behind the picture), which no reading of numbers out of range can pass, so
    // that bytes from a file cannot lead outside it whatever they say.
    // The store keeps as many readable bytes behind the start of each picture, so it may be given
    // pictures from a file as they are. Whatever a head says, reading stops within 1,024 colours,
    // a mask's 128 bytes (also as runs), 10 bits of code and 25 of the rare stream a sample.
    static constexpr std::size_t kPaddedBytes = 8192;
    static void decodePadded(const EncodedPicture& header, const std::uint8_t* data, std::uint32_t background, std::uint32_t* samples);
    std::uint32_t background() const { return m_background; }
    void backgroundMask(std::uint32_t id, BackgroundMask& out) const;
    // The samples where exactly one of `reference` and picture `id` is background, and where both are.
    void compareMasks(const BackgroundMask& reference, std::uint32_t id, int& onlyOne, int& both) const;
    int backgroundCount(std::uint32_t id) const { return m_records[id].backgroundCount; }
    // Asks the processor to fetch picture `id`'s record, or (once the record is near) its
    // colours and background mask, ahead of the comparisons that read them.
    void prefetchRecord(std::uint32_t id) const { __builtin_prefetch(&m_records[id]); }
    void prefetchColoursAndMask(std::uint32_t id) const
    {
        const Record& r = m_records[id];
        __builtin_prefetch(r.data);
        __builtin_prefetch(r.data + 3 * listedColours(r));
    }
    // True when picture `id` differs from `reference` (kSampleCount samples) in fewer than
    // `threshold` samples. Stops as soon as the answer is certain either way.
    bool closerThan(const std::uint32_t* reference, std::uint32_t id, int threshold) const;
    // An upper bound on the samples other than background that picture `id` can share with the
    // picture whose colours are counted in `reference`: a sample agrees only where both have the
    // same colour, so at most the reference's count of each of `id`'s colours. Stops once the
    // bound reaches `enough`. Reads only the colours, not the samples.
    int agreementBound(const ColourCounts& reference, std::uint32_t id, int enough) const;

    // Bytes held for the pictures: encoded forms plus one record per picture.
    std::size_t storedBytes() const;

    struct Layout;

private:
    struct Record {
        const std::uint8_t* data;
        std::uint16_t length;
        std::uint16_t colours;
        std::uint16_t backgroundCount;
        std::uint8_t mainBits;
        std::uint8_t escapes; // and the picture's form from bit 2 on
    };
    const std::uint8_t* keep(const std::vector<std::uint8_t>& bytes);
    // The width of the differences of the colours without a code, 0 when they are listed.
    static int nearBits(const Record& r) { return (r.escapes & 3) == 2 ? r.escapes >> 3 & 7 : 0; }
    static std::size_t listedColours(const Record& r) { return nearBits(r) ? (std::size_t {1} << r.mainBits) - 2 : r.colours; }

    std::uint32_t m_background;
    std::vector<Record> m_records;
    std::vector<HugeBytes> m_chunks;
    std::size_t m_chunkUsed = 0;
    std::size_t m_chunkSize = 0;
    std::size_t m_bytesUsed = 0;
    // The lookup of equal pictures: open addressing over 32 bits of each picture's hash and its
    // number, eight bytes a slot, no more than three quarters full.
    std::vector<std::uint64_t> m_byHash;
    void growLookup(std::size_t atLeast);
    std::size_t lookupSlot(std::uint32_t hashPart) const;
};

} // namespace bw
