#include "PictureStore.h"

#include <algorithm>
#include <cstring>

namespace bw {
namespace {

constexpr std::size_t kChunkBytes = 1 << 20;
// Reading a colour number loads four bytes at once; the last ones of a picture need this slack.
constexpr std::size_t kSlack = 4;

inline std::uint32_t paletteColour(const std::uint8_t* palette, std::uint32_t number)
{
    const std::uint8_t* p = palette + 3 * number;
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 | static_cast<std::uint32_t>(p[2]) << 16;
}

inline std::uint32_t colourNumber(const std::uint8_t* indices, std::size_t bit, std::uint32_t mask)
{
    std::uint32_t word;
    std::memcpy(&word, indices + (bit >> 3), sizeof word);
    return (word >> (bit & 7)) & mask;
}

} // namespace

const std::uint8_t* PictureStore::keep(const std::vector<std::uint8_t>& bytes)
{
    const std::size_t needed = bytes.size() + kSlack;
    if (m_chunks.empty() || m_chunkSize - m_chunkUsed < needed) {
        const std::size_t size = std::max(kChunkBytes, needed);
        m_chunks.push_back(std::make_unique<std::uint8_t[]>(size));
        m_chunkSize = size;
        m_chunkUsed = 0;
    }
    std::uint8_t* target = m_chunks.back().get() + m_chunkUsed;
    if (!bytes.empty())
        std::memcpy(target, bytes.data(), bytes.size());
    m_chunkUsed += bytes.size();
    m_bytesUsed += bytes.size();
    return target;
}

namespace {

constexpr std::uint64_t kEmptySlot = 0;

// A slot holds the hash's upper half and the picture's number plus one (0 marks an empty slot).
inline std::uint64_t slotValue(std::uint32_t hashPart, std::uint32_t id)
{
    return static_cast<std::uint64_t>(hashPart) << 32 | (static_cast<std::uint64_t>(id) + 1);
}

} // namespace

void PictureStore::reserve(std::size_t pictures)
{
    m_records.reserve(pictures);
    growLookup(pictures + pictures / 3 + 1);
}

void PictureStore::growLookup(std::size_t atLeast)
{
    std::size_t wanted = 16;
    while (wanted < atLeast)
        wanted *= 2;
    if (wanted <= m_byHash.size())
        return;
    std::vector<std::uint64_t> old(wanted, kEmptySlot);
    old.swap(m_byHash);
    const std::size_t mask = wanted - 1;
    for (const std::uint64_t value : old) {
        if (value == kEmptySlot)
            continue;
        std::size_t slot = (value >> 32) & mask;
        while (m_byHash[slot] != kEmptySlot)
            slot = (slot + 1) & mask;
        m_byHash[slot] = value;
    }
}

std::uint32_t PictureStore::add(const EncodedPicture& picture)
{
    if ((m_records.size() + 1) * 4 > m_byHash.size() * 3)
        growLookup(m_byHash.size() * 2);
    const auto hashPart = static_cast<std::uint32_t>(picture.hash >> 32);
    const std::size_t mask = m_byHash.size() - 1;
    std::size_t slot = hashPart & mask;
    for (; m_byHash[slot] != kEmptySlot; slot = (slot + 1) & mask) {
        if (m_byHash[slot] >> 32 != hashPart)
            continue;
        const auto found = static_cast<std::uint32_t>(m_byHash[slot]) - 1;
        const Record& r = m_records[found];
        if (r.colours == picture.colours && r.length == picture.bytes.size()
            && std::memcmp(r.data, picture.bytes.data(), r.length) == 0)
            return found;
    }
    const auto id = static_cast<std::uint32_t>(m_records.size());
    m_records.push_back({keep(picture.bytes), static_cast<std::uint16_t>(picture.bytes.size()), picture.colours,
                         picture.backgroundCount, picture.mainBits});
    m_byHash[slot] = slotValue(hashPart, id);
    return id;
}

void PictureStore::endAdding() { std::vector<std::uint64_t>().swap(m_byHash); }

// A picture whose rarer colours follow its colour numbers (see EncodedPicture).
void PictureStore::decodeWithRare(const Record& r, std::uint32_t* samples) const
{
    const int bits = r.mainBits;
    const int fullBits = indexBits(r.colours);
    const std::uint8_t* indices = r.data + 3 * std::size_t {r.colours};
    const std::uint8_t* rare = indices + static_cast<std::size_t>(kSampleCount * bits / 8);
    const std::uint32_t mask = (1u << bits) - 1;
    const std::uint32_t fullMask = (1u << fullBits) - 1;
    std::size_t rareBit = 0;
    for (int k = 0; k < kSampleCount; ++k) {
        std::uint32_t number = colourNumber(indices, static_cast<std::size_t>(k * bits), mask);
        if (number == mask) {
            number = colourNumber(rare, rareBit, fullMask);
            rareBit += static_cast<std::size_t>(fullBits);
        }
        samples[k] = paletteColour(r.data, number);
    }
}

void PictureStore::decode(std::uint32_t id, std::uint32_t* samples) const
{
    const Record& r = m_records[id];
    const int bits = r.mainBits;
    if (bits < indexBits(r.colours)) {
        decodeWithRare(r, samples);
        return;
    }
    if (bits == 0) {
        std::fill(samples, samples + kSampleCount, paletteColour(r.data, 0));
        return;
    }
    std::uint32_t palette[kSampleCount];
    for (std::uint32_t c = 0; c < r.colours; ++c)
        palette[c] = paletteColour(r.data, c);
    const std::uint8_t* indices = r.data + 3 * std::size_t {r.colours};
    const std::uint32_t mask = (1u << bits) - 1;
    for (int k = 0; k < kSampleCount; ++k)
        samples[k] = palette[colourNumber(indices, static_cast<std::size_t>(k * bits), mask)];
}

namespace {

// The colour at `number` read as one four-byte load; the byte after the colour belongs to the
// next colour, the colour numbers or the slack behind every picture.
inline std::uint32_t paletteColourFast(const std::uint8_t* palette, std::uint32_t number)
{
    std::uint32_t word;
    std::memcpy(&word, palette + 3 * number, sizeof word);
    return word & 0xFFFFFFu;
}

// The count with the width of the colour numbers fixed at compile time, so that the bit
// arithmetic folds into constants. The samples are counted in runs of kRun without a branch per
// sample (a run of kRun colour numbers starts on a byte boundary); the decision is taken between
// runs, which gives the same answer as stopping at the deciding sample.
template <int Bits>
bool closerThanPacked(const std::uint32_t* reference, const std::uint8_t* palette, const std::uint8_t* indices, int threshold)
{
    constexpr int kRun = 32;
    constexpr std::uint32_t mask = (1u << Bits) - 1;
    const int enoughAgreements = kSampleCount - threshold + 1;
    int differences = 0;
    for (int start = 0; start < kSampleCount; start += kRun) {
        const std::uint8_t* run = indices + static_cast<std::size_t>(start) * Bits / 8;
        const std::uint32_t* ref = reference + start;
        int runDifferences = 0;
        for (int k = 0; k < kRun; ++k) {
            const std::size_t bit = static_cast<std::size_t>(k) * Bits;
            runDifferences += ref[k] != paletteColourFast(palette, colourNumber(run, bit, mask)) ? 1 : 0;
        }
        differences += runDifferences;
        if (differences >= threshold)
            return false;
        if (start + kRun - differences >= enoughAgreements)
            return true;
    }
    return true;
}

// The same for a picture whose rarer colours follow in a stream of their own: the highest
// number of `Bits` bits stands for the next colour of that stream.
template <int Bits>
bool closerThanWithRare(const std::uint32_t* reference, const std::uint8_t* palette, const std::uint8_t* indices,
                        const std::uint8_t* rare, int fullBits, int threshold)
{
    constexpr int kRun = 32;
    constexpr std::uint32_t mask = (1u << Bits) - 1;
    const std::uint32_t fullMask = (1u << fullBits) - 1;
    const int enoughAgreements = kSampleCount - threshold + 1;
    std::size_t rareBit = 0;
    int differences = 0;
    for (int start = 0; start < kSampleCount; start += kRun) {
        const std::uint8_t* run = indices + static_cast<std::size_t>(start) * Bits / 8;
        const std::uint32_t* ref = reference + start;
        int runDifferences = 0;
        for (int k = 0; k < kRun; ++k) {
            std::uint32_t number = colourNumber(run, static_cast<std::size_t>(k) * Bits, mask);
            if (number == mask) {
                number = colourNumber(rare, rareBit, fullMask);
                rareBit += static_cast<std::size_t>(fullBits);
            }
            runDifferences += ref[k] != paletteColourFast(palette, number) ? 1 : 0;
        }
        differences += runDifferences;
        if (differences >= threshold)
            return false;
        if (start + kRun - differences >= enoughAgreements)
            return true;
    }
    return true;
}

} // namespace

bool PictureStore::closerThan(const std::uint32_t* reference, std::uint32_t id, int threshold) const
{
    if (threshold <= 0)
        return false;
    if (threshold > kSampleCount)
        return true;
    const Record& r = m_records[id];
    const std::uint8_t* indices = r.data + 3 * std::size_t {r.colours};
    if (const int fullBits = indexBits(r.colours); r.mainBits < fullBits) {
        const std::uint8_t* rare = indices + static_cast<std::size_t>(kSampleCount * r.mainBits / 8);
        switch (r.mainBits) {
        case 1: return closerThanWithRare<1>(reference, r.data, indices, rare, fullBits, threshold);
        case 2: return closerThanWithRare<2>(reference, r.data, indices, rare, fullBits, threshold);
        case 3: return closerThanWithRare<3>(reference, r.data, indices, rare, fullBits, threshold);
        case 4: return closerThanWithRare<4>(reference, r.data, indices, rare, fullBits, threshold);
        case 5: return closerThanWithRare<5>(reference, r.data, indices, rare, fullBits, threshold);
        case 6: return closerThanWithRare<6>(reference, r.data, indices, rare, fullBits, threshold);
        case 7: return closerThanWithRare<7>(reference, r.data, indices, rare, fullBits, threshold);
        case 8: return closerThanWithRare<8>(reference, r.data, indices, rare, fullBits, threshold);
        default: return closerThanWithRare<9>(reference, r.data, indices, rare, fullBits, threshold);
        }
    }
    switch (r.mainBits) {
    case 0: {
        // One colour: agreements and differences are counted on the colour itself.
        const std::uint32_t colour = paletteColour(r.data, 0);
        const int differences = static_cast<int>(std::count_if(reference, reference + kSampleCount,
                                                               [colour](std::uint32_t v) { return v != colour; }));
        return differences < threshold;
    }
    case 1: return closerThanPacked<1>(reference, r.data, indices, threshold);
    case 2: return closerThanPacked<2>(reference, r.data, indices, threshold);
    case 3: return closerThanPacked<3>(reference, r.data, indices, threshold);
    case 4: return closerThanPacked<4>(reference, r.data, indices, threshold);
    case 5: return closerThanPacked<5>(reference, r.data, indices, threshold);
    case 6: return closerThanPacked<6>(reference, r.data, indices, threshold);
    case 7: return closerThanPacked<7>(reference, r.data, indices, threshold);
    case 8: return closerThanPacked<8>(reference, r.data, indices, threshold);
    case 9: return closerThanPacked<9>(reference, r.data, indices, threshold);
    default: return closerThanPacked<10>(reference, r.data, indices, threshold);
    }
}

void ColourCounts::count(const std::uint32_t* samples, std::uint32_t background)
{
    for (int k = 0; k < kSampleCount; ++k)
        m_counts[slot(samples[k])] = static_cast<std::uint16_t>(m_counts[slot(samples[k])] + (samples[k] != background ? 1 : 0));
}

void ColourCounts::forget(const std::uint32_t* samples)
{
    for (int k = 0; k < kSampleCount; ++k)
        m_counts[slot(samples[k])] = 0;
}

int PictureStore::agreementBound(const ColourCounts& reference, std::uint32_t id, int enough) const
{
    const Record& r = m_records[id];
    int bound = 0;
    // Colours are distinct within a picture; colours sharing a slot only raise the bound.
    for (std::uint32_t c = 0; c < r.colours && bound < enough; ++c)
        bound += reference.at(paletteColourFast(r.data, c));
    return bound;
}

std::size_t PictureStore::storedBytes() const { return m_bytesUsed + m_records.size() * sizeof(Record); }

} // namespace bw
