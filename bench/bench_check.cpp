// "Checken" on 100,000 entries from 2,000 libraries of 50 icons each: the check as the program does
// it, against reading each entry's whole file (what a naive check would do). Then on 20,000 icon
// files of four images each (16, 32 and 48 pixels as DIBs, 256 as PNG), as an icon collection holds
// them: the check as the program does it, against the header test alone.
//   build/bench_check

#include "catalogue/Catalogue.h"
#include "fileops/SourceFiles.h"
#include "support/TestUtil.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

constexpr int kLibraries = 2'000;
constexpr int kIconsEach = 50;

struct Tree {
    QTemporaryDir dir;
    bw::Catalogue catalogue {kLibraries * kIconsEach};
    Tree()
    {
        // Code and data beyond the resources, as in a real library of a few hundred kilobytes.
        fixtures::Bytes library = testutil::libraryWithIcons(kIconsEach);
        library.resize(library.size() + 256 * 1024, 0);
        for (int l = 0; l < kLibraries; ++l) {
            const fs::path path = testutil::writeFile(fs::path(dir.path().toStdString()) / ("lib" + std::to_string(l) + ".dll"), library);
            for (int i = 0; i < kIconsEach; ++i)
                catalogue.appendEntry(path.string(), static_cast<std::uint16_t>(i));
        }
    }
};

Tree& tree()
{
    static Tree t;
    return t;
}

constexpr int kIconFiles = 20'000;

struct IconTree {
    QTemporaryDir dir;
    bw::Catalogue catalogue {kIconFiles};
    IconTree()
    {
        const fixtures::Bytes icon = fixtures::iconFile({fixtures::dibImage(testutil::solid(qRgb(0, 0, 255), 16, 16), 32),
                                                         fixtures::dibImage(testutil::bands(), 32),
                                                         fixtures::dibImage(testutil::solid(qRgb(0, 255, 0), 48, 48), 32),
                                                         {0, 0, 1, 32, fixtures::pngData(testutil::solid(qRgb(255, 0, 0), 256, 256))}});
        for (int i = 0; i < kIconFiles; ++i) {
            const fs::path path = testutil::writeFile(fs::path(dir.path().toStdString()) / ("i" + std::to_string(i) + ".ico"), icon);
            catalogue.appendEntry(path.string(), 0);
        }
    }
};

IconTree& iconTree()
{
    static IconTree t;
    return t;
}

void BM_CheckIconFilesAsTheProgramDoes(benchmark::State& state)
{
    iconTree();
    for (auto _ : state) {
        bw::IconFileCheck check;
        int defects = 0;
        for (std::int32_t e = 1; e <= iconTree().catalogue.entryCount(); ++e)
            defects += check.passes(iconTree().catalogue[e].path(), iconTree().catalogue[e].iconIndex) ? 0 : 1;
        benchmark::DoNotOptimize(defects);
    }
    state.SetItemsProcessed(state.iterations() * iconTree().catalogue.entryCount());
}
BENCHMARK(BM_CheckIconFilesAsTheProgramDoes)->Unit(benchmark::kMillisecond)->Iterations(3);

// Only the six header bytes of each icon file: what the check costs without loading the icon.
void BM_IconFileHeadersOnly(benchmark::State& state)
{
    iconTree();
    for (auto _ : state) {
        int defects = 0;
        for (std::int32_t e = 1; e <= iconTree().catalogue.entryCount(); ++e) {
            const std::string path(iconTree().catalogue[e].path());
            unsigned char header[6] {};
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            const bool ok = ::pread(fd, header, sizeof header, 0) == 6 && header[3] == 0 && header[2] <= 1;
            ::close(fd);
            defects += ok ? 0 : 1;
        }
        benchmark::DoNotOptimize(defects);
    }
    state.SetItemsProcessed(state.iterations() * iconTree().catalogue.entryCount());
}
BENCHMARK(BM_IconFileHeadersOnly)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_CheckAsTheProgramDoes(benchmark::State& state)
{
    tree();
    for (auto _ : state) {
        bw::IconFileCheck check;
        int defects = 0;
        for (std::int32_t e = 1; e <= tree().catalogue.entryCount(); ++e)
            defects += check.passes(tree().catalogue[e].path(), tree().catalogue[e].iconIndex) ? 0 : 1;
        benchmark::DoNotOptimize(defects);
    }
    state.SetItemsProcessed(state.iterations() * tree().catalogue.entryCount());
}
BENCHMARK(BM_CheckAsTheProgramDoes)->Unit(benchmark::kMillisecond)->Iterations(3);

// Each entry's whole file read into memory, then its header looked at.
void BM_WholeFilePerEntry(benchmark::State& state)
{
    tree();
    std::vector<char> buffer;
    for (auto _ : state) {
        int defects = 0;
        for (std::int32_t e = 1; e <= tree().catalogue.entryCount(); ++e) {
            const std::string path(tree().catalogue[e].path());
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            const off_t size = ::lseek(fd, 0, SEEK_END);
            buffer.resize(static_cast<std::size_t>(size));
            const bool ok = ::pread(fd, buffer.data(), buffer.size(), 0) == size && size >= 6 && buffer[3] == 0 && buffer[2] <= 1;
            ::close(fd);
            defects += ok ? 0 : 1;
        }
        benchmark::DoNotOptimize(defects);
    }
    state.SetItemsProcessed(state.iterations() * tree().catalogue.entryCount());
}
BENCHMARK(BM_WholeFilePerEntry)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

BENCHMARK_MAIN();
