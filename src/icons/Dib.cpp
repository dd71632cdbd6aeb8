#include "Dib.h"

#include "IconImageDecoder.h"

#include <algorithm>
#include <bit>
#include <climits>
#include <vector>

namespace bw {

std::optional<DibHeader> readDibHeader(ByteReader data, DibLayout layout)
{
    const bool file = layout == DibLayout::BitmapFile;
    const std::uint64_t at = file ? 14 : 0;
    DibHeader h;
    const std::uint32_t headerSize = data.u32(at);
    std::int64_t storedHeight = 0;
    std::uint32_t clrUsed = 0;
    // OS/2 2.x headers (16 or 64 bytes) number their compressions apart from 2: 3 and 4 are
    // Huffman and 24-bit run lengths there, not bit fields.
    const bool os2 = file && (headerSize == 16 || headerSize == 64);
    if (headerSize == 12) {
        h.width = data.u16(at + 4);
        storedHeight = data.u16(at + 6);
        h.bitCount = data.u16(at + 10);
        h.paletteEntrySize = 3;
    } else if ((headerSize >= 40 && headerSize <= 1024) || os2) {
        h.width = data.i32(at + 4);
        storedHeight = data.i32(at + 8);
        h.bitCount = data.u16(at + 14);
        if (headerSize >= 40) {
            h.compression = data.u32(at + 16);
            clrUsed = data.u32(at + 32);
        }
    } else {
        return refuse(data.ok() ? ReadError::BadImageHeader : ReadError::TruncatedImage), std::nullopt;
    }
    if (!data.ok())
        return refuse(ReadError::TruncatedImage), std::nullopt;
    if (!file && clrUsed > 256)
        return refuse(ReadError::BadPalette), std::nullopt;

    switch (h.bitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32: break;
    default: return refuse(ReadError::BadBitCount), std::nullopt;
    }
    if (file) {
        // A negative height stores the rows from the top down.
        h.topDown = storedHeight < 0;
        storedHeight = h.topDown ? -storedHeight : storedHeight;
        if (h.width <= 0 || storedHeight <= 0 || storedHeight > INT_MAX)
            return refuse(ReadError::BadImageSize), std::nullopt;
        h.height = static_cast<int>(storedHeight);
    } else {
        h.height = static_cast<int>(storedHeight / 2);
        if (h.width <= 0 || h.width > kMaxIconImageEdge || h.height <= 0 || h.height > kMaxIconImageEdge)
            return refuse(ReadError::BadImageSize), std::nullopt;
    }

    const bool masked = h.compression == kBiBitfields || (file && h.compression == kBiAlphaBitfields);
    std::uint64_t afterHeader = at + headerSize;
    if (os2 && h.compression > kBiRle4) {
        return refuse(ReadError::BadImageHeader), std::nullopt;
    } else if (masked) {
        if (h.bitCount != 16 && h.bitCount != 32)
            return refuse(ReadError::BadImageHeader), std::nullopt;
        // The masks follow a 40-byte header (three, or four with alpha); larger headers carry them inside.
        const bool alphaMask = h.compression == kBiAlphaBitfields || headerSize >= 56;
        h.masks = {data.u32(at + 40), data.u32(at + 44), data.u32(at + 48), alphaMask ? data.u32(at + 52) : 0};
        if (headerSize == 40)
            afterHeader += alphaMask ? 16 : 12;
        if (!data.ok())
            return refuse(ReadError::TruncatedImage), std::nullopt;
        h.declaresAlpha = file && h.masks[3] != 0;
    } else if (file && (h.compression == kBiRle8 || h.compression == kBiRle4)) {
        if (h.bitCount != (h.compression == kBiRle8 ? 8 : 4))
            return refuse(ReadError::BadImageHeader), std::nullopt;
    } else if (h.compression != kBiRgb) {
        return refuse(ReadError::BadImageHeader), std::nullopt;
    } else if (h.bitCount == 16) {
        h.masks = {0x7C00, 0x03E0, 0x001F, 0};
    } else if (h.bitCount == 32) {
        // An icon's fourth byte is alpha; a plain bitmap's is unused.
        h.masks = {0x00FF0000, 0x0000FF00, 0x000000FF, file ? 0u : 0xFF000000u};
    }

    const int fullPalette = h.bitCount <= 8 ? 1 << h.bitCount : 0;
    if (file)
        h.paletteEntries = clrUsed == 0 || clrUsed > static_cast<std::uint32_t>(fullPalette) ? fullPalette : static_cast<int>(clrUsed);
    else
        h.paletteEntries = h.bitCount <= 8 && clrUsed == 0 ? fullPalette : static_cast<int>(clrUsed);
    h.paletteOffset = afterHeader;
    h.pixelOffset = afterHeader + static_cast<std::uint64_t>(h.paletteEntries) * h.paletteEntrySize;
    if (file) {
        // The rows are where the file header says, which may leave room for fewer colours than
        // the bit count allows (OS/2 writers store only the colours used). An offset of 0, or one
        // inside the header, means the rows follow the palette.
        const std::uint32_t rowsAt = data.u32(10);
        if (rowsAt >= afterHeader) {
            if (rowsAt < h.pixelOffset)
                h.paletteEntries = static_cast<int>((rowsAt - afterHeader) / h.paletteEntrySize);
            h.pixelOffset = rowsAt;
        }
    }
    return h;
}

bool rowsInFile(const DibHeader& h, std::uint64_t size)
{
    const std::uint64_t lastRow = (static_cast<std::uint64_t>(h.width) * h.bitCount + 7) / 8;
    if (h.pixelOffset > size || size - h.pixelOffset < lastRow)
        return false;
    // Divided, not multiplied: rows of 8 GB times two billion rows would not fit in 64 bits.
    return static_cast<std::uint64_t>(h.height - 1) <= (size - h.pixelOffset - lastRow) / h.rowBytes();
}

std::uint8_t widenChannel(std::uint32_t value, int bits)
{
    if (bits <= 0)
        return 0;
    if (bits >= 8)
        return static_cast<std::uint8_t>(value >> (bits - 8));
    std::uint32_t pattern = 0;
    int filled = 0;
    for (; filled < 8; filled += bits)
        pattern = (pattern << bits) | value;
    return static_cast<std::uint8_t>(pattern >> (filled - 8));
}

namespace {

// One colour channel of a 16- or 32-bit pixel, by its mask.
struct Channel {
    std::uint32_t mask = 0;
    int shift = 0;
    int bits = 0;
    std::array<std::uint8_t, 128> widened {};

    explicit Channel(std::uint32_t m) : mask(m)
    {
        if (m == 0)
            return;
        shift = std::countr_zero(m);
        bits = std::bit_width(m >> shift);
        for (std::uint32_t v = 0; bits < 8 && v < (1u << bits); ++v)
            widened[v] = widenChannel(v, bits);
    }
    int operator()(std::uint32_t pixel) const
    {
        const std::uint32_t v = (pixel & mask) >> shift;
        return bits >= 8 ? static_cast<int>(v >> (bits - 8)) : widened[v];
    }
};

// Turns the bytes of one stored row into pixels.
class PixelDecoder {
public:
    PixelDecoder(const DibHeader& h, const std::array<QRgb, 256>& palette, bool keepAlpha)
        : m_bits(h.bitCount)
        , m_palette(palette)
        , m_red(h.masks[0])
        , m_green(h.masks[1])
        , m_blue(h.masks[2])
        , m_alpha(h.masks[3])
        , m_withAlpha(keepAlpha && h.masks[3] != 0)
    {
        static constexpr std::uint8_t zeros[4] {};
        decode(zeros, 0, 1, &m_zero);
    }

    // Pixels x0 .. x0 + n - 1 of a row whose bytes start at `row`.
    void decode(const std::uint8_t* row, int x0, int n, QRgb* out) const
    {
        const int end = x0 + n;
        switch (m_bits) {
        case 1:
            for (int x = x0; x < end; ++x)
                *out++ = m_palette[(row[x >> 3] >> (7 - (x & 7))) & 1];
            break;
        case 4:
            for (int x = x0; x < end; ++x)
                *out++ = m_palette[(row[x >> 1] >> ((x & 1) ? 0 : 4)) & 0x0F];
            break;
        case 8:
            for (int x = x0; x < end; ++x)
                *out++ = m_palette[row[x]];
            break;
        case 16:
            for (int x = x0; x < end; ++x)
                *out++ = masked(row[2 * x] | (row[2 * x + 1] << 8));
            break;
        case 24:
            for (int x = x0; x < end; ++x)
                *out++ = qRgb(row[3 * x + 2], row[3 * x + 1], row[3 * x]);
            break;
        case 32:
            for (int x = x0; x < end; ++x) {
                const std::uint8_t* p = row + 4 * static_cast<std::size_t>(x);
                *out++ = masked(p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24));
            }
            break;
        }
    }
    // What bytes of 0 decode to: the colour of the part of a row the file leaves off.
    QRgb zero() const { return m_zero; }

private:
    QRgb masked(std::uint32_t v) const { return qRgba(m_red(v), m_green(v), m_blue(v), m_withAlpha ? m_alpha(v) : 255); }

    int m_bits;
    const std::array<QRgb, 256>& m_palette;
    Channel m_red, m_green, m_blue, m_alpha;
    bool m_withAlpha;
    QRgb m_zero = 0;
};

// Reduces a picture given row by row to a smaller one: each target pixel is the average of the
// source area it covers, weighted by how much of each source pixel falls inside it, and with
// premultiplied alpha so that transparent pixels lend no colour. Rows must come in order, from
// the top or from the bottom; only two target rows are held while they fill.
class AreaReducer {
public:
    AreaReducer(int sourceWidth, int sourceHeight, QImage& target)
        : m_sw(sourceWidth)
        , m_sh(sourceHeight)
        , m_dw(target.width())
        , m_dh(target.height())
        , m_target(target)
        , m_line(static_cast<std::size_t>(m_dw) * 4)
        , m_rows {std::vector<std::uint64_t>(m_line.size()), std::vector<std::uint64_t>(m_line.size())}
    {
    }

    // Pixels x0 .. x0 + n - 1 of the current row.
    void add(int x0, int n, const QRgb* pixels)
    {
        // A source pixel is m_dw long and a target pixel m_sw, so that both rows have the same
        // length. Pixels wholly inside a target pixel are summed first and weighted once.
        const std::uint64_t start = static_cast<std::uint64_t>(x0) * m_dw;
        std::uint64_t column = start / m_sw;
        std::uint64_t into = start % m_sw;
        std::uint64_t run[4] = {};
        auto endRun = [&] {
            std::uint64_t* sum = &m_line[column * 4];
            for (int k = 0; k < 4; ++k) {
                sum[k] += run[k] * m_dw;
                run[k] = 0;
            }
        };
        for (int i = 0; i < n; ++i) {
            const QRgb c = pixels[i];
            const std::uint32_t a = qAlpha(c);
            const std::uint32_t sample[4] = {qRed(c) * a, qGreen(c) * a, qBlue(c) * a, a};
            if (into + m_dw <= m_sw) {
                for (int k = 0; k < 4; ++k)
                    run[k] += sample[k];
                into += m_dw;
                if (into == m_sw) {
                    endRun();
                    into = 0;
                    ++column;
                }
            } else {
                endRun();
                std::uint64_t* sum = &m_line[column * 4];
                const std::uint64_t first = m_sw - into;
                for (int k = 0; k < 4; ++k) {
                    sum[k] += sample[k] * first;
                    sum[k + 4] += sample[k] * (m_dw - first);
                }
                into = m_dw - first;
                ++column;
            }
        }
        if (column < m_dw)
            endRun();
    }

    // Ends source row y: its sums go to the one or two target rows it overlaps.
    void endRow(int y)
    {
        const std::uint64_t start = static_cast<std::uint64_t>(y) * m_dh;
        const int row = static_cast<int>(start / m_sh);
        const std::uint64_t into = start % m_sh;
        if (into + m_dh <= m_sh) {
            addLine(row, m_dh);
        } else {
            addLine(row, m_sh - into);
            addLine(row + 1, m_dh - (m_sh - into));
        }
        std::fill(m_line.begin(), m_line.end(), 0);
    }

    void finish()
    {
        for (int slot = 0; slot < 2; ++slot)
            flushRow(slot);
    }

private:
    void addLine(int row, std::uint64_t weight)
    {
        const int slot = row & 1;
        if (m_rowOf[slot] != row) {
            // Rows come in order, so the target row held in this slot is complete.
            flushRow(slot);
            m_rowOf[slot] = row;
        }
        std::vector<std::uint64_t>& sums = m_rows[slot];
        for (std::size_t i = 0; i < sums.size(); ++i)
            sums[i] += m_line[i] * weight;
    }

    void flushRow(int slot)
    {
        const int row = m_rowOf[slot];
        if (row < 0 || static_cast<std::uint64_t>(row) >= m_dh)
            return;
        std::vector<std::uint64_t>& sums = m_rows[slot];
        const std::uint64_t total = static_cast<std::uint64_t>(m_sw) * m_sh;
        auto* out = reinterpret_cast<QRgb*>(m_target.scanLine(row));
        for (std::uint64_t x = 0; x < m_dw; ++x) {
            const std::uint64_t* s = &sums[x * 4];
            const std::uint64_t a = s[3];
            auto colour = [a](std::uint64_t v) { return a == 0 ? 0 : static_cast<int>((v + a / 2) / a); };
            out[x] = qRgba(colour(s[0]), colour(s[1]), colour(s[2]), static_cast<int>((a + total / 2) / total));
        }
        std::fill(sums.begin(), sums.end(), 0);
        m_rowOf[slot] = -1;
    }

    std::uint64_t m_sw, m_sh, m_dw, m_dh;
    QImage& m_target;
    std::vector<std::uint64_t> m_line; // the current source row, summed into target columns
    std::vector<std::uint64_t> m_rows[2];
    int m_rowOf[2] = {-1, -1};
};

// Receives the decoded rows: straight into the picture when it has the bitmap's size, else
// through a short row buffer into the reducer.
class PictureBuilder {
public:
    PictureBuilder(int width, int height, QSize fit)
        : m_width(width)
        , m_picture(std::min(width, std::max(1, fit.width())), std::min(height, std::max(1, fit.height())), QImage::Format_ARGB32)
    {
        m_whole = m_picture.width() == width && m_picture.height() == height;
        if (!m_picture.isNull() && !m_whole) {
            m_reducer.emplace(width, height, m_picture);
            m_span.resize(static_cast<std::size_t>(std::min(width, kSpan)));
        }
    }
    bool ok() const { return !m_picture.isNull(); }

    // Row y from the top; fill(x0, n, out) writes its pixels x0 .. x0 + n - 1.
    template <typename Fill> void row(int y, Fill&& fill)
    {
        if (m_whole) {
            fill(0, m_width, reinterpret_cast<QRgb*>(m_picture.scanLine(y)));
            return;
        }
        for (int x0 = 0; x0 < m_width; x0 += kSpan) {
            const int n = std::min(kSpan, m_width - x0);
            fill(x0, n, m_span.data());
            m_reducer->add(x0, n, m_span.data());
        }
        m_reducer->endRow(y);
    }

    QImage finish()
    {
        if (m_reducer)
            m_reducer->finish();
        return std::move(m_picture);
    }

private:
    static constexpr int kSpan = 4096;
    int m_width;
    QImage m_picture;
    bool m_whole = true;
    std::optional<AreaReducer> m_reducer;
    std::vector<QRgb> m_span;
};

// Rows without compression, each where its number says; padding the file leaves off is read as
// bytes of 0.
bool decodeRows(ByteReader data, const DibHeader& h, const PixelDecoder& decoder, PictureBuilder& out)
{
    const std::uint64_t rowBytes = h.rowBytes();
    if (!rowsInFile(h, data.size()))
        return refuse(ReadError::TruncatedImage), false;
    const std::uint64_t available = data.size() - h.pixelOffset;
    const std::uint8_t* base = data.data() + (available ? h.pixelOffset : 0);
    for (int y = 0; y < h.height; ++y) {
        const std::uint64_t start = rowBytes * static_cast<std::uint64_t>(h.topDown ? y : h.height - 1 - y);
        const std::uint64_t inFile = available > start ? std::min(rowBytes, available - start) : 0;
        const std::uint64_t whole = inFile * 8 / static_cast<std::uint64_t>(h.bitCount);
        const std::uint8_t* row = inFile ? base + start : nullptr;
        out.row(y, [&](int x0, int n, QRgb* pixels) {
            const int decoded = static_cast<int>(std::clamp<std::int64_t>(static_cast<std::int64_t>(whole) - x0, 0, n));
            if (decoded > 0)
                decoder.decode(row, x0, decoded, pixels);
            std::fill(pixels + decoded, pixels + n, decoder.zero());
        });
    }
    return true;
}

// Run-length coded rows (RLE8, RLE4), read in order into one row of palette indices. Runs,
// absolute runs, end of line, end of bitmap and moves ("delta") are followed; pixels the codes
// never reach keep index 0, as do those of a file that ends early. Each code costs at most the
// pixels it writes inside the picture, however far past the edge it claims to reach.
void decodeRunLength(ByteReader data, const DibHeader& h, const std::array<QRgb, 256>& palette, PictureBuilder& out)
{
    ByteReader codes = data.tail(h.pixelOffset);
    const bool four = h.compression == kBiRle4;
    const int width = h.width;
    std::vector<std::uint8_t> indices(static_cast<std::size_t>(width), 0);
    int x = 0;
    int stored = 0; // the row being filled, counted as stored
    auto endLine = [&] {
        out.row(h.topDown ? stored : h.height - 1 - stored, [&](int x0, int n, QRgb* pixels) {
            for (int i = 0; i < n; ++i)
                pixels[i] = palette[indices[static_cast<std::size_t>(x0 + i)]];
        });
        std::fill(indices.begin(), indices.end(), 0);
        ++stored;
    };
    std::uint64_t at = 0;
    while (codes.ok() && stored < h.height) {
        const unsigned count = codes.u8(at);
        const unsigned value = codes.u8(at + 1);
        at += 2;
        if (!codes.ok())
            break;
        if (count > 0) {
            // A run: one index, or for RLE4 two indices taking turns.
            const int n = std::min<int>(static_cast<int>(count), width - x);
            for (int i = 0; i < n; ++i)
                indices[static_cast<std::size_t>(x + i)] = static_cast<std::uint8_t>(!four ? value : (i & 1) ? value & 0x0F : value >> 4);
            x += std::max(n, 0);
        } else if (value == 0) {
            endLine();
            x = 0;
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            const unsigned right = codes.u8(at);
            const unsigned down = codes.u8(at + 1);
            at += 2;
            if (!codes.ok())
                break;
            for (unsigned i = 0; i < down && stored < h.height; ++i)
                endLine();
            x = std::min(width, x + static_cast<int>(right));
        } else {
            // Absolute: `value` indices follow, padded to a whole 16-bit word.
            const std::uint64_t bytes = four ? (value + 1) / 2 : value;
            ByteReader run = codes.sub(at, bytes);
            if (!run.ok())
                break;
            const int n = std::min<int>(static_cast<int>(value), width - x);
            for (int i = 0; i < n; ++i) {
                const unsigned b = run.u8(four ? static_cast<std::uint64_t>(i) / 2 : static_cast<std::uint64_t>(i));
                indices[static_cast<std::size_t>(x + i)] = static_cast<std::uint8_t>(!four ? b : (i & 1) ? b & 0x0F : b >> 4);
            }
            x += std::max(n, 0);
            at += (bytes + 1) & ~std::uint64_t {1};
        }
    }
    while (stored < h.height)
        endLine();
}

} // namespace

QImage decodeDibPixels(ByteReader data, const DibHeader& h, QSize fit, bool keepAlpha)
{
    std::array<QRgb, 256> palette {};
    ByteReader paletteBytes = data.sub(h.paletteOffset, static_cast<std::uint64_t>(h.paletteEntries) * h.paletteEntrySize);
    if (!paletteBytes.ok())
        return refuse(ReadError::TruncatedImage), QImage();
    for (int i = 0; i < 256; ++i) {
        const std::uint64_t at = static_cast<std::uint64_t>(i) * h.paletteEntrySize;
        // Indices past a short palette are drawn black.
        palette[i] = i < h.paletteEntries ? qRgb(paletteBytes.u8(at + 2), paletteBytes.u8(at + 1), paletteBytes.u8(at)) : qRgb(0, 0, 0);
    }
    if (!h.runLength() && h.pixelOffset > data.size())
        return refuse(ReadError::TruncatedImage), QImage();

    PictureBuilder out(h.width, h.height, fit);
    if (!out.ok())
        return refuse(ReadError::TooLarge), QImage();
    if (h.runLength())
        decodeRunLength(data, h, palette, out);
    else if (!decodeRows(data, h, PixelDecoder(h, palette, keepAlpha), out))
        return {};
    return out.finish();
}

} // namespace bw
