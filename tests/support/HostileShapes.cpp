#include "support/HostileShapes.h"

#include "support/TestUtil.h"

#include <QColor>

namespace fixtures {
namespace {

Bytes smallDib() { return iconDib(testutil::solid(qRgb(0, 0, 0)), 4); }

constexpr std::uint32_t kDir = 0x80000000u;

// A group directory at `at` of `count` entries, each a 32 x 32 image of 4 bits of `dibSize`
// bytes, the n-th naming the icon id idOf(n).
template <typename IdOf> void putGroup(Bytes& b, std::size_t at, std::uint32_t count, std::size_t dibSize, IdOf idOf)
{
    set16(b, at + 2, 1);
    set16(b, at + 4, count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::size_t e = at + 6 + i * 14;
        set16(b, e, 0x2020);
        set16(b, e + 4, 1);
        set16(b, e + 6, 4);
        set32(b, e + 8, static_cast<std::uint32_t>(dibSize));
        set16(b, e + 12, idOf(i));
    }
}

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

    constexpr std::uint32_t rva = 0x1000; // where peWithResources puts the section
    Bytes r;
    set16(r, root + 14, 2);
    set32(r, root + 16, 3);
    set32(r, root + 20, kDir | iconType);
    set32(r, root + 24, 14);
    set32(r, root + 28, kDir | groupType);
    set16(r, groupType + 14, 1);
    set32(r, groupType + 16, 1);
    set32(r, groupType + 20, kDir | groupLang);
    set16(r, groupLang + 14, 1);
    set32(r, groupLang + 16, 0x409);
    set32(r, groupLang + 20, groupData);
    set32(r, groupData, rva + groupBytes);
    set32(r, groupData + 4, groupSize);
    set16(r, iconLang + 14, 1);
    set32(r, iconLang + 16, 0x409);
    set32(r, iconLang + 20, iconData);
    set32(r, iconData, rva + dibBytes);
    set32(r, iconData + 4, static_cast<std::uint32_t>(dib.size()));
    set16(r, iconType + 12, static_cast<std::uint16_t>(kIcons / 2)); // "named" entries, then ids
    set16(r, iconType + 14, static_cast<std::uint16_t>(kIcons / 2));
    for (std::uint32_t i = 0; i < kIcons; ++i) {
        // Ids count down, so ids 1..65535, the ones the group names, come last.
        set32(r, iconType + 16 + i * 8, kIcons - i);
        set32(r, iconType + 16 + i * 8 + 4, kDir | iconLang);
    }
    putGroup(r, groupBytes, kImages, dib.size(), [](std::uint32_t i) { return i + 1; });
    r.resize(dibBytes);
    r.insert(r.end(), dib.begin(), dib.end());

    return peWithResources(r);
}

Bytes neGroupOfManyImages()
{
    constexpr std::uint16_t kIcons = 5000;
    constexpr std::uint32_t kImages = 65535;
    constexpr std::uint16_t shift = 4;
    constexpr std::size_t neAt = 0x80, table = 0xC0; // as neLibraryHeader lays them out
    // Table: shift, TYPEINFO(RT_ICON) + NAMEINFOs, TYPEINFO(RT_GROUP_ICON) + one NAMEINFO, 0.
    const std::size_t iconInfos = table + 2 + 8;
    const std::size_t groupType = iconInfos + kIcons * 12;
    const std::size_t tableEnd = groupType + 8 + 12 + 2;
    const std::size_t dibAt = (tableEnd + 15) / 16 * 16;
    const Bytes dib = smallDib();
    const std::size_t groupAt = (dibAt + dib.size() + 15) / 16 * 16;
    const std::size_t groupSize = 6 + kImages * 14;

    Bytes f = neLibraryHeader();
    set16(f, neAt + 0x26, static_cast<std::uint16_t>(tableEnd - neAt));
    set16(f, table, shift);
    set16(f, table + 2, 0x8003);
    set16(f, table + 4, kIcons);
    for (std::uint16_t i = 0; i < kIcons; ++i) {
        const std::size_t n = iconInfos + i * 12u;
        set16(f, n, static_cast<std::uint16_t>(dibAt >> shift));
        set16(f, n + 2, static_cast<std::uint16_t>((dib.size() + 15) >> shift));
        set16(f, n + 6, static_cast<std::uint16_t>(0x8000 | (i + 1)));
    }
    set16(f, groupType, 0x800E);
    set16(f, groupType + 2, 1);
    set16(f, groupType + 8, static_cast<std::uint16_t>(groupAt >> shift));
    set16(f, groupType + 10, static_cast<std::uint16_t>((groupSize + 15) >> shift));
    set16(f, groupType + 14, 0x8001);
    set16(f, tableEnd - 2, 0);
    f.resize(dibAt, 0);
    f.insert(f.end(), dib.begin(), dib.end());
    f.resize(groupAt, 0);
    putGroup(f, groupAt, kImages, dib.size(), [](std::uint32_t) { return kIcons; }); // the last icon of the table, every time
    f.resize((groupAt + groupSize + 15) / 16 * 16, 0);
    return f;
}

namespace {

// A bitmap of `bmpFile` whose header claims `edge` x `edge` pixels.
Bytes claimingEdge(Bytes bmp, int edge)
{
    set32(bmp, 18, static_cast<std::uint32_t>(edge));
    set32(bmp, 22, static_cast<std::uint32_t>(edge));
    return bmp;
}

} // namespace

// A run of 255 pixels, then "end of bitmap": every other pixel stays at index 0.
Bytes rleBitmapClaiming(int edge) { return claimingEdge(bmpFile(testutil::solid(qRgb(255, 0, 0), 255, 1), BmpKind::Rle8), edge); }

Bytes shortBitmapClaiming(int edge) { return claimingEdge(bmpFile(testutil::solid(qRgb(127, 127, 127), 16, 1), BmpKind::Bits24), edge); }

Bytes aniOfManyChunks() { return aniFile({testutil::solidIcon(qRgb(0, 128, 0), 4)}, {}, 1'000'000); }

Bytes aniOfFramesOfManyImages()
{
    // An icon file of 256 copies of one image, cut after the first copy, which every entry names.
    constexpr std::uint32_t kImages = 256, dibAt = 6 + kImages * 16;
    const Bytes dib = iconDib(testutil::solid(qRgb(0, 0, 255)), 4);
    Bytes frame = iconFile(std::vector<IconImage>(kImages, {32, 32, 1, 4, dib}));
    for (std::uint32_t i = 0; i < kImages; ++i)
        set32(frame, 6 + i * 16 + 12, dibAt);
    frame.resize(dibAt + dib.size());
    return aniFile(std::vector<Bytes>(1024, frame));
}

Bytes aniOfPngBombs()
{
    const Bytes frame = iconFile({{0, 0, 1, 32, pngData(testutil::solid(qRgb(40, 80, 120), 1024, 1024))}});
    return aniFile(std::vector<Bytes>(1024, frame));
}

Bytes aniShowingFrame(std::uint32_t firstStep)
{
    return aniFile({testutil::solidIcon(qRgb(255, 0, 0), 4), testutil::solidIcon(qRgb(0, 0, 255), 4)}, {firstStep, 0});
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
    case IcnsLie::ElementOfLengthZero: set32be(f, second + 4, 0); break;
    case IcnsLie::ElementPastEnd: set32be(f, second + 4, 0x7FFFFFFF); break;
    case IcnsLie::FileLengthCutsElement: set32be(f, 4, static_cast<std::uint32_t>(second + 20)); break;
    case IcnsLie::FileLengthPastEnd: set32be(f, 4, 0xFFFFFFFF); break;
    case IcnsLie::OldImageOfHugeLength: f = icnsFile({{"ic11", png}, {"ICN#", Bytes(4 << 20, 0xAA)}}); break;
    case IcnsLie::ContentsClaimingHugeImage: {
        Bytes contents = {'I', 'C', 'N', '#'};
        set32be(contents, 4, (4 << 20) + 8);
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
        set32be(f, at + 4, 0x7FFFFFF0);
        f.insert(f.end(), png.begin(), png.begin() + 16);
        break;
    }
    }
    return f;
}

} // namespace fixtures
