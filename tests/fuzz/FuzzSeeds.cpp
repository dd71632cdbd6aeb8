#include "FuzzSeeds.h"

#include "support/HostileShapes.h"
#include "support/TestUtil.h"

#include <string>
#include <tuple>

using namespace fixtures;

void makeFuzzSeeds(const std::function<void(const char* harness, const Bytes& bytes)>& seed)
{
    const auto add = [&](const char* harness, const Bytes& bytes) {
        seed(harness, bytes);
        if (std::string(harness) != "settings" && std::string(harness) != "dib" && std::string(harness) != "file")
            seed("file", bytes);
    };
    // The harnesses of bitmaps, animated cursors and Apple icons put the file's first bytes in front.
    const auto withoutFirst
        = [](std::size_t n, const Bytes& bytes) { return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(n), bytes.end()); };
    const QImage picture = testutil::bands();
    std::vector<IconImage> images;
    for (const int bits : {1, 4, 8, 16, 24, 32}) {
        const Bytes dib = iconDib(picture, bits);
        add("dib", dib);
        images.push_back({32, 32, 1, static_cast<std::uint16_t>(bits), dib});
    }
    DibOptions core;
    core.coreHeader = true;
    add("dib", iconDib(picture, 8, core));
    DibOptions masks;
    masks.bitfields565 = true;
    add("dib", iconDib(picture, 16, masks));
    add("dib", pngData(picture));
    images.push_back({0, 0, 1, 32, pngData(testutil::solid(qRgb(1, 2, 3), 48, 48))});
    add("iconfile", iconFile(images));
    add("iconfile", iconFile({images[2], images[5]}, 2));

    std::vector<GroupIcon> groups = {{u"MAIN", 0, {0x0409}, {images[2], images[5], images[6]}},
                                     {std::nullopt, 5, {0x0409, 0x0407}, {images[0], images[3]}},
                                     {std::nullopt, 2, {0x0409}, {images[4]}}};
    add("pe", peFile(groups, false));
    add("pe", peFile(groups, true));
    add("pe", testutil::libraryWithIcons(3));
    add("ne", neFile(groups));
    // Five groups, so that icon indices of 3 and more are reached.
    std::vector<GroupIcon> five = groups;
    five.push_back({std::nullopt, 9, {0x0409}, {images[1], images[6]}});
    five.push_back({u"ZZ", 0, {0x0409}, {images[3], images[4], images[5]}});
    add("pe", peFile(five, false));
    add("ne", neFile(five));
    for (const BmpKind kind : {BmpKind::Bits1, BmpKind::Bits4, BmpKind::Bits8, BmpKind::Bits24, BmpKind::Bits32, BmpKind::Rle8,
                               BmpKind::Rle4, BmpKind::Os2Core24, BmpKind::TopDown24}) {
        const Bytes bmp = bmpFile(testutil::bands(false), kind);
        add("bmp", withoutFirst(2, bmp)); // "BM"
        add("file", bmp);
    }
    add("bmp", withoutFirst(2, rleBitmapClaiming(64)));
    // Animated cursors of icon and of cursor frames, shown in stored order or by a sequence.
    const Bytes iconFrame = iconFile({images[2], images[5]});
    const Bytes cursorFrame = iconFile({images[3]}, 2);
    add("ani", aniFile({iconFrame, iconFile({images[0]}), iconFrame}));
    add("ani", aniFile({cursorFrame, iconFile({images[6], images[4]}, 2)}, {1, 0, 1}));
    add("ani", aniFile({iconFrame, cursorFrame}, {0}));
    add("ani", withoutFirst(12, aniFile({cursorFrame}))); // "RIFF", a size and "ACON"

    // Apple icons: the old run-length coded images with their masks, and PNG images.
    std::vector<IcnsElement> legacy;
    for (const auto& [edge, rgb, mask] : {std::tuple(16, "is32", "s8mk"), std::tuple(32, "il32", "l8mk"), std::tuple(48, "ih32", "h8mk")})
        for (IcnsElement& e : icnsRgbElements(picture.scaled(edge, edge), rgb, mask))
            legacy.push_back(std::move(e));
    add("icns", icnsFile(legacy));
    std::vector<IcnsElement> large = icnsRgbElements(picture.scaled(128, 128), "it32", "t8mk");
    large[0].data.insert(large[0].data.begin(), 4, 0); // this type starts with four zero bytes
    add("icns", icnsFile(large));
    const std::vector<IcnsElement> pngs
        = {{"icp4", pngData(picture.scaled(16, 16))}, {"ic11", pngData(picture)}, {"ic07", pngData(picture.scaled(128, 128))}};
    add("icns", icnsFile(pngs));
    add("icns", withoutFirst(8, icnsFile({legacy[2], legacy[3], pngs[1]}))); // "icns" and a length
    const char settings[] = "-2147483633\r\n/home/anna/Symbole/\r\n/tmp/\r\n1\r\n1\r\n0\r\n1\r\n1\r\n0\r\n1\r\n";
    add("settings", Bytes(settings, settings + sizeof settings - 1));
}
