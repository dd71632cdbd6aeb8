// Time and peak memory of counting and extracting each hostile shape through the real file path,
// every shape in a fresh child process so that its peak resident memory is its own.
//   build/bench_hostile

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

// Counts and extracts every icon of the file, and lists its images, in a child; prints the time and the growth of the
// child's peak resident memory.
void measure(const char* name, const std::filesystem::path& path)
{
    std::fflush(stdout);
    const pid_t pid = ::fork();
    if (pid == 0) {
        rusage before {};
        ::getrusage(RUSAGE_SELF, &before);
        QElapsedTimer timer;
        timer.start();
        const int count = bw::iconCount(path);
        int icons = 0;
        std::size_t images = 0;
        for (int i = 0; i < std::max(count, 1); ++i) {
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
    return 0;
}
