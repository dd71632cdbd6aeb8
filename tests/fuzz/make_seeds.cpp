// Writes the starting corpus of each fuzz harness from the test fixtures:
//   fuzz_seeds DIR   ->   DIR/pe, DIR/ne, DIR/iconfile, DIR/dib, DIR/bmp, DIR/settings, DIR/file

#include "support/FixtureWriter.h"
#include "support/HostileShapes.h"
#include "support/TestUtil.h"

#include <QGuiApplication>

#include <cstdio>
#include <filesystem>

using namespace fixtures;

namespace {

std::filesystem::path root;
int counter = 0;

void seed(const char* harness, const Bytes& bytes)
{
    const std::filesystem::path dir = root / harness;
    std::filesystem::create_directories(dir);
    testutil::writeFile(dir / ("seed" + std::to_string(++counter)), bytes);
    if (std::string(harness) != "settings" && std::string(harness) != "dib")
        testutil::writeFile(root / "file" / ("seed" + std::to_string(counter)), bytes);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds DIR\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    root = argv[1];
    std::filesystem::create_directories(root / "file");
    const QImage picture = testutil::bands();
    std::vector<IconImage> images;
    for (const int bits : {1, 4, 8, 16, 24, 32}) {
        const Bytes dib = iconDib(picture, bits);
        seed("dib", dib);
        images.push_back({32, 32, 1, static_cast<std::uint16_t>(bits), dib});
    }
    DibOptions core;
    core.coreHeader = true;
    seed("dib", iconDib(picture, 8, core));
    DibOptions masks;
    masks.bitfields565 = true;
    seed("dib", iconDib(picture, 16, masks));
    seed("dib", pngData(picture));
    images.push_back({0, 0, 1, 32, pngData(testutil::solid(qRgb(1, 2, 3), 48, 48))});
    seed("iconfile", iconFile(images));
    seed("iconfile", iconFile({images[2], images[5]}, 2));

    std::vector<GroupIcon> groups = {{u"MAIN", 0, {0x0409}, {images[2], images[5], images[6]}},
                                     {std::nullopt, 5, {0x0409, 0x0407}, {images[0], images[3]}},
                                     {std::nullopt, 2, {0x0409}, {images[4]}}};
    seed("pe", peFile(groups, false));
    seed("pe", peFile(groups, true));
    seed("pe", testutil::libraryWithIcons(3));
    seed("ne", neFile(groups));
    // Five groups, so that icon indices of 3 and more are reached.
    std::vector<GroupIcon> five = groups;
    five.push_back({std::nullopt, 9, {0x0409}, {images[1], images[6]}});
    five.push_back({u"ZZ", 0, {0x0409}, {images[3], images[4], images[5]}});
    seed("pe", peFile(five, false));
    seed("ne", neFile(five));
    for (const BmpKind kind : {BmpKind::Bits1, BmpKind::Bits4, BmpKind::Bits8, BmpKind::Bits24, BmpKind::Bits32, BmpKind::Rle8,
                               BmpKind::Rle4, BmpKind::Os2Core24, BmpKind::TopDown24}) {
        const Bytes bmp = bmpFile(testutil::bands(false), kind);
        seed("bmp", Bytes(bmp.begin() + 2, bmp.end())); // the harness puts "BM" in front
        testutil::writeFile(root / "file" / ("bmp" + std::to_string(++counter)), bmp);
    }
    seed("bmp", [] {
        const Bytes b = rleBitmapClaiming(64);
        return Bytes(b.begin() + 2, b.end());
    }());
    const char settings[] = "-2147483633\r\n/home/anna/Symbole/\r\n/tmp/\r\n1\r\n1\r\n0\r\n1\r\n1\r\n0\r\n1\r\n";
    seed("settings", Bytes(settings, settings + sizeof settings - 1));
    return 0;
}
