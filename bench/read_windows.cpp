// Times "Einlesen" of a tree in the real windows (offscreen unless QT_QPA_PLATFORM says
// otherwise), against which `bildwiesel-cli scan` of the same tree is the floor.
//   build/read_windows TREE [RUNS] [--single-thread]

#include "BenchWindows.h"

#include "catalogue/TreeScanner.h"

#include <QElapsedTimer>

#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: read_windows TREE [RUNS]\n");
        return 2;
    }
    BenchWindows windows(argc, argv, argv[1], "1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n");
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    if (argc > 3 && QByteArray(argv[3]) == "--single-thread")
        bw::TreeScanner::setWorkersDefault(0);
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        bw::readTree(bw::appState(), windows.main(), *bw::windows().EinleseF);
        const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
        std::printf("%d Einträge, %.3f Sekunden\n", bw::appState().catalogue->entryCount(), seconds);
        std::fflush(stdout);
        // Let the progress window close as it would between two reads.
        while (bw::windows().EinleseF->isVisible())
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return 0;
}
