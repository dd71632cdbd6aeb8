// Exporting 10,000 entries of a large library, against what the work itself costs (extracting the
// icons and writing the same bytes under plain names), and exporting into a directory that already
// holds 1,000 earlier exports of the same entries. The icon as stored against writing the same
// bytes, and the largest image as PNG against decoding it, zlib at its default level (which Qt's
// PNG writer uses when no quality is set) and writing the result.
//   build/bench_export [--benchmark_filter=...]

#include "catalogue/Catalogue.h"
#include "fileops/Export.h"
#include "fileops/IconFileWriter.h"
#include "icons/IconExtractor.h"
#include "support/SafeFile.h"
#include "support/TestUtil.h"

#include <QTemporaryDir>

#include <benchmark/benchmark.h>

#include <zlib.h>

#include <optional>

using namespace fixtures;
namespace fs = std::filesystem;

namespace {

constexpr int kEntries = 10'000;

class NoLines final : public bw::ReportLines {
public:
    void addLine(const QString&) override { ++count; }
    int count = 0;
};

struct Library {
    QTemporaryDir dir;
    fs::path path;
    bw::Catalogue catalogue {kEntries};

    Library()
    {
        std::vector<GroupIcon> groups;
        for (int g = 0; g < kEntries; ++g) {
            const QRgb colour = qRgb(g % 256, (g * 7) % 256, (g * 13) % 256);
            GroupIcon group;
            group.id = static_cast<std::uint16_t>(g + 1);
            for (const auto& [edge, bits] : {std::pair {16, 4}, {32, 8}, {32, 32}})
                group.images.push_back({static_cast<std::uint8_t>(edge), static_cast<std::uint8_t>(edge), 1,
                                        static_cast<std::uint16_t>(bits), iconDib(testutil::solid(colour, edge, edge), bits)});
            groups.push_back(std::move(group));
        }
        path = testutil::writeFile(fs::path(dir.path().toStdString()) / "gross.dll", peFile(groups, false));
        for (int g = 0; g < kEntries; ++g)
            catalogue.appendEntry(path.string(), static_cast<std::uint16_t>(g));
    }
};

Library& library()
{
    static Library l;
    return l;
}

// BILDWIESEL_BENCH_NO_SYNC=1 exports without any sync, to measure what making the files durable costs.
bw::ExportDirectory::Durability durability()
{
    static const bool off = qEnvironmentVariableIntValue("BILDWIESEL_BENCH_NO_SYNC") != 0;
    return off ? bw::ExportDirectory::Durability::Unsynced : bw::ExportDirectory::Durability::Synced;
}

void exportAll(const std::string& directory, std::int32_t count, bw::ExportFormat format = bw::ExportFormat::Icon)
{
    NoLines lines;
    bw::ExportDirectory target(directory, durability());
    target.learnExistingNames();
    int written = 0;
    target.nameInBatches([&written](std::int32_t, const std::string&) { ++written; });
    for (std::int32_t e = 1; e <= count; ++e)
        bw::exportEntry(library().catalogue, e, format, target, lines);
    target.flush();
    benchmark::DoNotOptimize(written);
}

// A new directory for one round, made and removed while the timing is paused (the caller resumes
// it): removing 10,000 files is no part of an export, and once they are synced on ext4 it took
// longer than the export itself.
class RoundDirectory {
public:
    explicit RoundDirectory(benchmark::State& state) : m_state(state)
    {
        m_state.PauseTiming();
        m_dir.emplace();
    }
    ~RoundDirectory()
    {
        m_state.PauseTiming();
        m_dir.reset();
        m_state.ResumeTiming();
    }
    RoundDirectory(const RoundDirectory&) = delete;
    RoundDirectory& operator=(const RoundDirectory&) = delete;
    QString path() const { return m_dir->path(); }

private:
    benchmark::State& m_state;
    std::optional<QTemporaryDir> m_dir;
};

void BM_Export(benchmark::State& state)
{
    library();
    for (auto _ : state) {
        const RoundDirectory out(state);
        state.ResumeTiming();
        exportAll(out.path().toStdString(), kEntries);
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_Export)->Unit(benchmark::kMillisecond)->MinTime(2.0);

// The same icons extracted, encoded and written under names that need no search.
void BM_ExtractAndWriteOnly(benchmark::State& state)
{
    library();
    for (auto _ : state) {
        const RoundDirectory out(state);
        const std::string base = out.path().toStdString() + "/";
        state.ResumeTiming();
        for (std::int32_t e = 1; e <= kEntries; ++e) {
            const QImage icon = bw::extractIcon(library().path, library().catalogue[e].iconIndex);
            bw::writeNewFile(base + std::to_string(e) + ".ico", *bw::encodeIcon16(icon));
        }
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_ExtractAndWriteOnly)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_ExportOriginal(benchmark::State& state)
{
    library();
    for (auto _ : state) {
        const RoundDirectory out(state);
        state.ResumeTiming();
        exportAll(out.path().toStdString(), kEntries, bw::ExportFormat::Original);
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_ExportOriginal)->Unit(benchmark::kMillisecond)->Iterations(3);

// The bytes of the stored icons, made once, written as new files under names that need no search.
void BM_WriteStoredBytesOnly(benchmark::State& state)
{
    static const std::vector<QByteArray> stored = [] {
        std::vector<QByteArray> all;
        for (std::int32_t e = 1; e <= kEntries; ++e)
            all.push_back(bw::storedIcon(library().path, library().catalogue[e].iconIndex)->bytes);
        return all;
    }();
    for (auto _ : state) {
        const RoundDirectory out(state);
        const std::string base = out.path().toStdString() + "/";
        state.ResumeTiming();
        for (std::int32_t e = 1; e <= kEntries; ++e)
            bw::writeNewFile(base + std::to_string(e) + ".ico", stored[static_cast<std::size_t>(e - 1)]);
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_WriteStoredBytesOnly)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_ExportPng(benchmark::State& state)
{
    library();
    for (auto _ : state) {
        const RoundDirectory out(state);
        state.ResumeTiming();
        exportAll(out.path().toStdString(), kEntries, bw::ExportFormat::Png);
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_ExportPng)->Unit(benchmark::kMillisecond)->Iterations(3);

// The largest image decoded and its pixels compressed by zlib at the default level; with range 1
// the result is also written as a new file.
void BM_DecodeAndZlibOnly(benchmark::State& state)
{
    library();
    const bool write = state.range(0) != 0;
    std::vector<Bytef> compressed;
    for (auto _ : state) {
        const RoundDirectory out(state);
        const std::string base = out.path().toStdString() + "/";
        state.ResumeTiming();
        for (std::int32_t e = 1; e <= kEntries; ++e) {
            const QImage picture = bw::extractLargestIcon(library().path, library().catalogue[e].iconIndex);
            const auto size = static_cast<uLong>(picture.sizeInBytes());
            uLongf length = compressBound(size);
            compressed.resize(length);
            compress2(compressed.data(), &length, picture.constBits(), size, Z_DEFAULT_COMPRESSION);
            if (write)
                bw::writeNewFile(base + std::to_string(e) + ".png",
                                 QByteArray(reinterpret_cast<const char*>(compressed.data()), static_cast<qsizetype>(length)));
        }
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_DecodeAndZlibOnly)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(3);

// Export the first `count` entries once more into a directory holding `earlier` exports of them.
void BM_ExportIntoCrowdedDirectory(benchmark::State& state)
{
    library();
    const auto count = static_cast<std::int32_t>(state.range(0));
    const auto earlier = static_cast<int>(state.range(1));
    QTemporaryDir out;
    const std::string directory = out.path().toStdString();
    for (int i = 0; i < earlier; ++i)
        exportAll(directory, count);
    for (auto _ : state) {
        exportAll(directory, count);
        state.PauseTiming();
        // Keep the directory as it was for the next round: remove what this round wrote.
        for (std::int32_t e = 1; e <= count; ++e) {
            const std::string name = bw::exportBaseName(e, library().path.string(), library().catalogue[e].iconIndex);
            fs::remove(directory + "/" + name + (earlier == 0 ? std::string() : "_" + std::to_string(earlier)) + ".ico");
        }
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * count);
}
BENCHMARK(BM_ExportIntoCrowdedDirectory)->Args({100, 0})->Args({100, 1000})->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace

BENCHMARK_MAIN();
