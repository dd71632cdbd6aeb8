// Measures the duplicate finder on a large generated catalogue of icon files.
//   dupes_bench make DIR COUNT          icon files made from the nsis icons and drawn ones,
//                                       with transparent areas and 10 % near-duplicates
//   dupes_bench noisy DIR COUNT         distinct icons with a few noise pixels each, as in
//                                       collections of many similar icons, and 5 % near-copies
//                                       with 1 to 40 pixels changed
//   dupes_bench variants DIR COUNT      variants of about 650 bases: shifted, colour channels
//                                       swapped, random pixels set; 5 % near-copies of a recent one
//   dupes_bench run DIR THRESHOLD THREADS [LIMIT]
//                                       one run of the engine: capture and comparison times,
//                                       distinct pictures, bytes per entry, peak memory
//   dupes_bench plain DIR THRESHOLD LIMIT
//                                       the loop over every pair on the first LIMIT entries

#include "catalogue/Catalogue.h"
#include "compare/DuplicateFinder.h"
#include "icons/IconExtractor.h"
#include "support/FixtureWriter.h"
#include "support/Funky.h"
#include "support/TestUtil.h"

#include <QGuiApplication>
#include <QPainter>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <random>
#include <string>

namespace fs = std::filesystem;

namespace {

constexpr QRgb kBackground = 0xFFEFEFEFu;

// Resident memory now, in KiB.
long residentKiB()
{
    std::FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return 0;
    char line[256];
    long kib = 0;
    while (std::fgets(line, sizeof line, status))
        if (std::sscanf(line, "VmRSS: %ld", &kib) == 1)
            break;
    std::fclose(status);
    return kib;
}

// Keeps the highest resident memory seen at the progress steps of the capture (the first
// reference) and of the later references, to tell where a peak comes from.
class SilentHost final : public bw::CompareHost {
public:
    int t = 5;
    int lines = 0;
    long captureKiB = 0;
    long compareKiB = 0;
    void showProgress(std::int32_t reference, std::int32_t, std::int64_t) override
    {
        long& peak = reference == 1 ? captureKiB : compareKiB;
        peak = std::max(peak, residentKiB());
    }
    int threshold() override { return t; }
    bool cancelled() override { return false; }
    std::int64_t tickCount() override { return bw::tickCount(); }
    void listDefective(std::int32_t, std::string_view) override { ++lines; }
    void listDuplicate(std::int32_t, std::string_view) override { ++lines; }
    void reportNoMemory(const QString&) override {}
};

QImage transformed(const QImage& base, std::mt19937& random)
{
    const auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    QImage icon = base.copy();
    if (pick(0, 1))
        icon = icon.mirrored(true, false);
    if (pick(0, 1))
        icon = icon.mirrored(false, true);
    // Recolour: swap channels and invert some of them (transparency stays where it was).
    const int order = pick(0, 5);
    const int invert = pick(0, 7);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const QRgb p = icon.pixel(x, y);
            int c[3] = {qRed(p), qGreen(p), qBlue(p)};
            std::rotate(c, c + order % 3, c + 3);
            if (order >= 3)
                std::swap(c[0], c[1]);
            for (int k = 0; k < 3; ++k)
                if (invert & (1 << k))
                    c[k] = 255 - c[k];
            icon.setPixel(x, y, qRgba(c[0], c[1], c[2], qAlpha(p)));
        }
    // An emblem or two of its own.
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing, pick(0, 1) == 1);
    for (int s = pick(1, 2); s > 0; --s) {
        painter.setBrush(QColor(pick(0, 255), pick(0, 255), pick(0, 255), pick(0, 2) ? 255 : 160));
        painter.setPen(Qt::NoPen);
        const QRect area(pick(0, 24), pick(0, 24), pick(4, 12), pick(4, 12));
        if (pick(0, 1))
            painter.drawEllipse(area);
        else
            painter.drawRect(area);
    }
    return icon;
}

QImage drawnBase(std::mt19937& random)
{
    const auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    QImage icon(32, 32, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    QPainter painter(&icon);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(pick(0, 255), pick(0, 255), pick(0, 255)));
    painter.setPen(QPen(QColor(pick(0, 255), pick(0, 255), pick(0, 255)), pick(1, 2)));
    const QRect area(pick(0, 8), pick(0, 8), pick(16, 30), pick(16, 30));
    if (pick(0, 1))
        painter.drawEllipse(area);
    else
        painter.drawRoundedRect(area, pick(0, 6), pick(0, 6));
    return icon;
}

void writeIcon(const fs::path& root, int n, const QImage& icon, int bits)
{
    const fs::path dir = root / ("d" + std::to_string(n / 1000));
    if (n % 1000 == 0)
        fs::create_directories(dir);
    char name[32];
    std::snprintf(name, sizeof name, "i%06d.ico", n);
    testutil::writeFile(dir / name, fixtures::iconFile({{32, 32, 1, static_cast<std::uint16_t>(bits), fixtures::iconDib(icon, bits)}}));
}

std::vector<QImage> baseIcons(std::mt19937& random, std::size_t& real)
{
    std::vector<QImage> bases;
    for (const auto& file : fs::directory_iterator("/usr/share/nsis/Contrib/Graphics/Icons"))
        if (QImage icon = bw::extractIcon(file.path(), 0); !icon.isNull())
            bases.push_back(icon);
    real = bases.size();
    for (int k = 0; k < 40; ++k)
        bases.push_back(drawnBase(random));
    return bases;
}

// The shape of a generated set: every `nearOneIn`-th icon on average is an earlier one, stored
// alike, with nearLow to nearHigh pixels changed; the others are a recoloured base with an emblem
// and noiseLow to noiseHigh pixels of noise (none when noiseHigh is 0). The rest are 32-bit or,
// one in four, 4-bit.
struct SetShape {
    unsigned seed;
    int nearOneIn, nearLow, nearHigh;
    int noiseLow, noiseHigh;
    const char* nearName;
};

int makeSet(const fs::path& root, int count, const SetShape& shape)
{
    std::mt19937 random(shape.seed);
    const auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    std::size_t real = 0;
    const std::vector<QImage> bases = baseIcons(random, real);
    std::vector<QImage> made;
    std::vector<int> depths;
    made.reserve(static_cast<std::size_t>(count));
    int nearCopies = 0;
    for (int n = 0; n < count; ++n) {
        QImage icon;
        int bits = pick(0, 3) == 0 ? 4 : 32;
        int changes = 0;
        if (n > 0 && pick(0, shape.nearOneIn - 1) == 0) {
            const auto original = static_cast<std::size_t>(pick(0, n - 1));
            icon = made[original].copy();
            bits = depths[original];
            changes = pick(shape.nearLow, shape.nearHigh);
            ++nearCopies;
        } else {
            icon = transformed(bases[static_cast<std::size_t>(pick(0, static_cast<int>(bases.size()) - 1))], random);
            if (shape.noiseHigh > 0)
                changes = pick(shape.noiseLow, shape.noiseHigh);
        }
        for (int d = changes; d > 0; --d)
            icon.setPixel(pick(0, 31), pick(0, 31), qRgb(pick(0, 255), pick(0, 255), pick(0, 255)));
        made.push_back(icon);
        depths.push_back(bits);
        writeIcon(root, n, icon, bits);
    }
    std::printf("%d icon files (%zu nsis bases, %zu drawn), %d %s, in %s\n", count, real, bases.size() - real, nearCopies, shape.nearName,
                root.c_str());
    return 0;
}

// Icons with transparent areas and 10 % near-duplicates of up to six changed pixels.
int make(const fs::path& root, int count) { return makeSet(root, count, {2026, 10, 0, 6, 0, 0, "near-duplicates"}); }

// Distinct icons that resemble each other, with a few pixels of noise each, as in collections of
// many similar icons; every twentieth an earlier icon with 1 to 40 pixels changed.
int makeNoisy(const fs::path& root, int count) { return makeSet(root, count, {2027, 20, 1, 40, 2, 12, "near-copies"}); }

// The same icon in many recolourings and positions, as real collections hold it: 650 bases (the
// nsis icons, drawn ones and recoloured copies of both with emblems), each use shifted by up to
// 3 pixels, its colour channels in one of the 6 orders and 8 to 120 pixels set at random; every
// twentieth a near-copy of one of the last thousand icons with 1 to 40 pixels changed.
int makeVariants(const fs::path& root, int count)
{
    constexpr int kBases = 650;
    constexpr int kRecent = 1000;
    std::mt19937 random(2028);
    const auto pick = [&](int low, int high) { return std::uniform_int_distribution<int>(low, high)(random); };
    std::size_t real = 0;
    std::vector<QImage> bases = baseIcons(random, real);
    const std::size_t plain = bases.size();
    while (bases.size() < kBases)
        bases.push_back(transformed(bases[static_cast<std::size_t>(pick(0, static_cast<int>(plain) - 1))], random));
    std::vector<QImage> recent(kRecent);
    int nearCopies = 0;
    for (int n = 0; n < count; ++n) {
        QImage icon(32, 32, QImage::Format_ARGB32);
        int changes;
        if (n >= kRecent && pick(0, 19) == 0) {
            icon = recent[static_cast<std::size_t>(pick(0, kRecent - 1))].copy();
            changes = pick(1, 40);
            ++nearCopies;
        } else {
            const QImage& base = bases[static_cast<std::size_t>(pick(0, kBases - 1))];
            const int dx = pick(-3, 3);
            const int dy = pick(-3, 3);
            const int order = pick(0, 5);
            icon.fill(Qt::transparent);
            for (int y = 0; y < 32; ++y)
                for (int x = 0; x < 32; ++x) {
                    if (x - dx < 0 || x - dx >= base.width() || y - dy < 0 || y - dy >= base.height())
                        continue;
                    const QRgb p = base.pixel(x - dx, y - dy);
                    int c[3] = {qRed(p), qGreen(p), qBlue(p)};
                    std::rotate(c, c + order % 3, c + 3);
                    if (order >= 3)
                        std::swap(c[0], c[1]);
                    icon.setPixel(x, y, qRgba(c[0], c[1], c[2], qAlpha(p)));
                }
            changes = pick(8, 120);
        }
        for (int d = changes; d > 0; --d)
            icon.setPixel(pick(0, 31), pick(0, 31), qRgb(pick(0, 255), pick(0, 255), pick(0, 255)));
        recent[static_cast<std::size_t>(n % kRecent)] = icon;
        writeIcon(root, n, icon, 32);
    }
    std::printf("%d icon files (%zu bases, %zu nsis), %d near-copies, in %s\n", count, bases.size(), real, nearCopies, root.c_str());
    return 0;
}

std::vector<std::string> iconFiles(const fs::path& root, std::size_t limit)
{
    std::vector<std::string> files;
    for (const auto& file : fs::recursive_directory_iterator(root))
        if (file.is_regular_file() && file.path().extension() == ".ico")
            files.push_back(file.path().string());
    std::sort(files.begin(), files.end());
    if (limit && files.size() > limit)
        files.resize(limit);
    return files;
}

double cpuSeconds()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

long peakKiB()
{
    rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

int run(const fs::path& root, int threshold, int threads, std::size_t limit)
{
    const std::vector<std::string> files = iconFiles(root, limit);
    bw::Catalogue catalogue(static_cast<std::int32_t>(files.size()));
    for (const std::string& f : files)
        catalogue.appendEntry(f, 0);
    const long before = peakKiB();
    SilentHost host;
    host.t = threshold;
    bw::CompareOptions options;
    options.background = kBackground;
    options.threads = threads;
    const auto start = std::chrono::steady_clock::now();
    const double cpuBefore = cpuSeconds();
    const bw::CompareResult r = bw::findDuplicates(catalogue, host, options);
    const double cpu = cpuSeconds() - cpuBefore;
    const double total = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double entries = catalogue.entryCount();
    std::printf("entries %d threshold %d threads %d: duplicates %d, lines %d\n", catalogue.entryCount(), threshold, threads,
                r.duplicatesFound, host.lines);
    std::printf("  capture %.3f s, compare %.3f s (%.1f %% of capture), total %.3f s, processor time %.3f s\n", r.captureSeconds,
                r.compareSeconds, 100.0 * r.compareSeconds / r.captureSeconds, total, cpu);
    std::printf("  candidates checked %llu, pairs counted %llu, %.2f us of the comparison per line found\n",
                static_cast<unsigned long long>(r.checkedPairs), static_cast<unsigned long long>(r.verifiedPairs),
                host.lines ? 1e6 * r.compareSeconds / host.lines : 0.0);
    std::printf("  distinct pictures %u, picture bytes %zu (%.0f per entry), entry tables %.0f bytes per entry, filter tables %zu bytes\n",
                r.distinctPictures, r.pictureBytes, static_cast<double>(r.pictureBytes) / entries,
                static_cast<double>(r.entryBytes) / entries, r.indexBytes);
    std::printf("  peak resident %ld KiB (%ld KiB before the run), %.0f bytes per entry above it\n", peakKiB(), before,
                static_cast<double>(peakKiB() - before) * 1024.0 / entries);
    std::printf("  resident seen during the capture %ld KiB, during the later references %ld KiB, at the end %ld KiB\n", host.captureKiB,
                host.compareKiB, residentKiB());
    return 0;
}

int plain(const fs::path& root, int threshold, std::size_t limit)
{
    const std::vector<std::string> files = iconFiles(root, limit);
    const auto start = std::chrono::steady_clock::now();
    std::vector<bw::Samples> pictures(files.size());
    for (std::size_t n = 0; n < files.size(); ++n)
        bw::capturePicture(bw::extractIcon(files[n], 0), kBackground, pictures[n]);
    const auto captured = std::chrono::steady_clock::now();
    std::vector<char> marked(files.size());
    long long pairs = 0;
    int found = 0;
    for (std::size_t i = 0; i + 1 < files.size(); ++i) {
        if (marked[i])
            continue;
        for (std::size_t j = i + 1; j < files.size(); ++j) {
            ++pairs;
            int differences = 0;
            for (int k = 0; k < bw::kSampleCount && differences <= threshold; ++k)
                differences += pictures[i][static_cast<std::size_t>(k)] != pictures[j][static_cast<std::size_t>(k)];
            if (differences < threshold) {
                marked[j] = 1;
                ++found;
            }
        }
    }
    const auto end = std::chrono::steady_clock::now();
    std::printf("plain loop, %zu entries, threshold %d: duplicates %d, %lld pairs; capture %.3f s, pairs %.3f s\n", files.size(), threshold,
                found, pairs, std::chrono::duration<double>(captured - start).count(),
                std::chrono::duration<double>(end - captured).count());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv); // QPainter on images needs the GUI application's fonts and raster engine
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "make" && argc == 4)
        return make(argv[2], std::stoi(argv[3]));
    if (command == "noisy" && argc == 4)
        return makeNoisy(argv[2], std::stoi(argv[3]));
    if (command == "variants" && argc == 4)
        return makeVariants(argv[2], std::stoi(argv[3]));
    if (command == "run" && (argc == 5 || argc == 6))
        return run(argv[2], std::stoi(argv[3]), std::stoi(argv[4]), argc == 6 ? std::stoul(argv[5]) : 0);
    if (command == "plain" && argc == 5)
        return plain(argv[2], std::stoi(argv[3]), std::stoul(argv[4]));
    std::fprintf(stderr,
                 "usage: dupes_bench make DIR COUNT | noisy DIR COUNT | variants DIR COUNT | run DIR THRESHOLD THREADS [LIMIT] | plain DIR "
                 "THRESHOLD LIMIT\n");
    return 2;
}
