// Time and peak memory of counting and extracting each hostile shape through the real file path,
// every shape in a fresh child process so that its peak resident memory is its own.
//   build/bench_hostile

#include "fileops/Thumbnail.h"
#include "icons/IconExtractor.h"
#include "support/HostileShapes.h"
#include "support/TestUtil.h"

#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace {

struct Shape {
    const char* name;
    fixtures::Bytes bytes;
};

// Counts and extracts every icon of the file, and lists its images, in a child (or, given
// `work`, does that instead); prints the time and the growth of the child's peak resident memory.
void measure(const char* name, const std::filesystem::path& path, int (*work)(const std::filesystem::path&) = nullptr)
{
    std::fflush(stdout);
    const pid_t pid = ::fork();
    if (pid == 0) {
        rusage before {};
        ::getrusage(RUSAGE_SELF, &before);
        QElapsedTimer timer;
        timer.start();
        const int count = work ? 1 : bw::iconCount(path);
        int icons = work ? work(path) : 0;
        std::size_t images = 0;
        for (int i = 0; !work && i < std::max(count, 1); ++i) {
            icons += bw::extractIcon(path, i).isNull() ? 0 : 1;
            // What the window showing an icon's images and its thumbnail ask for as well.
            images += bw::iconImages(path, i).size();
            (void)bw::extractLargestIcon(path, i);
        }
        const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        rusage after {};
        ::getrusage(RUSAGE_SELF, &after);
        std::fprintf(stdout, "%-28s %8zu bytes  count %d  icons %d  images %zu  %8.2f ms  peak RSS +%ld KB\n", name,
                     static_cast<std::size_t>(std::filesystem::file_size(path)), count, icons, images, ms,
                     after.ru_maxrss - before.ru_maxrss);
        std::fflush(stdout);
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
}

} // namespace

int main()
{
    QTemporaryDir dir;
    const std::filesystem::path base = dir.path().toStdString();
    const Shape shapes[] = {
        {"PE group of 65,535 images", fixtures::peGroupOfManyImages()},
        {"NE group of 65,535 images", fixtures::neGroupOfManyImages()},
        {"RLE bitmap claiming 5792^2", fixtures::rleBitmapClaiming(5792)},
        {"RLE bitmap claiming 2048^2", fixtures::rleBitmapClaiming(2048)},
        {"24-bit bitmap claiming 8000^2", fixtures::shortBitmapClaiming(8000)},
        {"ANI of 1,000,000 chunks", fixtures::aniOfManyChunks()},
        {"ANI of 1024 x 256 images", fixtures::aniOfFramesOfManyImages()},
        {"ANI of 1024 PNGs of 1024^2", fixtures::aniOfPngBombs()},
        {"ANI sequence past frames", fixtures::aniShowingFrame(2)},
        {"ICNS of 256 PNGs of 1024^2", fixtures::icnsOfPngBombs()},
        {"ICNS 255 images, 30 MB mask", fixtures::icnsOfImagesSharingAHugeMask()},
        {"ICNS element of length 0", fixtures::icnsThatLies(fixtures::IcnsLie::ElementOfLengthZero)},
        {"ICNS element past the end", fixtures::icnsThatLies(fixtures::IcnsLie::ElementPastEnd)},
        {"ICNS length cuts an element", fixtures::icnsThatLies(fixtures::IcnsLie::FileLengthCutsElement)},
        {"ICNS old image of 4 MB", fixtures::icnsThatLies(fixtures::IcnsLie::OldImageOfHugeLength)},
        {"ICNS contents claim 4 MB", fixtures::icnsThatLies(fixtures::IcnsLie::ContentsClaimingHugeImage)},
        {"ICNS empty, then PNG 2048^2", fixtures::icnsThatLies(fixtures::IcnsLie::EmptyElementBeforeLargePng)},
        {"ICNS 2 GB past its length", fixtures::icnsThatLies(fixtures::IcnsLie::ElementPastFileLength)},
        {"24-bit photo 4000x3000", fixtures::bmpFile(testutil::solid(qRgb(1, 2, 3), 4000, 3000), fixtures::BmpKind::Bits24)},
    };
    int n = 0;
    for (const Shape& s : shapes) {
        const auto path = testutil::writeFile(base / ("shape" + std::to_string(n++)), s.bytes);
        measure(s.name, path);
    }
    // A valid bitmap of 4 MB that is 32 M pixels: the page's picture and the thumbnail are reduced
    // while its rows are read; the whole picture (for a PNG copy) is held once.
    QImage lines(5700, 5700, QImage::Format_ARGB32);
    for (int y = 0; y < 5700; ++y)
        for (int x = 0; x < 5700; ++x)
            lines.setPixel(x, y, (x + y) % 37 < 3 ? qRgb(0, 0, 0) : qRgb(255, 255, 255));
    const auto big = testutil::writeFile(base / "big.bmp", fixtures::bmpFile(lines, fixtures::BmpKind::Bits1));
    measure("1-bit 5700^2: page picture", big, [](const std::filesystem::path& p) { return bw::extractIcon(p, 0).isNull() ? 0 : 1; });
    measure("1-bit 5700^2: thumbnail 128", big, [](const std::filesystem::path& p) { return bw::thumbnailOf(p, 128).isNull() ? 0 : 1; });
    measure("1-bit 5700^2: whole picture", big,
            [](const std::filesystem::path& p) { return bw::extractLargestIcon(p, 0).isNull() ? 0 : 1; });
    return 0;
}
