#include "PictureCapture.h"

#include "icons/Blend.h"
#include "icons/ByteReader.h"
#include "icons/IconExtractor.h"
#include "support/ReadFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <filesystem>
#include <numeric>
#include <string>
#include <tuple>
#include <vector>

namespace bw {
namespace {

// Icon and cursor files are small: reading them whole into a buffer of the thread's own is
// cheaper than mapping them, and, unlike mapping and unmapping, lets several threads work
// without waiting for each other in the kernel. Larger files take the mapped way.
constexpr off_t kReadWholeBelow = 1 << 20;

QImage loadSmallFile(const std::string& path, int iconIndex)
{
    thread_local std::vector<std::uint8_t> buffer;
    struct stat st {};
    const int fd = openRegularFile(path.c_str(), st);
    if (fd < 0)
        return {};
    if (st.st_size >= kReadWholeBelow) {
        ::close(fd);
        return extractIcon(std::filesystem::path(path), iconIndex);
    }
    buffer.resize(static_cast<std::size_t>(st.st_size));
    const std::size_t got = readUpTo(fd, buffer.data(), buffer.size());
    ::close(fd);
    QImage picture = extractIcon(ByteReader(buffer.data(), got), iconIndex);
    picture.detach(); // the buffer is used again for the next file
    return picture;
}

// The fewest bits that hold each channel of `colour` as its difference from that of `before`:
// one more than the bits of the largest difference's magnitude (less one where negative).
inline int differenceBits(std::uint32_t colour, std::uint32_t before)
{
    unsigned magnitudes = 0;
    for (int shift = 0; shift < 24; shift += 8) {
        const int difference = static_cast<std::int8_t>(static_cast<std::uint8_t>((colour >> shift) - (before >> shift)));
        magnitudes |= static_cast<unsigned>(difference ^ (difference >> 31));
    }
    return static_cast<int>(std::bit_width(magnitudes)) + 1;
}

bool colourNear(std::uint32_t colour, std::uint32_t before, int bits) { return differenceBits(colour, before) <= bits; }

// Numbers are packed from the lowest bit of each byte on.
struct BitWriter {
    std::uint8_t* target;
    std::uint64_t pending = 0;
    int bits = 0;
    void put(std::uint32_t number, int width)
    {
        pending |= static_cast<std::uint64_t>(number) << bits;
        for (bits += width; bits >= 8; bits -= 8) {
            *target++ = static_cast<std::uint8_t>(pending);
            pending >>= 8;
        }
    }
    // n >= 1: as many zero bits as n has bits after its highest, a one, then those bits.
    void putGamma(std::uint32_t n)
    {
        const int rest = static_cast<int>(std::bit_width(n)) - 1;
        put(0, rest);
        put(1, 1);
        put(n & ((1u << rest) - 1), rest);
    }
    void putColour(std::uint32_t colour, std::uint32_t before, int nearBits)
    {
        if (!colourNear(colour, before, nearBits)) {
            put(0, 1);
            put(colour, 24);
            return;
        }
        const std::uint32_t bias = 1u << (nearBits - 1);
        const std::uint32_t mask = (1u << nearBits) - 1;
        std::uint32_t fields = 1;
        for (int shift = 0, at = 1; shift < 24; shift += 8, at += nearBits)
            fields |= (((colour >> shift) - (before >> shift) + bias) & mask) << at;
        put(fields, 1 + 3 * nearBits);
    }
    void finish()
    {
        if (bits > 0)
            *target = static_cast<std::uint8_t>(pending);
    }
};

// Calls `run` with the length of each run of the mask as it is written (see EncodedPicture),
// reading the mask a word at a time.
template <typename Run> void forEachMaskRun(const BackgroundMask& mask, const Run& run)
{
    bool inBackground = false;
    for (int k = 0, first = 1; k < kSampleCount; first = 0, inBackground = !inBackground) {
        const int start = k;
        while (k < kSampleCount) {
            const int offset = k % 64;
            const std::uint64_t word = inBackground ? mask[static_cast<std::size_t>(k / 64)] : ~mask[static_cast<std::size_t>(k / 64)];
            const int length = std::min(std::countr_one(word >> offset), 64 - offset);
            k += length;
            if (offset + length < 64)
                break;
        }
        run(static_cast<std::uint32_t>(k - start + first));
    }
}

std::size_t maskRunBits(const BackgroundMask& mask)
{
    std::size_t bits = 0;
    forEachMaskRun(mask, [&](std::uint32_t length) { bits += 2 * static_cast<std::size_t>(std::bit_width(length)) - 1; });
    return bits;
}

// The width of differences that keeps the colours without a code of their own (`firstUse`, the
// sample of each, in order) shortest, and their bits; 0 when listing them is as short.
std::pair<int, std::size_t> nearColourBits(const Samples& samples, std::uint32_t background, const std::uint16_t* firstUse, int count)
{
    std::array<std::size_t, 9> needing {}; // colours by the bits their differences need
    for (int c = 0; c < count; ++c) {
        const int k = firstUse[c];
        ++needing[static_cast<std::size_t>(
            differenceBits(samples[static_cast<std::size_t>(k)], k > 0 ? samples[static_cast<std::size_t>(k) - 1] : background))];
    }
    // Listed, the colours take 24 bits each; the differences need the count of two bytes besides.
    std::size_t best = 24 * static_cast<std::size_t>(count);
    best = best > 16 ? best - 16 : 0;
    std::pair<int, std::size_t> chosen {0, 0};
    for (std::size_t bits = 1; bits < 8; ++bits) {
        std::size_t cost = 0;
        for (std::size_t need = 1; need < needing.size(); ++need)
            cost += needing[need] * (need <= bits ? 1 + 3 * bits : 25);
        if (cost < best) {
            best = cost;
            chosen = {static_cast<int>(bits), cost};
        }
    }
    return chosen;
}

} // namespace

IconLoader fileIconLoader()

{
    return [](std::string_view path, int iconIndex) { return loadSmallFile(std::string(path), iconIndex); };
}

void capturePicture(const QImage& icon, QRgb background, Samples& samples)
{
    const std::uint32_t fill = background & 0xFFFFFFu;
    samples.fill(fill);
    if (icon.isNull())
        return;
    const QImage source = icon.format() == QImage::Format_ARGB32 ? icon : icon.convertToFormat(QImage::Format_ARGB32);
    const int width = std::min(source.width(), kPictureEdge);
    const int height = std::min(source.height(), kPictureEdge);
    for (int y = 0; y < height; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(source.constScanLine(y));
        for (int x = 0; x < width; ++x) {
            // The same blend as the page painter's, so a picture compares as it looks on the page.
            const std::uint32_t value = qAlpha(line[x]) == 0 ? fill : blendOver(line[x], fill) & 0xFFFFFFu;
            samples[static_cast<std::size_t>(x * kPictureEdge + y)] = value;
        }
    }
}

QImage pictureImage(const Samples& samples)
{
    QImage image(kPictureEdge, kPictureEdge, QImage::Format_RGB32);
    for (int y = 0; y < kPictureEdge; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < kPictureEdge; ++x)
            line[x] = 0xFF000000u | samples[static_cast<std::size_t>(x * kPictureEdge + y)];
    }
    return image;
}

void encodePicture(const Samples& samples, std::uint32_t background, EncodedPicture& out)
{
    // Colour numbers in order of first use. A small open-addressed table: at most 1,024 colours.
    constexpr std::size_t kSlots = 2048;
    std::array<std::uint32_t, kSlots> keys;
    std::array<std::uint16_t, kSlots> numbers;
    keys.fill(0xFFFFFFFFu); // no sample has a high byte
    std::array<std::uint16_t, kSampleCount> index;
    std::array<std::uint32_t, kSampleCount> palette;
    std::array<std::uint16_t, kSampleCount> counts;
    std::array<std::uint16_t, kSampleCount> firstUse; // the first sample of each colour
    int colours = 0;
    int backgroundCount = 0;
    std::uint64_t hash = 0x9E3779B97F4A7C15ull;
    for (int k = 0; k < kSampleCount; ++k) {
        const std::uint32_t v = samples[static_cast<std::size_t>(k)];
        backgroundCount += v == background ? 1 : 0;
        hash = (hash ^ v) * 0x100000001B3ull;
        hash ^= hash >> 29;
        std::size_t slot = (v * 2654435761u) & (kSlots - 1);
        while (keys[slot] != v && keys[slot] != 0xFFFFFFFFu)
            slot = (slot + 1) & (kSlots - 1);
        if (keys[slot] != v) {
            keys[slot] = v;
            numbers[slot] = static_cast<std::uint16_t>(colours);
            counts[static_cast<std::size_t>(colours)] = 0;
            firstUse[static_cast<std::size_t>(colours)] = static_cast<std::uint16_t>(k);
            palette[static_cast<std::size_t>(colours++)] = v;
        }
        index[static_cast<std::size_t>(k)] = numbers[slot];
        ++counts[numbers[slot]];
    }
    // The background's samples are told by the mask; the other colours by use, most used first,
    // equal counts in the order of first use.
    // Sorted as keys of fewest missing samples first, then the number.
    int backgroundNumber = -1;
    std::array<std::uint32_t, kSampleCount> keysByUse;
    int used = 0;
    for (int c = 0; c < colours; ++c) {
        if (palette[static_cast<std::size_t>(c)] == background)
            backgroundNumber = c;
        else
            keysByUse[static_cast<std::size_t>(used++)]
                = static_cast<std::uint32_t>(kSampleCount - counts[static_cast<std::size_t>(c)]) << 16 | static_cast<std::uint32_t>(c);
    }
    std::sort(keysByUse.begin(), keysByUse.begin() + used);
    std::array<std::uint16_t, kSampleCount> byUse;
    for (int r = 0; r < used; ++r)
        byUse[static_cast<std::size_t>(r)] = static_cast<std::uint16_t>(keysByUse[static_cast<std::size_t>(r)]);
    const int coloured = kSampleCount - backgroundCount; // samples in the colour numbers

    // Fewer bits per sample pay when a few colours cover most samples. The colours beyond those
    // with a code of their own are told by one or two escape codes: "a colour seen before", whose
    // number follows in the rare stream, and, where that is shorter, "the next colour not seen
    // yet", which costs nothing more. The saving must be worth the slower reading of such a picture.
    const int fullBits = indexBits(used);
    int mainBits = fullBits;
    int escapes = 0;
    int direct = used; // colours with a code of their own
    int repeatSamples = 0;
    {
        constexpr int kWorthBits = 512;
        int best = coloured * fullBits - kWorthBits;
        int covered = 0; // samples of the colours with a code of their own
        int codes = 0;
        for (int bits = 1; bits < fullBits; ++bits) {
            for (const int escapeCodes : {2, 1}) {
                for (; codes < (1 << bits) - escapeCodes; ++codes)
                    covered += counts[byUse[static_cast<std::size_t>(codes)]];
                const int others = used - codes;
                const int repeats = coloured - covered - (escapeCodes == 2 ? others : 0);
                const int cost = coloured * bits + repeats * indexBits(others);
                if (cost < best) {
                    best = cost;
                    mainBits = bits;
                    escapes = escapeCodes;
                    direct = codes;
                    repeatSamples = repeats;
                }
            }
        }
    }
    // The colours without a code of their own follow in the order of first use.
    std::array<std::uint16_t, kSampleCount> rank;
    std::fill(rank.begin(), rank.begin() + colours, std::uint16_t {0xFFFF});
    for (int r = 0; r < direct; ++r)
        rank[byUse[static_cast<std::size_t>(r)]] = static_cast<std::uint16_t>(r);
    if (direct < used) {
        int r = direct;
        for (int c = 0; c < colours; ++c)
            if (c != backgroundNumber && rank[static_cast<std::size_t>(c)] >= direct)
                byUse[static_cast<std::size_t>(r++)] = static_cast<std::uint16_t>(c);
        for (r = direct; r < used; ++r)
            rank[byUse[static_cast<std::size_t>(r)]] = static_cast<std::uint16_t>(r);
    }
    const int repeatBits = indexBits(used - direct);
    int coveredSamples = 0;
    for (int r = 0; r < direct; ++r)
        coveredSamples += counts[byUse[static_cast<std::size_t>(r)]];
    int nearBits = 0;
    std::size_t nearStreamBits = 0;
    if (escapes == 2 && used > direct) {
        std::array<std::uint16_t, kSampleCount> firstUses;
        for (int r = direct; r < used; ++r)
            firstUses[static_cast<std::size_t>(r - direct)] = firstUse[byUse[static_cast<std::size_t>(r)]];
        std::tie(nearBits, nearStreamBits) = nearColourBits(samples, background, firstUses.data(), used - direct);
    }
    const auto before = [&](int k) { return k > 0 ? samples[static_cast<std::size_t>(k) - 1] : background; };
    const std::size_t paletteBytes = static_cast<std::size_t>(nearBits ? direct : used) * 3 + (nearBits ? 2 : 0);
    const bool withMask = backgroundCount > 0 && backgroundCount < kSampleCount;
    BackgroundMask mask {};
    if (withMask)
        backgroundMaskOf(samples, background, mask);
    const std::size_t runBits = withMask ? maskRunBits(mask) : 0;
    const bool maskAsRuns = withMask && (runBits + 7) / 8 < sizeof(BackgroundMask);
    const std::size_t maskBytes = !withMask ? 0 : maskAsRuns ? (runBits + 7) / 8 : sizeof(BackgroundMask);
    const std::size_t mainBytes = (static_cast<std::size_t>(coloured) * static_cast<std::size_t>(mainBits) + 7) / 8;
    const std::size_t rareBytes = (static_cast<std::size_t>(repeatSamples) * static_cast<std::size_t>(repeatBits) + nearStreamBits + 7) / 8;
    out.bytes.assign(paletteBytes + maskBytes + mainBytes + rareBytes, 0);
    std::uint8_t* p = out.bytes.data();
    for (int r = 0; r < (nearBits ? direct : used); ++r) {
        putUint24(p, palette[byUse[static_cast<std::size_t>(r)]]);
        p += 3;
    }
    if (nearBits) {
        const int others = coloured - coveredSamples;
        *p++ = static_cast<std::uint8_t>(others);
        *p++ = static_cast<std::uint8_t>(others >> 8);
    }
    if (maskAsRuns) {
        BitWriter runs {p};
        forEachMaskRun(mask, [&](std::uint32_t length) { runs.putGamma(length); });
        runs.finish();
        p += maskBytes;
    } else if (maskBytes) {
        std::memcpy(p, mask.data(), maskBytes); // the words' bytes least significant first
        p += maskBytes;
    }
    if (mainBits > 0) {
        const auto newCode = static_cast<std::uint32_t>(escapes == 2 ? direct : -1);
        const auto repeatCode = static_cast<std::uint32_t>(direct + escapes - 1);
        std::uint32_t nextNew = newCode;
        BitWriter packed {p};
        BitWriter rare {p + mainBytes};
        for (int k = 0; k < kSampleCount; ++k) {
            if (index[static_cast<std::size_t>(k)] == backgroundNumber)
                continue;
            const std::uint32_t r = rank[index[static_cast<std::size_t>(k)]];
            if (r < static_cast<std::uint32_t>(direct)) {
                packed.put(r, mainBits);
            } else if (r == nextNew) {
                packed.put(newCode, mainBits);
                ++nextNew;
                if (nearBits)
                    rare.putColour(samples[static_cast<std::size_t>(k)], before(k), nearBits);
            } else {
                packed.put(repeatCode, mainBits);
                rare.put(r - static_cast<std::uint32_t>(direct), repeatBits);
            }
        }
        packed.finish();
        rare.finish();
    }
    out.form = static_cast<std::uint8_t>((maskAsRuns ? kMaskAsRuns : 0) | nearBits << kNearShift);
    out.colours = static_cast<std::uint16_t>(used);
    out.mainBits = static_cast<std::uint8_t>(mainBits);
    out.escapes = static_cast<std::uint8_t>(escapes);
    out.backgroundCount = static_cast<std::uint16_t>(backgroundCount);
    out.hash = hash ^ static_cast<std::uint64_t>(colours);
}

void backgroundMaskOf(const Samples& samples, std::uint32_t background, BackgroundMask& out)
{
    for (std::size_t w = 0; w < out.size(); ++w) {
        std::uint64_t bits = 0;
        for (std::size_t k = 0; k < 64; ++k)
            bits |= static_cast<std::uint64_t>(samples[w * 64 + k] == background) << k;
        out[w] = bits;
    }
}

} // namespace bw
