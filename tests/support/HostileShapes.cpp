#include "support/HostileShapes.h"

#include "support/TestUtil.h"

#include <QColor>

namespace fixtures {
namespace {

void put16(Bytes& b, std::size_t at, std::uint16_t v)
{
    if (b.size() < at + 2)
        b.resize(at + 2, 0);
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(Bytes& b, std::size_t at, std::uint32_t v)
{
    put16(b, at, static_cast<std::uint16_t>(v));
    put16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}

Bytes smallDib() { return iconDib(QImage(32, 32, QImage::Format_ARGB32), 4); }

constexpr std::uint32_t kDir = 0x80000000u;

} // namespace

Bytes peGroupOfManyImages()
{
    constexpr std::uint32_t kImages = 65535;
    constexpr std::uint32_t kIcons = 131070;
    // Resource section layout, offsets from its start.
    constexpr std::uint32_t root = 0;
    constexpr std::uint32_t groupType = root + 16 + 2 * 8;
    constexpr std::uint32_t groupLang = groupType + 16 + 8;
    constexpr std::uint32_t groupData = groupLang + 16 + 8;
    constexpr std::uint32_t iconLang = groupData + 16;
    constexpr std::uint32_t iconData = iconLang + 16 + 8;
    constexpr std::uint32_t iconType = iconData + 16;
    constexpr std::uint32_t groupBytes = iconType + 16 + kIcons * 8;
    constexpr std::uint32_t groupSize = 6 + kImages * 14;
    const Bytes dib = smallDib();
    const std::uint32_t dibBytes = groupBytes + groupSize;
    const std::uint32_t sectionSize = dibBytes + static_cast<std::uint32_t>(dib.size());

    constexpr std::uint32_t peAt = 0x40, fileAlign = 0x200, rva = 0x1000;
    Bytes r;
    put16(r, root + 14, 2);
    put32(r, root + 16, 3);
    put32(r, root + 20, kDir | iconType);
    put32(r, root + 24, 14);
    put32(r, root + 28, kDir | groupType);
    put16(r, groupType + 14, 1);
    put32(r, groupType + 16, 1);
    put32(r, groupType + 20, kDir | groupLang);
    put16(r, groupLang + 14, 1);
    put32(r, groupLang + 16, 0x409);
    put32(r, groupLang + 20, groupData);
    put32(r, groupData, rva + groupBytes);
    put32(r, groupData + 4, groupSize);
    put16(r, iconLang + 14, 1);
    put32(r, iconLang + 16, 0x409);
    put32(r, iconLang + 20, iconData);
    put32(r, iconData, rva + dibBytes);
    put32(r, iconData + 4, static_cast<std::uint32_t>(dib.size()));
    put16(r, iconType + 12, static_cast<std::uint16_t>(kIcons / 2)); // "named" entries, then ids
    put16(r, iconType + 14, static_cast<std::uint16_t>(kIcons / 2));
    for (std::uint32_t i = 0; i < kIcons; ++i) {
        // Ids count down, so ids 1..65535, the ones the group names, come last.
        put32(r, iconType + 16 + i * 8, kIcons - i);
        put32(r, iconType + 16 + i * 8 + 4, kDir | iconLang);
    }
    put16(r, groupBytes + 2, 1);
    put16(r, groupBytes + 4, static_cast<std::uint16_t>(kImages));
    for (std::uint32_t i = 0; i < kImages; ++i) {
        const std::size_t e = groupBytes + 6 + i * 14;
        r.resize(std::max<std::size_t>(r.size(), e + 14), 0);
        r[e] = 32;
        r[e + 1] = 32;
        put16(r, e + 4, 1);
        put16(r, e + 6, 4);
        put32(r, e + 8, static_cast<std::uint32_t>(dib.size()));
        put16(r, e + 12, static_cast<std::uint16_t>(i + 1));
    }
    r.resize(dibBytes);
    r.insert(r.end(), dib.begin(), dib.end());

    Bytes f;
    f.push_back('M');
    f.push_back('Z');
    put32(f, 0x3C, peAt);
    f.resize(peAt, 0);
    f.insert(f.end(), {'P', 'E', 0, 0});
    const std::size_t coff = peAt + 4;
    put16(f, coff, 0x14C);
    put16(f, coff + 2, 1);    // one section
    put16(f, coff + 16, 224); // optional header size
    const std::size_t opt = coff + 20;
    put16(f, opt, 0x10B);
    put32(f, opt + 92, 16);
    put32(f, opt + 96 + 2 * 8, rva);
    put32(f, opt + 96 + 2 * 8 + 4, sectionSize);
    const std::size_t section = opt + 224;
    f.resize(section + 40, 0);
    const char name[] = ".rsrc";
    std::copy(name, name + 5, f.begin() + static_cast<std::ptrdiff_t>(section));
    put32(f, section + 8, sectionSize);
    put32(f, section + 12, rva);
    put32(f, section + 16, sectionSize);
    put32(f, section + 20, fileAlign);
    f.resize(fileAlign, 0);
    f.insert(f.end(), r.begin(), r.end());
    return f;
}

Bytes neGroupOfManyImages()
{
    constexpr std::uint16_t kIcons = 5000;
    constexpr std::uint32_t kImages = 65535;
    constexpr std::uint16_t shift = 4;
    constexpr std::size_t neAt = 0x40;
    const std::size_t table = neAt + 0x40;
    // Table: shift, TYPEINFO(RT_ICON) + NAMEINFOs, TYPEINFO(RT_GROUP_ICON) + one NAMEINFO, 0.
    const std::size_t iconInfos = table + 2 + 8;
    const std::size_t groupType = iconInfos + kIcons * 12;
    const std::size_t tableEnd = groupType + 8 + 12 + 2;
    const std::size_t dibAt = (tableEnd + 15) / 16 * 16;
    const Bytes dib = smallDib();
    const std::size_t groupAt = (dibAt + dib.size() + 15) / 16 * 16;
    const std::size_t groupSize = 6 + kImages * 14;

    Bytes f;
    f.push_back('M');
    f.push_back('Z');
    put32(f, 0x3C, static_cast<std::uint32_t>(neAt));
    f.resize(neAt, 0);
    f.push_back('N');
    f.push_back('E');
    put16(f, neAt + 0x24, static_cast<std::uint16_t>(table - neAt));
    put16(f, neAt + 0x26, static_cast<std::uint16_t>(tableEnd - neAt));
    put16(f, table, shift);
    put16(f, table + 2, 0x8003);
    put16(f, table + 4, kIcons);
    for (std::uint16_t i = 0; i < kIcons; ++i) {
        const std::size_t n = iconInfos + i * 12u;
        put16(f, n, static_cast<std::uint16_t>(dibAt >> shift));
        put16(f, n + 2, static_cast<std::uint16_t>((dib.size() + 15) >> shift));
        put16(f, n + 6, static_cast<std::uint16_t>(0x8000 | (i + 1)));
    }
    put16(f, groupType, 0x800E);
    put16(f, groupType + 2, 1);
    put16(f, groupType + 8, static_cast<std::uint16_t>(groupAt >> shift));
    put16(f, groupType + 10, static_cast<std::uint16_t>((groupSize + 15) >> shift));
    put16(f, groupType + 14, 0x8001);
    put16(f, tableEnd - 2, 0);
    f.resize(dibAt, 0);
    f.insert(f.end(), dib.begin(), dib.end());
    f.resize(groupAt, 0);
    put16(f, groupAt + 2, 1);
    put16(f, groupAt + 4, static_cast<std::uint16_t>(kImages));
    for (std::uint32_t i = 0; i < kImages; ++i) {
        const std::size_t e = groupAt + 6 + i * 14;
        put16(f, e, 0x2020);
        put16(f, e + 4, 1);
        put16(f, e + 6, 4);
        put32(f, e + 8, static_cast<std::uint32_t>(dib.size()));
        put16(f, e + 12, kIcons); // the last icon of the table, every time
    }
    f.resize((groupAt + groupSize + 15) / 16 * 16, 0);
    return f;
}

namespace {

Bytes bitmapHeader(int edge, std::uint16_t bits, std::uint32_t compression, std::uint32_t paletteEntries)
{
    Bytes b = {'B', 'M'};
    const std::uint32_t pixels = 14 + 40 + paletteEntries * 4;
    put32(b, 10, pixels);
    put32(b, 14, 40);
    put32(b, 18, static_cast<std::uint32_t>(edge));
    put32(b, 22, static_cast<std::uint32_t>(edge));
    put16(b, 26, 1);
    put16(b, 28, bits);
    put32(b, 30, compression);
    put32(b, 46, paletteEntries);
    for (std::uint32_t i = 0; i < paletteEntries; ++i)
        put32(b, 54 + i * 4, qRgb(static_cast<int>(i), 0, 255 - static_cast<int>(i)));
    b.resize(pixels, 0);
    return b;
}

} // namespace

Bytes rleBitmapClaiming(int edge)
{
    Bytes b = bitmapHeader(edge, 8, 1, 256);
    // A run of colour 7, then "end of bitmap": every other pixel stays at index 0.
    b.insert(b.end(), {255, 7, 0, 1});
    put32(b, 2, static_cast<std::uint32_t>(b.size()));
    return b;
}

Bytes shortBitmapClaiming(int edge)
{
    Bytes b = bitmapHeader(edge, 24, 0, 0);
    b.resize(b.size() + 64, 0x7F);
    put32(b, 2, static_cast<std::uint32_t>(b.size()));
    return b;
}

namespace {

void putChunk(Bytes& b, const char* id, const Bytes& data)
{
    b.insert(b.end(), id, id + 4);
    put32(b, b.size(), static_cast<std::uint32_t>(data.size()));
    b.insert(b.end(), data.begin(), data.end());
    if (data.size() % 2)
        b.push_back(0);
}

Bytes riffOf(const Bytes& body)
{
    Bytes f;
    putChunk(f, "RIFF", body);
    return f;
}

Bytes aniHeader(std::uint32_t frames)
{
    Bytes h;
    for (const std::uint32_t v : {36u, frames, frames, 0u, 0u, 0u, 1u, 6u, 1u})
        put32(h, h.size(), v);
    return h;
}

Bytes oneImageIcon(QRgb colour) { return iconFile({{32, 32, 1, 4, iconDib(testutil::solid(colour), 4)}}); }

void put32be(Bytes& b, std::size_t at, std::uint32_t v)
{
    put32(b, at, (v >> 24) | ((v >> 8) & 0xFF00) | ((v << 8) & 0xFF0000) | (v << 24));
}

} // namespace

Bytes aniOfManyChunks()
{
    constexpr int kHalf = 500000;
    const Bytes empty;
    Bytes body = {'A', 'C', 'O', 'N'};
    putChunk(body, "anih", aniHeader(1));
    for (int i = 0; i < kHalf; ++i)
        putChunk(body, "junk", empty);
    Bytes list = {'f', 'r', 'a', 'm'};
    putChunk(list, "icon", oneImageIcon(qRgb(0, 128, 0)));
    for (int i = 0; i < kHalf; ++i)
        putChunk(list, "junk", empty);
    putChunk(body, "LIST", list);
    return riffOf(body);
}

Bytes aniOfFramesOfManyImages()
{
    constexpr std::uint32_t kFrames = 1024, kImages = 256;
    const Bytes dib = iconDib(testutil::solid(qRgb(0, 0, 255)), 4);
    Bytes frame;
    put16(frame, 2, 1);
    put16(frame, 4, kImages);
    const std::uint32_t dibAt = 6 + kImages * 16;
    for (std::uint32_t i = 0; i < kImages; ++i) {
        const std::size_t e = 6 + i * 16;
        put16(frame, e, 0x2020);
        put16(frame, e + 4, 1);
        put16(frame, e + 6, 4);
        put32(frame, e + 8, static_cast<std::uint32_t>(dib.size()));
        put32(frame, e + 12, dibAt);
    }
    frame.insert(frame.end(), dib.begin(), dib.end());
    Bytes body = {'A', 'C', 'O', 'N'};
    putChunk(body, "anih", aniHeader(kFrames));
    Bytes list = {'f', 'r', 'a', 'm'};
    for (std::uint32_t f = 0; f < kFrames; ++f)
        putChunk(list, "icon", frame);
    putChunk(body, "LIST", list);
    return riffOf(body);
}

Bytes aniOfPngBombs()
{
    const Bytes frame = iconFile({{0, 0, 1, 32, pngData(testutil::solid(qRgb(40, 80, 120), 1024, 1024))}});
    return aniFile(std::vector<Bytes>(1024, frame));
}

Bytes aniShowingFrame(std::uint32_t firstStep)
{
    return aniFile({oneImageIcon(qRgb(255, 0, 0)), oneImageIcon(qRgb(0, 0, 255))}, {firstStep, 0});
}

Bytes icnsOfPngBombs()
{
    const Bytes png = pngData(testutil::solid(qRgb(40, 80, 120), 1024, 1024));
    return icnsFile(std::vector<IcnsElement>(256, {"ic10", png}));
}

Bytes icnsOfImagesSharingAHugeMask()
{
    const std::vector<IcnsElement> image = icnsRgbElements(testutil::solid(qRgb(40, 80, 120)), "il32", "l8mk");
    std::vector<IcnsElement> elements(255, image[0]);
    elements.push_back({"l8mk", Bytes(30 << 20, 0xFF)});
    return icnsFile(elements);
}

Bytes icnsThatLies(IcnsLie lie)
{
    const Bytes png = pngData(testutil::solid(qRgb(40, 80, 120), 32, 32));
    Bytes f = icnsFile({{"ic11", png}, {"ic07", png}});
    const std::size_t second = 8 + 8 + png.size();
    switch (lie) {
    case IcnsLie::ElementOfLengthZero: put32be(f, second + 4, 0); break;
    case IcnsLie::ElementPastEnd: put32be(f, second + 4, 0x7FFFFFFF); break;
    case IcnsLie::FileLengthCutsElement: put32be(f, 4, static_cast<std::uint32_t>(second + 20)); break;
    case IcnsLie::FileLengthPastEnd: put32be(f, 4, 0xFFFFFFFF); break;
    case IcnsLie::OldImageOfHugeLength: f = icnsFile({{"ic11", png}, {"ICN#", Bytes(4 << 20, 0xAA)}}); break;
    case IcnsLie::ContentsClaimingHugeImage: {
        Bytes contents = {'I', 'C', 'N', '#'};
        put32be(contents, 4, (4 << 20) + 8);
        f = icnsFile({{"TOC ", contents}, {"ICN#", Bytes(256, 0xAA)}, {"ic11", png}});
        break;
    }
    case IcnsLie::EmptyElementBeforeLargePng:
        f = icnsFile({{"ic11", png}, {"ic07", {}}, {"ic07", pngData(testutil::solid(qRgb(1, 2, 3), 2048, 2048))}});
        break;
    case IcnsLie::ElementPastFileLength: {
        f = icnsFile({{"ic11", png}, {"ic07", {}}});
        const std::size_t at = f.size();
        f.insert(f.end(), {'i', 'c', '0', '7'});
        put32be(f, at + 4, 0x7FFFFFF0);
        f.insert(f.end(), png.begin(), png.begin() + 16);
        break;
    }
    }
    return f;
}

} // namespace fixtures
