// Counting and extracting on a large icon library, warm cache: what the indexer and the page
// painter pay per file and per icon.
//   build/bench_icons [--benchmark_filter=...]

#include "support/TestUtil.h"

#include "icons/IconExtractor.h"

#include <benchmark/benchmark.h>

#include <QTemporaryDir>

using namespace fixtures;

namespace {

constexpr int kGroups = 500;

// Like a system library: every group holds 16, 32 and 48 pixel images in 4, 8 and 32 bits.
std::vector<GroupIcon> libraryGroups()
{
    std::vector<GroupIcon> groups;
    for (int g = 0; g < kGroups; ++g) {
        const QRgb colour = qRgb(g % 256, (g * 7) % 256, (g * 13) % 256);
        GroupIcon group;
        group.id = static_cast<std::uint16_t>(g + 1);
        for (const auto& [edge, bits] : {std::pair {16, 4}, {16, 32}, {32, 4}, {32, 8}, {32, 32}, {48, 32}})
            group.images.push_back({static_cast<std::uint8_t>(edge), static_cast<std::uint8_t>(edge), 1,
                                    static_cast<std::uint16_t>(bits), iconDib(testutil::solid(colour, edge, edge), bits)});
        groups.push_back(std::move(group));
    }
    return groups;
}

struct Library {
    QTemporaryDir dir;
    std::filesystem::path pe;
    std::filesystem::path ne;
    Bytes peBytes;

    Library()
    {
        const auto groups = libraryGroups();
        peBytes = peFile(groups, false);
        pe = testutil::writeFile(std::filesystem::path(dir.path().toStdString()) / "library.dll", peBytes);
        ne = testutil::writeFile(std::filesystem::path(dir.path().toStdString()) / "library.icl", neFile(groups));
    }
};

Library& library()
{
    static Library lib;
    return lib;
}

// The indexer counts each file once: the file is opened and mapped anew every time.
void countPe(benchmark::State& state)
{
    const auto& path = library().pe;
    for (auto _ : state) {
        bw::releaseFileCache();
        benchmark::DoNotOptimize(bw::iconCount(path));
    }
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(path));
}

void countNe(benchmark::State& state)
{
    for (auto _ : state) {
        bw::releaseFileCache();
        benchmark::DoNotOptimize(bw::iconCount(library().ne));
    }
}

// Extraction from a file opened for this one icon.
void extractPeFreshFile(benchmark::State& state)
{
    int index = 0;
    for (auto _ : state) {
        bw::releaseFileCache();
        benchmark::DoNotOptimize(bw::extractIcon(library().pe, index));
        index = (index + 37) % kGroups;
    }
}

void extractPe(benchmark::State& state)
{
    int index = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(bw::extractIcon(library().pe, index));
        index = (index + 37) % kGroups;
    }
}

void extractNe(benchmark::State& state)
{
    int index = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(bw::extractIcon(library().ne, index));
        index = (index + 37) % kGroups;
    }
}

// The same icons decoded from bytes already in memory: the floor the file path is measured against.
void extractPeFromMemory(benchmark::State& state)
{
    const Bytes& bytes = library().peBytes;
    int index = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(bw::extractIcon(bw::ByteReader(bytes.data(), bytes.size()), index));
        index = (index + 37) % kGroups;
    }
}

} // namespace

BENCHMARK(countPe)->Unit(benchmark::kMicrosecond);
BENCHMARK(countNe)->Unit(benchmark::kMicrosecond);
BENCHMARK(extractPe)->Unit(benchmark::kMicrosecond);
BENCHMARK(extractPeFreshFile)->Unit(benchmark::kMicrosecond);
BENCHMARK(extractNe)->Unit(benchmark::kMicrosecond);
BENCHMARK(extractPeFromMemory)->Unit(benchmark::kMicrosecond);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
