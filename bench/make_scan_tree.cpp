// Builds a large tree for timing reads: 20,000 directories and 200,000 files, of which 10,000
// are small icon files and 10,000 small libraries with 3 icons each; the rest are other files.
// With --today the icon files are animated cursors and Apple icon files (half each, of the same
// icon) and the libraries are system icon stores (".dll.mun"), so that a read of today's kinds
// can be timed against a read of the same number of old ones.
// With --real-size the libraries (and every fourth a program) are files of their own of 100 KB
// to 3 MB with 6 icon groups, whose resource section lies behind a large code section, as in a
// real library; the code section is left a hole in the file, so the tree takes little disk.
// With --hard-links every library is another name of one such file, as in Windows' component
// store.
//   build/make_scan_tree DIR [--today | --real-size | --hard-links]

#include "support/FixtureWriter.h"
#include "support/TestUtil.h"

#include <QGuiApplication>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

// Writes a library whose resources lie behind `code` bytes of code; the code is left a hole.
void writeWithCode(const std::filesystem::path& path, const fixtures::Bytes& pe, std::uint32_t code)
{
    const fixtures::Bytes f = fixtures::withCodeSection(pe, code);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(f.data()), 0x200);
    out.seekp(0x200 + code);
    out.write(reinterpret_cast<const char*>(f.data()) + 0x200 + code, static_cast<std::streamsize>(f.size() - 0x200 - code));
}

} // namespace

int main(int argc, char** argv)
{
    const std::string variant = argc == 3 ? argv[2] : "";
    const bool today = variant == "--today";
    const bool realSize = variant == "--real-size";
    const bool hardLinks = variant == "--hard-links";
    // A first argument that looks like an option (--help) is no place for 200,000 files.
    if ((argc != 2 && !today && !realSize && !hardLinks) || argc < 2 || argv[1][0] == '-') {
        std::fprintf(stderr, "usage: make_scan_tree DIR [--today | --real-size | --hard-links]\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    const fixtures::Bytes icon = testutil::solidIcon(qRgb(200, 30, 30), 4);
    std::vector<fixtures::GroupIcon> groups;
    for (std::uint16_t id = 1; id <= 3; ++id)
        groups.push_back({std::nullopt, id, {0x409}, {fixtures::dibImage(testutil::solid(qRgb(30, 30, 200), 16, 16), 4)}});
    const fixtures::Bytes library = fixtures::peFile(groups, false);
    std::vector<fixtures::GroupIcon> manyGroups;
    for (std::uint16_t id = 1; id <= 6; ++id)
        manyGroups.push_back({std::nullopt,
                              id,
                              {0x409},
                              {fixtures::dibImage(testutil::solid(qRgb(30, 30, 200), 16, 16), 4),
                               fixtures::dibImage(testutil::solid(qRgb(30, 200, 30), 32, 32), 4)}});
    const fixtures::Bytes bigLibrary = fixtures::peFile(manyGroups, true);
    const std::filesystem::path shared = root / "geteilt.dll";
    if (hardLinks) {
        std::filesystem::create_directories(root);
        writeWithCode(shared, bigLibrary, 1024 * 1024);
    }
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
            else if (hardLinks)
                std::filesystem::create_hard_link(shared, dir / ("lib" + number + ".dll"));
            else if (realSize)
                writeWithCode(dir / ((n % 4 == 1 ? "prog" : "lib") + number + (n % 4 == 1 ? ".exe" : ".dll")), bigLibrary,
                              100 * 1024 + static_cast<std::uint32_t>(n % 20) * 150 * 1024);
            else
                testutil::writeFile(dir / ("lib" + number + (today ? ".dll.mun" : ".dll")), library);
            for (const char* name : otherNames)
                testutil::writeFile(dir / name, other);
            files += 10;
        }
    std::printf("%d directories, %d files in %s\n", 200 * 100, files, argv[1]);
    return 0;
}
