// Writes the starting corpus of each fuzz harness from the test fixtures:
//   fuzz_seeds DIR   ->   DIR/pe, DIR/ne, DIR/iconfile, DIR/dib, DIR/bmp, DIR/settings, DIR/file,
//                         DIR/ani, DIR/icns

#include "FuzzSeeds.h"

#include "support/TestUtil.h"

#include <QGuiApplication>

#include <cstdio>
#include <filesystem>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds DIR\n");
        return 2;
    }
    QGuiApplication app(argc, argv);
    const std::filesystem::path root = argv[1];
    int counter = 0;
    makeFuzzSeeds([&](const char* harness, const fixtures::Bytes& bytes) {
        std::filesystem::create_directories(root / harness);
        testutil::writeFile(root / harness / ("seed" + std::to_string(++counter)), bytes);
    });
    return 0;
}
