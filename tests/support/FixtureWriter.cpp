#include "FixtureWriter.h"

#include <QBuffer>
#include <QByteArray>

#include <algorithm>
#include <climits>
#include <initializer_list>
#include <stdexcept>

namespace fixtures {
namespace {

// ---- little-endian byte helpers ----

void put8(Bytes& b, unsigned v) { b.push_back(static_cast<std::uint8_t>(v & 0xFF)); }
void put16(Bytes& b, unsigned v)
{
    put8(b, v);
    put8(b, v >> 8);
}
void put32(Bytes& b, std::uint32_t v)
{
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
void put64(Bytes& b, std::uint64_t v)
{
    put32(b, static_cast<std::uint32_t>(v));
    put32(b, static_cast<std::uint32_t>(v >> 32));
}
void put8s(Bytes& b, std::initializer_list<unsigned> vs)
{
    for (unsigned v : vs)
        put8(b, v);
}
void put16s(Bytes& b, std::initializer_list<unsigned> vs)
{
    for (unsigned v : vs)
        put16(b, v);
}
void put32s(Bytes& b, std::initializer_list<std::uint32_t> vs)
{
    for (std::uint32_t v : vs)
        put32(b, v);
}
void putText(Bytes& b, const char* s)
{
    while (*s)
        put8(b, static_cast<unsigned char>(*s++));
}

void append(Bytes& b, const Bytes& more) { b.insert(b.end(), more.begin(), more.end()); }
void padTo(Bytes& b, std::size_t align) { b.resize((b.size() + align - 1) / align * align, 0); }
std::uint32_t u32(std::size_t v) { return static_cast<std::uint32_t>(v); }
std::uint32_t alignUp(std::size_t v, std::size_t align) { return u32((v + align - 1) / align * align); }
} // namespace

void set16(Bytes& b, std::size_t at, unsigned v)
{
    if (b.size() < at + 2)
        b.resize(at + 2, 0);
    b[at] = static_cast<std::uint8_t>(v & 0xFF);
    b[at + 1] = static_cast<std::uint8_t>((v >> 8) & 0xFF);
}
void set32(Bytes& b, std::size_t at, std::uint32_t v)
{
    set16(b, at, v & 0xFFFF);
    set16(b, at + 2, v >> 16);
}
void set32be(Bytes& b, std::size_t at, std::uint32_t v)
{
    set32(b, at, (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24));
}

namespace {

// ---- pixels ----

std::vector<QRgb> defaultPalette(int bitCount)
{
    if (bitCount == 1)
        return {qRgb(0, 0, 0), qRgb(255, 255, 255)};
    if (bitCount == 4)
        return {qRgb(0, 0, 0),     qRgb(128, 0, 0),     qRgb(0, 128, 0),     qRgb(128, 128, 0),  qRgb(0, 0, 128), qRgb(128, 0, 128),
                qRgb(0, 128, 128), qRgb(192, 192, 192), qRgb(128, 128, 128), qRgb(255, 0, 0),    qRgb(0, 255, 0), qRgb(255, 255, 0),
                qRgb(0, 0, 255),   qRgb(255, 0, 255),   qRgb(0, 255, 255),   qRgb(255, 255, 255)};
    std::vector<QRgb> p;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b)
                p.push_back(qRgb(r * 51, g * 51, b * 51));
    for (int i = 1; i <= 40; ++i) // grays strictly between black and white, which the cube already has
        p.push_back(qRgb(i * 255 / 41, i * 255 / 41, i * 255 / 41));
    return p;
}

// The palette as written to the file: the given or default colours, cut or padded with black
// to biClrUsed entries, or to the full 2^bits when biClrUsed is 0.
std::vector<QRgb> writtenPalette(int bitCount, const std::vector<QRgb>& given, int clrUsed)
{
    std::vector<QRgb> p = given.empty() ? defaultPalette(bitCount) : given;
    p.resize(static_cast<std::size_t>(clrUsed > 0 ? clrUsed : 1 << bitCount), qRgb(0, 0, 0));
    return p;
}

unsigned nearestIndex(QRgb c, const std::vector<QRgb>& palette)
{
    unsigned best = 0;
    long bestDistance = LONG_MAX;
    for (std::size_t i = 0; i < palette.size(); ++i) {
        const long dr = qRed(c) - qRed(palette[i]), dg = qGreen(c) - qGreen(palette[i]), db = qBlue(c) - qBlue(palette[i]);
        const long d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            bestDistance = d;
            best = static_cast<unsigned>(i);
        }
    }
    return best;
}

std::vector<unsigned> rowIndices(const QImage& img, int y, const std::vector<QRgb>& palette)
{
    std::vector<unsigned> out;
    for (int x = 0; x < img.width(); ++x)
        out.push_back(nearestIndex(img.pixel(x, y), palette));
    return out;
}

void requireBitCount(int bitCount)
{
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
        throw std::invalid_argument("fixtures: unsupported bit count");
}

// One scan line of colour bits, padded to 4 bytes. `alpha` overrides the 32-bit alpha byte.
Bytes colourRow(const QImage& img, int y, int bitCount, const std::vector<QRgb>& palette, bool rgb565, std::optional<std::uint8_t> alpha)
{
    Bytes row;
    if (bitCount <= 8) {
        const int perByte = 8 / bitCount;
        unsigned acc = 0;
        int filled = 0;
        for (unsigned index : rowIndices(img, y, palette)) {
            acc = (acc << bitCount) | index;
            if (++filled == perByte) {
                put8(row, acc);
                acc = 0;
                filled = 0;
            }
        }
        if (filled)
            put8(row, acc << (bitCount * (perByte - filled)));
    } else {
        for (int x = 0; x < img.width(); ++x) {
            const QRgb c = img.pixel(x, y);
            const unsigned r = qRed(c), g = qGreen(c), b = qBlue(c);
            if (bitCount == 16)
                put16(row, rgb565 ? (r >> 3) << 11 | (g >> 2) << 5 | b >> 3 : (r >> 3) << 10 | (g >> 3) << 5 | b >> 3);
            else {
                put8(row, b);
                put8(row, g);
                put8(row, r);
                if (bitCount == 32)
                    put8(row, alpha ? *alpha : qAlpha(c));
            }
        }
    }
    padTo(row, 4);
    return row;
}

// One AND-mask scan line: bit set where the pixel is mostly transparent.
Bytes maskRow(const QImage& img, int y)
{
    Bytes row(static_cast<std::size_t>((img.width() + 7) / 8), 0);
    for (int x = 0; x < img.width(); ++x)
        if (qAlpha(img.pixel(x, y)) < 128)
            row[static_cast<std::size_t>(x / 8)] |= static_cast<std::uint8_t>(0x80 >> (x % 8));
    padTo(row, 4);
    return row;
}

void putPalette(Bytes& b, const std::vector<QRgb>& palette, bool quads)
{
    for (QRgb c : palette) {
        put8(b, qBlue(c));
        put8(b, qGreen(c));
        put8(b, qRed(c));
        if (quads)
            put8(b, 0);
    }
}

// Encoded-mode runs of up to 255 pixels of one index; for RLE4 the index is repeated in both
// nibbles. Every row ends with 00 00, the picture with 00 01. With `moves`, index 0 is left to
// the reader: a row of it is skipped by a move down, leading ones by a move right, trailing ones
// by the row's end; and three or more differing indices are stored as an absolute run.
Bytes rleEncode(const QImage& img, const std::vector<QRgb>& palette, int bitCount, bool moves = false)
{
    Bytes out;
    for (int y = img.height() - 1; y >= 0; --y) {
        const std::vector<unsigned> idx = rowIndices(img, y, palette);
        std::size_t x = 0, end = idx.size();
        if (moves) {
            while (end > 0 && idx[end - 1] == 0)
                --end;
            if (end == 0) {
                put8s(out, {0, 2, 0, 1});
                continue;
            }
            while (idx[x] == 0)
                ++x;
            if (x > 0)
                put8s(out, {0, 2, static_cast<unsigned>(x), 0});
        }
        while (x < end) {
            std::size_t run = 1;
            while (x + run < end && run < 255 && idx[x + run] == idx[x])
                ++run;
            std::size_t literal = 0;
            while (moves && x + literal + 1 < end && literal < 254 && idx[x + literal] != idx[x + literal + 1])
                ++literal;
            if (literal >= 3) {
                put8s(out, {0, static_cast<unsigned>(literal)});
                for (std::size_t i = 0; i < literal; i += bitCount == 4 ? 2 : 1)
                    put8(out, bitCount == 4 ? idx[x + i] << 4 | (i + 1 < literal ? idx[x + i + 1] : 0) : idx[x + i]);
                padTo(out, 2);
                x += literal;
                continue;
            }
            put8(out, static_cast<unsigned>(run));
            put8(out, bitCount == 4 ? idx[x] << 4 | idx[x] : idx[x]);
            x += run;
        }
        put16(out, 0x0000);
    }
    put16(out, 0x0100);
    return out;
}

// ---- executables ----

Bytes mzHeader()
{
    Bytes h(0x80, 0);
    h[0] = 'M';
    h[1] = 'Z';
    set16(h, 0x02, 0x90);   // bytes on last page
    set16(h, 0x04, 3);      // pages
    set16(h, 0x08, 4);      // header paragraphs
    set16(h, 0x0C, 0xFFFF); // max extra paragraphs
    set16(h, 0x10, 0xB8);   // initial SP
    set16(h, 0x18, 0x40);   // relocation table offset: 0x40 marks a new-style executable
    set32(h, 0x3C, 0x80);   // e_lfanew
    return h;
}

// RT_ICON id of each group's first image: 1, 2, 3, ... over all groups in order.
std::vector<std::uint16_t> firstIconIds(const std::vector<GroupIcon>& groups)
{
    std::vector<std::uint16_t> ids;
    std::uint16_t next = 1;
    for (const GroupIcon& g : groups) {
        ids.push_back(next);
        next = static_cast<std::uint16_t>(next + g.images.size() + g.laterLanguageImages.size());
    }
    return ids;
}

// GRPICONDIR: the .ico directory with each entry's file offset replaced by a 16-bit RT_ICON id.
Bytes groupDirectory(const std::vector<IconImage>& images, std::uint16_t firstId, bool danglingFirstId)
{
    Bytes b;
    put16s(b, {0, 1, static_cast<unsigned>(images.size())});
    for (std::size_t i = 0; i < images.size(); ++i) {
        const IconImage& im = images[i];
        put16s(b, {im.width | static_cast<unsigned>(im.height) << 8, 0, im.planes, im.bitCount});
        put32(b, u32(im.data.size()));
        put16(b, danglingFirstId && i == 0 ? 0x7FFF : static_cast<unsigned>(firstId + i));
    }
    return b;
}

constexpr std::uint32_t kRsrcRva = 0x1000;
constexpr std::uint32_t kSubdirectory = 0x80000000;

// The .rsrc section: type -> name/id -> language directories, then data entries, names and data.
// Offsets inside the tree are relative to the section start; data entries hold RVAs.
Bytes peResources(const std::vector<GroupIcon>& groups, PeFault fault)
{
    const std::vector<std::uint16_t> firstIds = firstIconIds(groups);
    std::vector<const Bytes*> icons;
    std::vector<std::uint16_t> iconLanguages; // a later language's own images are stored in it
    for (const GroupIcon& g : groups) {
        for (const IconImage& im : g.images) {
            icons.push_back(&im.data);
            iconLanguages.push_back(0x0409);
        }
        for (const IconImage& im : g.laterLanguageImages) {
            icons.push_back(&im.data);
            iconLanguages.push_back(g.languages.size() > 1 ? g.languages[1] : 0x0409);
        }
    }

    std::vector<std::size_t> order; // named groups first, then numeric ids, each as given
    for (std::size_t i = 0; i < groups.size(); ++i)
        if (groups[i].name)
            order.push_back(i);
    const std::size_t namedCount = order.size();
    for (std::size_t i = 0; i < groups.size(); ++i)
        if (!groups[i].name)
            order.push_back(i);

    Bytes r;
    auto directory = [&r](std::size_t named, std::size_t ids) {
        put32s(r, {0, 0, 0});
        put16s(r, {static_cast<unsigned>(named), static_cast<unsigned>(ids)});
    };
    auto entry = [&r](std::uint32_t name) { // returns the entry's position; OffsetToData is patched later
        const std::size_t at = r.size();
        put32(r, name);
        put32(r, 0);
        return at;
    };
    auto linkHere = [&r](std::size_t entryAt) { set32(r, entryAt + 4, kSubdirectory | u32(r.size())); };

    directory(0, 2);
    const std::size_t iconType = entry(3), groupType = entry(14);
    if (fault == PeFault::HugeEntryCount)
        set16(r, 14, 0xFFFF);

    linkHere(iconType);
    directory(0, icons.size());
    std::vector<std::size_t> iconIds;
    for (std::size_t i = 0; i < icons.size(); ++i)
        iconIds.push_back(entry(u32(i + 1)));

    linkHere(groupType);
    directory(namedCount, groups.size() - namedCount);
    std::vector<std::size_t> groupIds(groups.size());
    for (std::size_t g : order)
        groupIds[g] = entry(groups[g].name ? 0 : groups[g].id);

    std::vector<std::size_t> iconLangs;
    for (std::size_t i = 0; i < iconIds.size(); ++i) {
        linkHere(iconIds[i]);
        directory(0, 1);
        iconLangs.push_back(entry(iconLanguages[i]));
    }
    std::vector<std::vector<std::size_t>> groupLangs(groups.size());
    for (std::size_t g : order) {
        linkHere(groupIds[g]);
        directory(0, groups[g].languages.size());
        for (std::uint16_t lang : groups[g].languages)
            groupLangs[g].push_back(entry(lang));
    }

    auto dataEntry = [&r](std::size_t langAt) { // IMAGE_RESOURCE_DATA_ENTRY; RVA and size patched later
        set32(r, langAt + 4, u32(r.size()));
        const std::size_t at = r.size();
        r.resize(r.size() + 16, 0);
        return at;
    };
    std::vector<std::size_t> iconData;
    for (std::size_t at : iconLangs)
        iconData.push_back(dataEntry(at));
    std::vector<std::vector<std::size_t>> groupData(groups.size());
    for (std::size_t g : order)
        for (std::size_t at : groupLangs[g])
            groupData[g].push_back(dataEntry(at));

    for (std::size_t g : order) {
        if (!groups[g].name)
            continue;
        set32(r, groupIds[g], kSubdirectory | u32(r.size()));
        put16(r, static_cast<unsigned>(groups[g].name->size()));
        for (char16_t ch : *groups[g].name)
            put16(r, ch);
    }

    auto blob = [&r](const Bytes& data, const std::vector<std::size_t>& entries) {
        padTo(r, 8);
        for (std::size_t at : entries) {
            set32(r, at, kRsrcRva + u32(r.size()));
            set32(r, at + 4, u32(data.size()));
        }
        append(r, data);
    };
    for (std::size_t i = 0; i < icons.size(); ++i)
        blob(*icons[i], {iconData[i]});
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const GroupIcon& group = groups[g];
        if (group.laterLanguageImages.empty() || groupData[g].size() < 2) {
            blob(groupDirectory(group.images, firstIds[g], g == 0 && fault == PeFault::GroupNamesMissingIcon), groupData[g]);
            continue;
        }
        blob(groupDirectory(group.images, firstIds[g], false), {groupData[g][0]});
        const auto firstLater = static_cast<std::uint16_t>(firstIds[g] + group.images.size());
        blob(groupDirectory(group.laterLanguageImages, firstLater, false), {groupData[g].begin() + 1, groupData[g].end()});
    }

    if (fault == PeFault::LoopingDirectory && !groups.empty() && !groupLangs[0].empty())
        set32(r, groupLangs[0][0] + 4, kSubdirectory | 0);
    padTo(r, 4);
    return r;
}

} // namespace

Bytes iconDib(const QImage& image, int bitCount, const DibOptions& opt)
{
    requireBitCount(bitCount);
    const QImage img = image.convertToFormat(QImage::Format_ARGB32);
    const std::vector<QRgb> palette = bitCount <= 8 ? writtenPalette(bitCount, opt.palette, opt.clrUsed) : std::vector<QRgb> {};
    const bool masks = bitCount == 16 && opt.bitfields565 && !opt.coreHeader;
    const auto alpha = bitCount == 32 && opt.zeroAlpha ? std::optional<std::uint8_t>(0) : std::nullopt;

    Bytes bits;
    for (int y = img.height() - 1; y >= 0; --y)
        append(bits, colourRow(img, y, bitCount, palette, masks, alpha));
    if (!opt.omitMask)
        for (int y = img.height() - 1; y >= 0; --y)
            append(bits, maskRow(img, y));

    Bytes out;
    if (opt.coreHeader) {
        put32(out, 12);
        put16s(out, {static_cast<unsigned>(img.width()), static_cast<unsigned>(2 * img.height()), 1, static_cast<unsigned>(bitCount)});
    } else {
        put32s(out, {40, u32(img.width()), u32(2 * img.height())});
        put16s(out, {1, static_cast<unsigned>(bitCount)});
        put32s(out, {masks ? 3u : 0u, u32(bits.size()), 0, 0, u32(opt.clrUsed), 0}); // BI_BITFIELDS : BI_RGB
        if (masks)
            put32s(out, {0xF800, 0x07E0, 0x001F});
    }
    putPalette(out, palette, !opt.coreHeader);
    append(out, bits);
    return out;
}

IconImage dibImage(const QImage& picture, int bitCount, const DibOptions& opt)
{
    return {static_cast<std::uint8_t>(picture.width()), static_cast<std::uint8_t>(picture.height()), 1,
            static_cast<std::uint16_t>(bitCount), iconDib(picture, bitCount, opt)};
}

Bytes pngData(const QImage& image)
{
    QByteArray encoded;
    QBuffer buffer(&encoded);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, "PNG"))
        throw std::runtime_error("fixtures: PNG encoding failed");
    return Bytes(encoded.begin(), encoded.end());
}

Bytes iconFile(const std::vector<IconImage>& images, std::uint16_t type)
{
    Bytes out;
    put16s(out, {0, type, static_cast<unsigned>(images.size())});
    std::uint32_t offset = u32(6 + 16 * images.size());
    for (const IconImage& im : images) {
        put16s(out, {im.width | static_cast<unsigned>(im.height) << 8, 0, im.planes, im.bitCount});
        put32s(out, {u32(im.data.size()), offset});
        offset += u32(im.data.size());
    }
    for (const IconImage& im : images)
        append(out, im.data);
    return out;
}

Bytes peFile(const std::vector<GroupIcon>& groups, bool pe32plus, PeFault fault)
{
    return peWithResources(peResources(groups, fault), pe32plus, fault);
}

Bytes peWithResources(const Bytes& rsrc, bool pe32plus, PeFault fault)
{
    const std::uint32_t rsrcSize = u32(rsrc.size());

    Bytes f = mzHeader();
    putText(f, "PE");
    put16(f, 0);
    // COFF file header
    put16s(f, {pe32plus ? 0x8664u : 0x014Cu, 1}); // machine, one section
    put32s(f, {0, 0, 0});
    put16s(f, {pe32plus ? 240u : 224u, pe32plus ? 0x0022u : 0x0102u}); // executable; large-address-aware / 32-bit

    // Optional header
    const std::size_t optionalStart = f.size();
    put16(f, pe32plus ? 0x20B : 0x10B);
    put8(f, 14); // linker version
    put8(f, 0);
    // code, initialized and uninitialized data sizes, entry point, BaseOfCode
    put32s(f, {0, alignUp(rsrcSize, 0x200), 0, 0, 0x1000});
    if (pe32plus)
        put64(f, 0x140000000ULL);
    else {
        put32s(f, {0x1000, 0x400000}); // BaseOfData, ImageBase
    }
    put32s(f, {0x1000, 0x200});                                                // section and file alignment
    put16s(f, {6, 0, 0, 0, 6, 0});                                             // OS, image and subsystem versions
    put32s(f, {0, kRsrcRva + alignUp(rsrcSize, 0x1000), 0x200, 0});            // Win32Version, image/header size, checksum
    put16s(f, {2, 0});                                                         // Windows GUI, no DLL characteristics
    for (std::uint64_t v : {0x100000ULL, 0x1000ULL, 0x100000ULL, 0x1000ULL}) { // stack and heap sizes
        if (pe32plus)
            put64(f, v);
        else
            put32(f, static_cast<std::uint32_t>(v));
    }
    put32s(f, {0, 16}); // LoaderFlags, NumberOfRvaAndSizes
    for (int i = 0; i < 16; ++i) {
        put32(f, i == 2 ? (fault == PeFault::ResourceRvaPastEnd ? 0x7FFFF000 : kRsrcRva) : 0);
        put32(f, i == 2 ? rsrcSize : 0);
    }
    if (f.size() - optionalStart != (pe32plus ? 240u : 224u))
        throw std::logic_error("fixtures: optional header size");

    // Section table
    putText(f, ".rsrc");
    put8(f, 0);
    put16(f, 0);
    put32s(f, {rsrcSize, kRsrcRva, rsrcSize, 0x200, 0, 0}); // virtual size/address, raw size/pointer
    put16s(f, {0, 0});
    put32(f, 0x40000040); // initialized data, readable

    f.resize(0x200, 0);
    append(f, rsrc);
    padTo(f, 0x200);
    if (fault == PeFault::Truncated)
        f.resize(0x200 + rsrc.size() / 2);
    return f;
}

Bytes withCodeSection(Bytes pe, std::uint32_t code)
{
    const auto get32
        = [&](std::size_t at) { return pe[at] | (pe[at + 1] << 8) | (pe[at + 2] << 16) | (static_cast<std::uint32_t>(pe[at + 3]) << 24); };
    const std::size_t coff = get32(0x3C) + 4;
    const std::size_t table = coff + 20 + (pe[coff + 16] | (pe[coff + 17] << 8));
    if (pe[coff + 2] != 1 || table + 80 > 0x200)
        throw std::logic_error("fixtures: code section needs a one-section file");
    // The resources move behind the code, and a ".text" entry comes first in the section table.
    set32(pe, table + 20, 0x200 + code);
    std::copy_n(pe.begin() + static_cast<std::ptrdiff_t>(table), 40, pe.begin() + static_cast<std::ptrdiff_t>(table + 40));
    Bytes text(40, 0);
    std::copy_n(".text", 5, text.begin());
    set32(text, 8, code);
    set32(text, 12, 0x10000000); // far from the resources' addresses
    set32(text, 16, code);
    set32(text, 20, 0x200);
    set32(text, 36, 0x60000020); // code, executable, readable
    std::copy(text.begin(), text.end(), pe.begin() + static_cast<std::ptrdiff_t>(table));
    pe[coff + 2] = 2;
    pe.insert(pe.begin() + 0x200, code, 0);
    return pe;
}

Bytes neLibraryHeader()
{
    constexpr std::size_t ne = 0x80;
    Bytes f = mzHeader();
    f.resize(ne + 0x40, 0);
    f[ne] = 'N';
    f[ne + 1] = 'E';
    f[ne + 2] = 5; // linker version
    f[ne + 3] = 10;
    set16(f, ne + 0x0C, 0x8000); // library module
    set16(f, ne + 0x22, 0x40);   // segment table (empty)
    set16(f, ne + 0x24, 0x40);   // resource table right after this header
    set16(f, ne + 0x32, 4);      // segment alignment shift
    f[ne + 0x36] = 2;            // Windows
    set16(f, ne + 0x3E, 0x030A); // expected Windows version 3.10
    return f;
}

Bytes neFile(const std::vector<GroupIcon>& groups, NeFault fault)
{
    constexpr std::size_t ne = 0x80, table = ne + 0x40;
    constexpr unsigned shift = 4;
    const std::vector<std::uint16_t> firstIds = firstIconIds(groups);

    Bytes f = neLibraryHeader();
    put16(f, fault == NeFault::HugeAlignShift ? 40 : shift);
    auto nameInfo = [&f](unsigned id) { // NAMEINFO; returns its position, offset and length patched later
        const std::size_t at = f.size();
        put16s(f, {0, 0, 0x1C30, id, 0, 0});
        return at;
    };
    std::size_t iconCount = 0;
    for (const GroupIcon& g : groups)
        iconCount += g.images.size();

    put16s(f, {0x8003, static_cast<unsigned>(iconCount)}); // RT_ICON
    put32(f, 0);
    std::vector<std::size_t> iconInfos;
    for (std::size_t i = 0; i < iconCount; ++i)
        iconInfos.push_back(nameInfo(0x8000 | static_cast<unsigned>(i + 1)));

    put16s(f, {0x800E, static_cast<unsigned>(groups.size())}); // RT_GROUP_ICON
    put32(f, 0);
    std::vector<std::size_t> groupInfos;
    for (const GroupIcon& g : groups)
        groupInfos.push_back(nameInfo(g.name ? 0 : 0x8000u | g.id));

    const std::size_t typeListEnd = f.size();
    put16(f, 0);
    for (std::size_t g = 0; g < groups.size(); ++g) {
        if (!groups[g].name)
            continue;
        set16(f, groupInfos[g] + 6, static_cast<unsigned>(f.size() - table));
        put8(f, static_cast<unsigned>(groups[g].name->size()));
        for (char16_t ch : *groups[g].name)
            put8(f, ch < 0x80 ? ch : u'?');
    }
    put8(f, 0);

    // Resident names (module name), imported names and entry table: minimal but well-formed.
    set16(f, ne + 0x26, static_cast<unsigned>(f.size() - ne));
    put8(f, 7);
    putText(f, "FIXTURE");
    put16(f, 0);
    put8(f, 0);
    set16(f, ne + 0x28, static_cast<unsigned>(f.size() - ne));
    set16(f, ne + 0x2A, static_cast<unsigned>(f.size() - ne));
    put8(f, 0);
    set16(f, ne + 0x04, static_cast<unsigned>(f.size() - ne));
    set16(f, ne + 0x06, 2);
    put16(f, 0);
    set32(f, ne + 0x2C, u32(f.size())); // non-resident names, absolute offset, empty
    put8(f, 0);

    auto place = [&f](std::size_t info, const Bytes& data) {
        padTo(f, 1u << shift);
        set16(f, info, static_cast<unsigned>(f.size() >> shift));
        set16(f, info + 2, alignUp(data.size(), 1u << shift) >> shift);
        append(f, data);
    };
    std::size_t icon = 0;
    for (const GroupIcon& g : groups)
        for (const IconImage& im : g.images)
            place(iconInfos[icon++], im.data);
    for (std::size_t g = 0; g < groups.size(); ++g)
        place(groupInfos[g], groupDirectory(groups[g].images, firstIds[g], g == 0 && fault == NeFault::GroupNamesMissingIcon));
    padTo(f, 1u << shift);

    if (fault == NeFault::OffsetPastEnd && !groupInfos.empty())
        set16(f, groupInfos[0], 0xFFFF);
    if (fault == NeFault::EndlessTypeTable) {
        // No terminator: bogus type records run to the end of the file.
        f.resize(typeListEnd);
        for (int i = 0; i < 0x10000 / 8; ++i) {
            put16s(f, {0x8001, 0xFFFF});
            put32(f, 0);
        }
        set16(f, ne + 0x26, static_cast<unsigned>(std::min<std::size_t>(f.size() - ne, 0xFFFF)));
    }
    return f;
}

Bytes bmpFile(const QImage& image, BmpKind kind)
{
    const QImage img = image.convertToFormat(QImage::Format_ARGB32);
    const int w = img.width(), h = img.height();
    int bitCount = 24;
    unsigned compression = 0;
    std::vector<std::uint32_t> masks; // written after a 40-byte header, or inside a V5 header
    switch (kind) {
    case BmpKind::Bits1: bitCount = 1; break;
    case BmpKind::Bits4: bitCount = 4; break;
    case BmpKind::Bits8:
    case BmpKind::Os2ShortPalette8: bitCount = 8; break;
    case BmpKind::Bits32: bitCount = 32; break;
    case BmpKind::Rle8:
    case BmpKind::Rle8Moves:
        bitCount = 8;
        compression = 1;
        break;
    case BmpKind::Rle4:
    case BmpKind::Rle4Moves:
        bitCount = 4;
        compression = 2;
        break;
    case BmpKind::Bits16Rgb555: bitCount = 16; break;
    case BmpKind::Bits16Rgb565:
        bitCount = 16;
        compression = 3;
        masks = {0xF800, 0x07E0, 0x001F};
        break;
    case BmpKind::Bits32R11G11B10:
        bitCount = 32;
        compression = 3;
        masks = {0xFFE00000, 0x001FFC00, 0x000003FF};
        break;
    case BmpKind::AlphaBitfields32:
    case BmpKind::V5Alpha32:
        bitCount = 32;
        compression = kind == BmpKind::V5Alpha32 ? 3 : 6;
        masks = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
        break;
    case BmpKind::Bits24:
    case BmpKind::Os2Core24:
    case BmpKind::TopDown24: break;
    }
    const bool core = kind == BmpKind::Os2Core24 || kind == BmpKind::Os2ShortPalette8, topDown = kind == BmpKind::TopDown24;
    const bool v5 = kind == BmpKind::V5Alpha32, moves = kind == BmpKind::Rle8Moves || kind == BmpKind::Rle4Moves;
    // The OS/2 bitmap stores only the 16 colours it uses, then 6 bytes of nothing before its rows.
    const std::vector<QRgb> palette = kind == BmpKind::Os2ShortPalette8 ? defaultPalette(4)
        : bitCount <= 8                                                 ? writtenPalette(bitCount, {}, 0)
                                                                        : std::vector<QRgb> {};
    const std::size_t gap = kind == BmpKind::Os2ShortPalette8 ? 6 : 0;

    Bytes pixels;
    if (compression == 1 || compression == 2)
        pixels = rleEncode(img, palette, bitCount, moves);
    for (int i = 0; compression != 1 && compression != 2 && i < h; ++i) {
        const int y = topDown ? i : h - 1 - i;
        if (kind == BmpKind::Bits32R11G11B10) {
            for (int x = 0; x < w; ++x) {
                const std::uint32_t r = qRed(img.pixel(x, y)), g = qGreen(img.pixel(x, y)), b = qBlue(img.pixel(x, y));
                put32(pixels, (r << 3 | r >> 5) << 21 | (g << 3 | g >> 5) << 10 | (b << 2 | b >> 6));
            }
        } else {
            const std::optional<std::uint8_t> alpha = masks.size() == 4 ? std::nullopt : std::optional<std::uint8_t>(0xFF);
            append(pixels, colourRow(img, y, bitCount, palette, compression == 3 && bitCount == 16, alpha));
        }
    }

    const std::size_t headerSize = core ? 12 : v5 ? 124 : 40 + 4 * masks.size();
    const std::uint32_t pixelOffset = u32(14 + headerSize + (core ? 3 : 4) * palette.size() + gap);
    Bytes f;
    putText(f, "BM");
    put32s(f, {pixelOffset + u32(pixels.size()), 0, pixelOffset});
    if (core) {
        put32(f, 12);
        put16s(f, {static_cast<unsigned>(w), static_cast<unsigned>(h), 1, static_cast<unsigned>(bitCount)});
    } else {
        put32s(f, {v5 ? 124u : 40u, u32(w), static_cast<std::uint32_t>(topDown ? -h : h)});
        put16s(f, {1, static_cast<unsigned>(bitCount)});
        put32s(f, {compression, u32(pixels.size()), 2835, 2835, 0, 0}); // 72 dpi
        for (std::uint32_t m : masks)
            put32(f, m);
        if (v5) {
            put32(f, 0x73524742);  // sRGB
            f.resize(14 + 124, 0); // end points, gamma, intent and profile unused
        }
    }
    putPalette(f, palette, !core);
    f.resize(f.size() + gap, 0);
    append(f, pixels);
    return f;
}

Bytes aniFile(const std::vector<Bytes>& frames, const std::vector<std::uint32_t>& sequence, std::size_t emptyChunks)
{
    const auto chunk = [](Bytes& out, const char* id, const Bytes& data) {
        putText(out, id);
        put32(out, u32(data.size()));
        append(out, data);
        if (data.size() % 2)
            put8(out, 0);
    };
    Bytes header;
    const std::uint32_t steps = u32(sequence.empty() ? frames.size() : sequence.size());
    // size, frames, steps, width, height, bit count, planes, rate (jiffies), flags: icon data [+ sequence]
    put32s(header, {36, u32(frames.size()), steps, 0, 0, 0, 1, 6, sequence.empty() ? 1u : 3u});
    Bytes list;
    putText(list, "fram");
    for (const Bytes& frame : frames)
        chunk(list, "icon", frame);
    for (std::size_t i = emptyChunks / 2; i < emptyChunks; ++i)
        chunk(list, "junk", {});
    Bytes body;
    putText(body, "ACON");
    chunk(body, "anih", header);
    if (!sequence.empty()) {
        Bytes seq;
        for (std::uint32_t step : sequence)
            put32(seq, step);
        chunk(body, "seq ", seq);
    }
    for (std::size_t i = 0; i < emptyChunks / 2; ++i)
        chunk(body, "junk", {});
    chunk(body, "LIST", list);
    Bytes out;
    chunk(out, "RIFF", body);
    return out;
}

Bytes icnsFile(const std::vector<IcnsElement>& elements)
{
    Bytes out;
    putText(out, "icns");
    put32(out, 0); // the file's length, set at the end
    for (const IcnsElement& e : elements) {
        putText(out, e.type.c_str());
        set32be(out, out.size(), u32(e.data.size() + 8));
        append(out, e.data);
    }
    set32be(out, 4, u32(out.size()));
    return out;
}

std::vector<IcnsElement> icnsRgbElements(const QImage& image, const char* rgbType, const char* maskType)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    std::vector<std::uint8_t> plane;
    Bytes rgb;
    Bytes mask;
    for (const int shift : {16, 8, 0, 24}) {
        plane.clear();
        for (int y = 0; y < argb.height(); ++y)
            for (int x = 0; x < argb.width(); ++x)
                plane.push_back(static_cast<std::uint8_t>(argb.pixel(x, y) >> shift));
        if (shift == 24) {
            mask.assign(plane.begin(), plane.end());
            break;
        }
        // Runs of 3 to 130 equal bytes as 0x80 + length - 3 and the byte; others as a count
        // byte (length - 1) and up to 128 bytes as they are.
        for (std::size_t at = 0; at < plane.size();) {
            std::size_t run = 1;
            while (at + run < plane.size() && run < 130 && plane[at + run] == plane[at])
                ++run;
            if (run >= 3) {
                put8(rgb, static_cast<unsigned>(0x80 + run - 3));
                put8(rgb, plane[at]);
                at += run;
                continue;
            }
            std::size_t literal = 0;
            while (at + literal < plane.size() && literal < 128
                   && !(at + literal + 2 < plane.size() && plane[at + literal] == plane[at + literal + 1]
                        && plane[at + literal] == plane[at + literal + 2]))
                ++literal;
            literal = std::max<std::size_t>(literal, 1);
            put8(rgb, static_cast<unsigned>(literal - 1));
            rgb.insert(rgb.end(), plane.begin() + static_cast<std::ptrdiff_t>(at),
                       plane.begin() + static_cast<std::ptrdiff_t>(at + literal));
            at += literal;
        }
    }
    return {{rgbType, rgb}, {maskType, mask}};
}

} // namespace fixtures
