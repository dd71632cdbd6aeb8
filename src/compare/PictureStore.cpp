#include "PictureStore.h"

#include "HugePages.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <new>
#include <type_traits>

namespace bw {
namespace {

constexpr std::size_t kChunkBytes = kHugePage;
// Reading a colour number loads four bytes at once; the last ones of a picture need this slack.
constexpr std::size_t kSlack = 4;

inline std::uint32_t colourNumber(const std::uint8_t* indices, std::size_t bit, std::uint32_t mask)
{
    std::uint32_t word;
    std::memcpy(&word, indices + (bit >> 3), sizeof word);
    return (word >> (bit & 7)) & mask;
}

} // namespace

const std::uint8_t* PictureStore::keep(const std::vector<std::uint8_t>& bytes)
{
    // Every picture has kPaddedBytes of its chunk behind its start, so that even the bytes of a
    // damaged collection, whatever their head says, are read within the chunk.
    const std::size_t needed = std::max(bytes.size() + kSlack, kPaddedBytes);
    if (m_chunks.empty() || m_chunkSize - m_chunkUsed < needed) {
        const std::size_t size = std::max(kChunkBytes, needed);
        HugeBytes chunk = allocateHuge(size);
        if (!chunk)
            throw std::bad_alloc();
        m_chunks.push_back(std::move(chunk));
        m_chunkSize = size;
        m_chunkUsed = 0;
    }
    std::uint8_t* target = m_chunks.back().get() + m_chunkUsed;
    if (!bytes.empty())
        std::memcpy(target, bytes.data(), bytes.size());
    std::memset(target + bytes.size(), 0, kSlack);
    m_chunkUsed += bytes.size();
    m_bytesUsed += bytes.size();
    return target;
}

namespace {

constexpr std::uint64_t kEmptySlot = 0;

// A record keeps the form of its picture beside the escape codes.
inline std::uint8_t packedEscapes(std::uint8_t escapes, std::uint8_t form) { return static_cast<std::uint8_t>((escapes & 3) | form << 2); }

// A slot holds the hash's upper half and the picture's number plus one (0 marks an empty slot).
inline std::uint64_t slotValue(std::uint32_t hashPart, std::uint32_t id)
{
    return static_cast<std::uint64_t>(hashPart) << 32 | (static_cast<std::uint64_t>(id) + 1);
}

} // namespace

void PictureStore::reserve(std::size_t pictures)
{
    m_records.reserve(pictures);
    adviseHugePages(m_records.data(), pictures * sizeof(Record));
    growLookup((pictures + 1) * 4 / 3 + 1);
}

// A slot by the hash's value scaled to the table, which need not be a power of two: the lookup
// is a run's peak of memory while the pictures are captured, and a table of the size needed
// takes up to half less than one of the next power of two.
std::size_t PictureStore::lookupSlot(std::uint32_t hashPart) const
{
    return static_cast<std::size_t>((static_cast<std::uint64_t>(hashPart) * m_byHash.size()) >> 32);
}

void PictureStore::growLookup(std::size_t atLeast)
{
    const std::size_t wanted = std::max<std::size_t>(16, atLeast);
    if (wanted <= m_byHash.size())
        return;
    std::vector<std::uint64_t> old(wanted, kEmptySlot);
    old.swap(m_byHash);
    for (const std::uint64_t value : old) {
        if (value == kEmptySlot)
            continue;
        std::size_t slot = lookupSlot(static_cast<std::uint32_t>(value >> 32));
        while (m_byHash[slot] != kEmptySlot)
            slot = slot + 1 == m_byHash.size() ? 0 : slot + 1;
        m_byHash[slot] = value;
    }
}

std::uint32_t PictureStore::add(const EncodedPicture& picture)
{
    if ((m_records.size() + 1) * 4 > m_byHash.size() * 3)
        growLookup(std::max<std::size_t>(16, m_byHash.size() * 2));
    const auto hashPart = static_cast<std::uint32_t>(picture.hash >> 32);
    std::size_t slot = lookupSlot(hashPart);
    for (; m_byHash[slot] != kEmptySlot; slot = slot + 1 == m_byHash.size() ? 0 : slot + 1) {
        if (m_byHash[slot] >> 32 != hashPart)
            continue;
        const auto found = static_cast<std::uint32_t>(m_byHash[slot]) - 1;
        const Record& r = m_records[found];
        if (r.colours == picture.colours && r.mainBits == picture.mainBits && r.escapes == packedEscapes(picture.escapes, picture.form)
            && r.length == picture.bytes.size() && std::memcmp(r.data, picture.bytes.data(), r.length) == 0)
            return found;
    }
    const auto id = static_cast<std::uint32_t>(m_records.size());
    m_records.push_back({keep(picture.bytes), static_cast<std::uint16_t>(picture.bytes.size()), picture.colours, picture.backgroundCount,
                         picture.mainBits, packedEscapes(picture.escapes, picture.form)});
    m_byHash[slot] = slotValue(hashPart, id);
    return id;
}

void PictureStore::endAdding() { std::vector<std::uint64_t>().swap(m_byHash); }

namespace {

// The colour at `number` read as one four-byte load; the byte after the colour belongs to the
// next colour, the mask, the colour numbers or the slack behind every picture.
inline std::uint32_t paletteColourFast(const std::uint8_t* palette, std::uint32_t number)
{
    std::uint32_t word;
    std::memcpy(&word, palette + 3 * number, sizeof word);
    return word & 0xFFFFFFu;
}

inline std::uint64_t maskWord(const std::uint8_t* mask, int w)
{
    std::uint64_t word;
    std::memcpy(&word, mask + 8 * w, sizeof word);
    return word;
}

} // namespace

// Where the parts of a stored picture lie (see EncodedPicture). A mask kept as runs is unpacked
// into the layout.
struct PictureStore::Layout {
    const std::uint8_t* palette;
    const std::uint8_t* mask; // none when no sample or every sample is background
    const std::uint8_t* numbers;
    const std::uint8_t* rare;
    int bits;
    // The colours numbered from `direct` on have no code of their own: the highest code stands
    // for one seen before, whose number less `direct` is read from the rare stream in
    // `repeatBits` bits, and `newCode` (where there is one) for the next of them not seen yet.
    // Both none when every colour has a code of their own.
    std::uint32_t direct;
    std::uint32_t newCode;
    int repeatBits;
    std::uint64_t maskless; // the mask's words when there is none: no background, or all
    int nearBits;           // the colours without a code follow in the rare stream (see EncodedPicture)
    int listed;             // colours in the palette
    int unlisted;           // with nearBits: samples of the colours not listed
    BackgroundMask runMask;

    explicit Layout(const Record& r)
        : palette(r.data)
        , bits(r.mainBits)
        , direct(r.escapes & 3 ? (1u << r.mainBits) - (r.escapes & 3) : UINT32_MAX)
        , newCode((r.escapes & 3) == 2 ? direct : UINT32_MAX)
        , repeatBits(r.escapes & 3 ? indexBits(r.colours - static_cast<int>(direct)) : 0)
        , maskless(r.backgroundCount == kSampleCount ? ~std::uint64_t {0} : 0)
        , nearBits(PictureStore::nearBits(r))
        , listed(static_cast<int>(listedColours(r)))
        , unlisted(0)
    {
        const std::uint8_t* at = r.data + 3 * static_cast<std::size_t>(listed);
        if (nearBits) {
            unlisted = at[0] | at[1] << 8;
            at += 2;
        }
        mask = nullptr;
        if (r.backgroundCount > 0 && r.backgroundCount < kSampleCount) {
            if (r.escapes >> 2 & kMaskAsRuns) {
                at += unpackRuns(at, runMask);
                mask = reinterpret_cast<const std::uint8_t*>(runMask.data());
            } else {
                mask = at;
                at += sizeof(BackgroundMask);
            }
        }
        numbers = at;
        rare = numbers + (static_cast<std::size_t>(kSampleCount - r.backgroundCount) * r.mainBits + 7) / 8;
    }
    Layout(const Layout&) = delete;
    Layout& operator=(const Layout&) = delete;

    // Unpacks a mask kept as runs; the bytes it took. Runs are kept only where shorter than the
    // mask, so reading stops there; lengths beyond the picture are cut at its end: damaged bytes
    // give some mask and are read no further.
    // Each run's end flips the mask from there on: the ends are set as single bits, and a running
    // XOR over the bits turns them into the mask, without a loop over the samples of a run.
    static std::size_t unpackRuns(const std::uint8_t* from, BackgroundMask& out)
    {
        BackgroundMask& flips = out;
        flips.fill(0);
        std::size_t bit = 0;
        bool nextInBackground = false; // after each run: whether the run after it is background
        int k = 0;
        for (int first = 1; k < kSampleCount && bit < 8 * sizeof(BackgroundMask); first = 0, nextInBackground = !nextInBackground) {
            // One load a run: a code takes at most 23 bits, and 57 are there after the shift.
            std::uint64_t word;
            std::memcpy(&word, from + (bit >> 3), sizeof word);
            word >>= bit & 7;
            const int zeros = std::countr_zero(word | 1u << 11);
            const auto length = static_cast<std::uint32_t>((1u << zeros | (word >> (zeros + 1) & ((1u << zeros) - 1))) - first);
            bit += 2 * static_cast<std::size_t>(zeros) + 1;
            k += static_cast<int>(std::min<std::uint32_t>(length, static_cast<std::uint32_t>(kSampleCount - k)));
            if (k < kSampleCount)
                flips[static_cast<std::size_t>(k / 64)] ^= std::uint64_t {1} << (k % 64);
        }
        // Reading stopped inside the picture: the samples not reached are not background.
        if (k < kSampleCount && nextInBackground)
            flips[static_cast<std::size_t>(k / 64)] ^= std::uint64_t {1} << (k % 64);
        std::uint64_t inBackground = 0;
        for (std::uint64_t& w : out) {
            std::uint64_t x = w;
            x ^= x << 1;
            x ^= x << 2;
            x ^= x << 4;
            x ^= x << 8;
            x ^= x << 16;
            x ^= x << 32;
            w = x ^ inBackground;
            inBackground = w >> 63 ? ~std::uint64_t {0} : 0;
        }
        return (bit + 7) / 8;
    }

    // The colour number behind an escape `code`. `nextNew` starts at `direct`.
    std::uint32_t escaped(std::uint32_t code, std::uint32_t& nextNew, std::size_t& rareBit) const
    {
        if (code == newCode)
            return nextNew++;
        const std::uint32_t number = direct + colourNumber(rare, rareBit, (1u << repeatBits) - 1);
        rareBit += static_cast<std::size_t>(repeatBits);
        return number;
    }
};

// Word-wide counts; where the processor has an instruction for them, a copy of the function uses it.
__attribute__((target_clones("popcnt", "default"))) void PictureStore::compareMasks(const BackgroundMask& reference, std::uint32_t id,
                                                                                    int& onlyOne, int& both) const
{
    const Record& r = m_records[id];
    onlyOne = 0;
    both = 0;
    if (r.backgroundCount == 0 || r.backgroundCount == kSampleCount) {
        for (const std::uint64_t word : reference)
            (r.backgroundCount == 0 ? onlyOne : both) += std::popcount(word);
        if (r.backgroundCount != 0)
            onlyOne = kSampleCount - both;
        return;
    }
    const Layout layout(r);
    const std::uint8_t* mask = layout.mask;
    for (int w = 0; w < kSampleCount / 64; ++w) {
        const std::uint64_t word = maskWord(mask, w);
        onlyOne += std::popcount(reference[static_cast<std::size_t>(w)] ^ word);
        both += std::popcount(reference[static_cast<std::size_t>(w)] & word);
    }
}

void PictureStore::backgroundMask(std::uint32_t id, BackgroundMask& out) const
{
    const Record& r = m_records[id];
    if (r.backgroundCount == 0 || r.backgroundCount == kSampleCount) {
        out.fill(r.backgroundCount == 0 ? 0 : ~std::uint64_t {0});
        return;
    }
    std::memcpy(out.data(), Layout(r).mask, sizeof out);
}

namespace {

// Calls work with a picture's width of colour numbers (at most 10 bits) as a compile-time
// constant, so that the bit arithmetic of the loops that read them folds into constants.
template <typename Work> decltype(auto) withBits(int bits, const Work& work)
{
    switch (bits) {
    case 0: return work(std::integral_constant<int, 0> {});
    case 1: return work(std::integral_constant<int, 1> {});
    case 2: return work(std::integral_constant<int, 2> {});
    case 3: return work(std::integral_constant<int, 3> {});
    case 4: return work(std::integral_constant<int, 4> {});
    case 5: return work(std::integral_constant<int, 5> {});
    case 6: return work(std::integral_constant<int, 6> {});
    case 7: return work(std::integral_constant<int, 7> {});
    case 8: return work(std::integral_constant<int, 8> {});
    case 9: return work(std::integral_constant<int, 9> {});
    default: return work(std::integral_constant<int, 10> {});
    }
}

// The count with the width of the colour numbers fixed at compile time. The samples are counted
// in runs of 64 (one word of the background mask) without a branch per sample where the run has
// no background and no rare colour; the decision is taken between runs, which gives the same
// answer as stopping at the deciding sample.
template <int Bits>
bool closerThanPacked(const std::uint32_t* reference, const PictureStore::Layout& layout, std::uint32_t background, int threshold)
{
    constexpr int kRun = 64;
    constexpr std::uint32_t mask = (1u << Bits) - 1;
    const int enoughAgreements = kSampleCount - threshold + 1;
    const bool withRare = layout.direct != UINT32_MAX;
    std::size_t bit = 0;
    std::size_t rareBit = 0;
    std::uint32_t nextNew = layout.direct;
    int differences = 0;
    for (int w = 0; w < kSampleCount / kRun; ++w) {
        const std::uint32_t* ref = reference + w * kRun;
        const std::uint64_t backgroundBits = layout.mask ? maskWord(layout.mask, w) : layout.maskless;
        int runDifferences = 0;
        if (backgroundBits == ~std::uint64_t {0}) {
            for (int k = 0; k < kRun; ++k)
                runDifferences += ref[k] != background ? 1 : 0;
        } else if (backgroundBits == 0 && !withRare) {
            for (int k = 0; k < kRun; ++k)
                runDifferences += ref[k]
                        != paletteColourFast(layout.palette, colourNumber(layout.numbers, bit + static_cast<std::size_t>(k) * Bits, mask))
                    ? 1
                    : 0;
            bit += static_cast<std::size_t>(kRun) * Bits;
        } else {
            for (int k = 0; k < kRun; ++k) {
                if (backgroundBits >> k & 1) {
                    runDifferences += ref[k] != background ? 1 : 0;
                    continue;
                }
                std::uint32_t number = colourNumber(layout.numbers, bit, mask);
                bit += Bits;
                if (number >= layout.direct)
                    number = layout.escaped(number, nextNew, rareBit);
                runDifferences += ref[k] != paletteColourFast(layout.palette, number) ? 1 : 0;
            }
        }
        differences += runDifferences;
        if (differences >= threshold)
            return false;
        if ((w + 1) * kRun - differences >= enoughAgreements)
            return true;
    }
    return true;
}

// The samples of a picture with the width of the colour numbers fixed at compile time, in runs of
// 64 samples (one word of the background mask): a run is filled with background first, and only
// its other samples are read from the colour numbers.
template <int Bits> void decodePacked(const PictureStore::Layout& layout, std::uint32_t background, std::uint32_t* samples)
{
    constexpr int kRun = 64;
    constexpr std::uint32_t mask = (1u << Bits) - 1;
    const bool withRare = layout.direct != UINT32_MAX;
    std::size_t bit = 0;
    std::size_t rareBit = 0;
    std::uint32_t nextNew = layout.direct;
    for (int w = 0; w < kSampleCount / kRun; ++w) {
        std::uint32_t* out = samples + w * kRun;
        const std::uint64_t backgroundBits = layout.mask ? maskWord(layout.mask, w) : layout.maskless;
        if (backgroundBits == 0 && !withRare) {
            for (int k = 0; k < kRun; ++k)
                out[k] = paletteColourFast(layout.palette, colourNumber(layout.numbers, bit + static_cast<std::size_t>(k) * Bits, mask));
            bit += static_cast<std::size_t>(kRun) * Bits;
            continue;
        }
        std::fill(out, out + kRun, background);
        for (std::uint64_t others = ~backgroundBits; others != 0; others &= others - 1) {
            std::uint32_t number = colourNumber(layout.numbers, bit, mask);
            bit += Bits;
            if (number >= layout.direct)
                number = layout.escaped(number, nextNew, rareBit);
            out[std::countr_zero(others)] = paletteColourFast(layout.palette, number);
        }
    }
}

// The samples of a picture whose colours without a code follow in the rare stream: each is
// read at its first sample, from the sample before it, and kept for the later ones. Runs of 64
// samples (one word of the background mask) are filled with background first, and only their
// other samples are read, so the sample before is always in `samples` already. After each run
// `done(run)` may end the decoding.
template <int Bits, typename Done>
void decodeNear(const PictureStore::Layout& layout, std::uint32_t background, std::uint32_t* samples, const Done& done)
{
    constexpr int kRun = 64;
    constexpr std::uint32_t mask = (1u << Bits) - 1;
    const std::uint32_t nearMask = (1u << layout.nearBits) - 1;
    const std::uint32_t bias = 1u << (layout.nearBits - 1);
    std::array<std::uint32_t, kSampleCount> others; // in order of first use
    std::uint32_t seen = 0;
    std::size_t bit = 0;
    std::size_t rareBit = 0;
    for (int w = 0; w < kSampleCount / kRun; ++w) {
        std::uint32_t* out = samples + w * kRun;
        const std::uint64_t backgroundBits = layout.mask ? maskWord(layout.mask, w) : layout.maskless;
        if (backgroundBits != 0)
            std::fill(out, out + kRun, background);
        for (std::uint64_t coloured = ~backgroundBits; coloured != 0; coloured &= coloured - 1) {
            const int k = std::countr_zero(coloured);
            const std::uint32_t number = colourNumber(layout.numbers, bit, mask);
            bit += Bits;
            std::uint32_t colour;
            if (number < layout.direct) {
                colour = paletteColourFast(layout.palette, number);
            } else if (number == layout.newCode) {
                const int at = w * kRun + k;
                const std::uint32_t before = at > 0 ? samples[at - 1] : background;
                if (colourNumber(layout.rare, rareBit++, 1)) {
                    colour = 0;
                    for (int shift = 0; shift < 24; shift += 8, rareBit += static_cast<std::size_t>(layout.nearBits))
                        colour |= (((before >> shift) + colourNumber(layout.rare, rareBit, nearMask) - bias) & 0xFFu) << shift;
                } else {
                    colour = colourNumber(layout.rare, rareBit, 0xFFFFFFu);
                    rareBit += 24;
                }
                if (seen < kSampleCount)
                    others[seen++] = colour;
            } else {
                const std::uint32_t other = colourNumber(layout.rare, rareBit, (1u << layout.repeatBits) - 1);
                rareBit += static_cast<std::size_t>(layout.repeatBits);
                colour = other < seen ? others[other] : 0; // beyond those seen only in damaged bytes
            }
            out[k] = colour;
        }
        if (done(w))
            return;
    }
}

// Whether a picture kept with its colours as differences differs from `reference` in fewer than
// `threshold` samples, decoded run by run and decided between runs as closerThanPacked does.
bool closerThanNear(const std::uint32_t* reference, const PictureStore::Layout& layout, std::uint32_t background, int threshold)
{
    constexpr int kRun = 64;
    const int enoughAgreements = kSampleCount - threshold + 1;
    Samples samples;
    int differences = 0;
    bool closer = true;
    withBits(layout.bits, [&](auto bits) {
        decodeNear<bits()>(layout, background, samples.data(), [&](int w) {
            for (int k = w * kRun; k < (w + 1) * kRun; ++k)
                differences += reference[k] != samples[static_cast<std::size_t>(k)] ? 1 : 0;
            closer = differences < threshold;
            return !closer || (w + 1) * kRun - differences >= enoughAgreements;
        });
    });
    return closer;
}

void decodeLayout(const PictureStore::Layout& layout, std::uint32_t background, std::uint32_t* samples)
{
    if (layout.nearBits)
        withBits(layout.bits, [&](auto bits) { decodeNear<bits()>(layout, background, samples, [](int) { return false; }); });
    else
        withBits(layout.bits, [&](auto bits) { decodePacked<bits()>(layout, background, samples); });
}

} // namespace

void PictureStore::decode(std::uint32_t id, std::uint32_t* samples) const
{
    const Layout layout(m_records[id]);
    decodeLayout(layout, m_background, samples);
}

void PictureStore::decodePadded(const EncodedPicture& header, const std::uint8_t* data, std::uint32_t background, std::uint32_t* samples)
{
    const auto mainBits = std::min<std::uint8_t>(header.mainBits, 10);
    // More escapes than codes would number colours below zero.
    const auto escapes = (1u << mainBits) >= header.escapes ? std::min<std::uint8_t>(header.escapes, 2) : std::uint8_t {0};
    const Record r {data,
                    static_cast<std::uint16_t>(header.bytes.size()),
                    std::min<std::uint16_t>(header.colours, kSampleCount),
                    std::min<std::uint16_t>(header.backgroundCount, kSampleCount),
                    mainBits,
                    packedEscapes(escapes, header.form & 0x0F)};
    const Layout layout(r);
    decodeLayout(layout, background, samples);
}

bool PictureStore::closerThan(const std::uint32_t* reference, std::uint32_t id, int threshold) const
{
    if (threshold <= 0)
        return false;
    if (threshold > kSampleCount)
        return true;
    const Record& r = m_records[id];
    const Layout layout(r);
    if (layout.nearBits)
        return closerThanNear(reference, layout, m_background, threshold);
    return withBits(layout.bits, [&](auto bits) { return closerThanPacked<bits()>(reference, layout, m_background, threshold); });
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
    const std::size_t listed = listedColours(r);
    // Each sample of a colour not listed agrees at most once.
    int bound = nearBits(r) ? r.data[3 * listed] | r.data[3 * listed + 1] << 8 : 0;
    // Colours are distinct within a picture; colours sharing a slot only raise the bound.
    for (std::size_t c = 0; c < listed && bound < enough; ++c)
        bound += reference.at(paletteColourFast(r.data, static_cast<std::uint32_t>(c)));
    return bound;
}

std::size_t PictureStore::storedBytes() const { return m_bytesUsed + m_records.size() * sizeof(Record); }

} // namespace bw
