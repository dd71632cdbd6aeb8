// Builds a large tree for timing reads: 20,000 directories and 200,000 files, of which 10,000
// are small icon files and 10,000 small libraries with 3 icons each; the rest are other files.
// With --today the icon files are animated cursors and Apple icon files (half each, of the same
// icon) and the libraries are system icon stores (".dll.mun"), so that a read of today's kinds
// can be timed against a read of the same number of old ones.
//   build/make_scan_tree DIR [--today]

#include "support/FixtureWriter.h"
#include "support/TestUtil.h"

#include <QGuiApplication>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

int main(int argc, char** argv)
{
    const bool today = argc == 3 && std::string(argv[2]) == "--today";
    if (argc != 2 && !today) {
        std::fprintf(stderr, "usage: make_scan_tree DIR [--today]\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    const fixtures::Bytes icon = testutil::solidIcon(qRgb(200, 30, 30), 4);
    std::vector<fixtures::GroupIcon> groups;
    for (std::uint16_t id = 1; id <= 3; ++id)
        groups.push_back({std::nullopt, id, {0x409}, {{16, 16, 1, 4, fixtures::iconDib(testutil::solid(qRgb(30, 30, 200), 16, 16), 4)}}});
    const fixtures::Bytes library = fixtures::peFile(groups, false);
    const fixtures::Bytes cursor = fixtures::aniFile({icon, icon});
    const fixtures::Bytes apple = fixtures::icnsFile({{"ic07", fixtures::pngData(testutil::solid(qRgb(200, 30, 30), 128, 128))},
                                                      {"icp5", fixtures::pngData(testutil::solid(qRgb(200, 30, 30)))}});
    const fixtures::Bytes other = {'k', 'e', 'i', 'n', ' ', 'I', 'c', 'o', 'n', '\n'};
    static const char* const otherNames[]
        = {"notiz.txt", "daten.dat", "bild.png", "liesmich", "tabelle.csv", "skript.sh", "seite.html", "archiv.zip", "log.log"};
    int files = 0;
    for (int top = 0; top < 200; ++top)
        for (int sub = 0; sub < 100; ++sub) {
            const std::filesystem::path dir = root / ("t" + std::to_string(top)) / ("s" + std::to_string(sub));
            std::filesystem::create_directories(dir);
            const int n = top * 100 + sub;
            const std::string number = std::to_string(n);
            if (n % 2 == 0 && !today)
                testutil::writeFile(dir / ("icon" + number + ".ico"), icon);
            else if (n % 2 == 0)
                testutil::writeFile(dir / (n % 4 == 0 ? "cursor" + number + ".ani" : "apple" + number + ".icns"),
                                    n % 4 == 0 ? cursor : apple);
            else
                testutil::writeFile(dir / ("lib" + number + (today ? ".dll.mun" : ".dll")), library);
            for (const char* name : otherNames)
                testutil::writeFile(dir / name, other);
            files += 10;
        }
    std::printf("%d directories, %d files in %s\n", 200 * 100, files, argv[1]);
    return 0;
}
