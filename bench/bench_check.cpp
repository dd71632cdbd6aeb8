// "Checken" on 100,000 entries from 2,000 libraries of 50 icons each: the check as the program does
// it, against reading each entry's whole file (what a naive check would do).
//   build/bench_check

#include "support/TestUtil.h"

#include "catalogue/Catalogue.h"
#include "fileops/SourceFiles.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

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
