// Counting and extracting on a large icon library, warm cache: what the indexer and the page
// painter pay per file and per icon.
//   build/bench_icons [--benchmark_filter=...]

#include "catalogue/Catalogue.h"
#include "icons/IconExtractor.h"
#include "support/TestUtil.h"
#include "view/PagePainter.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <functional>

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
            group.images.push_back({static_cast<std::uint8_t>(edge), static_cast<std::uint8_t>(edge), 1, static_cast<std::uint16_t>(bits),
                                    iconDib(testutil::solid(colour, edge, edge), bits)});
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

// A full repaint of a page of 1,000 cells whose icons come from the library, as the painter does
// it: every cell extracts its icon from the file again.
constexpr int kPageCells = 1000;

// The painter's window without a window: texts go nowhere, icons come from `extract`.
class BenchPaintHost final : public bw::PaintHost {
public:
    explicit BenchPaintHost(std::function<QImage(std::string_view, int)> extract) : m_extract(std::move(extract)) {}
    void setNumberPanel(const QString&) override {}
    void setCountPanel(const QString&) override {}
    void setRangePanel(const QString&) override {}
    void refreshNow(const QRect&) override {}
    QImage extractIcon(std::string_view path, int iconIndex) override { return m_extract(path, iconIndex); }
    QImage extractIconAt(std::string_view path, int iconIndex, int edge) override
    {
        return bw::extractIcon(std::filesystem::path(std::string(path)), iconIndex, edge);
    }

private:
    std::function<QImage(std::string_view, int)> m_extract;
};

// Paints a full page of 1,000 cells over and over; the entries name `path`.
void paintPage(benchmark::State& state, const std::string& path, BenchPaintHost& host, qreal ratio = 1)
{
    bw::Catalogue catalogue(kPageCells);
    for (int i = 0; i < kPageCells; ++i)
        catalogue.appendEntry(path, static_cast<std::uint16_t>(i % kGroups));
    bw::PageState page;
    QImage canvas(qRound(40 * bw::kCellPitch * ratio), qRound(25 * bw::kCellPitch * ratio), QImage::Format_RGB32);
    canvas.setDevicePixelRatio(ratio);
    bw::computeGrid(page, 40 * bw::kCellPitch, 25 * bw::kCellPitch);
    for (auto _ : state)
        bw::paintEntries(canvas, catalogue, page, QColor(212, 208, 200), 1, kPageCells, host);
    state.counters["cells"] = page.pageCapacity;
}

void paintPageFromLibrary(benchmark::State& state)
{
    BenchPaintHost host([](std::string_view path, int index) { return bw::extractIcon(std::filesystem::path(std::string(path)), index); });
    paintPage(state, library().pe.string(), host);
}

// The same page on a screen of device pixel ratio 2: every icon drawn from the image nearest to
// 64 x 64.
void paintPageFromLibraryAtRatio2(benchmark::State& state)
{
    BenchPaintHost host([](std::string_view path, int index) { return bw::extractIcon(std::filesystem::path(std::string(path)), index); });
    paintPage(state, library().pe.string(), host, 2);
}

// The painter with icons decoded from the library's bytes in memory instead of the file.
void paintPageFromMemory(benchmark::State& state)
{
    BenchPaintHost host([](std::string_view, int index) {
        const Bytes& bytes = library().peBytes;
        return bw::extractIcon(bw::ByteReader(bytes.data(), bytes.size()), index);
    });
    paintPage(state, "x", host);
}

// The painter alone: every cell gets the same picture without any extraction.
void paintPageOnly(benchmark::State& state)
{
    const QImage icon = testutil::solid(qRgb(10, 20, 30));
    BenchPaintHost host([&icon](std::string_view, int) { return icon; });
    paintPage(state, "x", host);
}

// The same 1,000 icons decoded from the library's bytes in memory, nothing drawn.
void decodePageFromMemory(benchmark::State& state)
{
    const Bytes& bytes = library().peBytes;
    for (auto _ : state)
        for (int i = 0; i < kPageCells; ++i)
            benchmark::DoNotOptimize(bw::extractIcon(bw::ByteReader(bytes.data(), bytes.size()), i % kGroups));
}

} // namespace

BENCHMARK(paintPageFromLibrary)->Unit(benchmark::kMillisecond);
BENCHMARK(paintPageFromLibraryAtRatio2)->Unit(benchmark::kMillisecond);
BENCHMARK(decodePageFromMemory)->Unit(benchmark::kMillisecond);
BENCHMARK(paintPageOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(paintPageFromMemory)->Unit(benchmark::kMillisecond);
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
