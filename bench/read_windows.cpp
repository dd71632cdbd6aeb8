// Times "Einlesen" of a tree in the real windows (offscreen unless QT_QPA_PLATFORM says
// otherwise), against which `bildwiesel-cli scan` of the same tree is the floor.
//   build/read_windows TREE [RUNS] [--single-thread]

#include "catalogue/TreeScanner.h"
#include "gui/app/IconFrm.h"
#include "gui/app/MainU.h"
#include "gui/catalogue/EinleseFrm.h"
#include "gui/catalogue/ReadCommands.h"
#include "gui/widgets/AppState.h"
#include "support/Funky.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: read_windows TREE [RUNS]\n");
        return 2;
    }
    qputenv("SDL_AUDIODRIVER", "dummy");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    qputenv("HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    // Settings without automatic reading: the read starts when the window is up.
    QDir().mkpath(config.path() + "/bildwiesel");
    QFile settings(config.path() + "/bildwiesel/bwsave.kwb");
    settings.open(QIODevice::WriteOnly);
    settings.write("-2147483633\r\n" + QByteArray(argv[1]) + "/\r\n/tmp/\r\n0\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n");
    settings.close();

    bw::createWindows();
    bw::TIconF& main = *bw::windows().IconF;
    main.show();
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    if (argc > 3 && QByteArray(argv[3]) == "--single-thread")
        bw::TreeScanner::setWorkersDefault(0);
    for (int run = 0; run < runs; ++run) {
        QElapsedTimer timer;
        timer.start();
        bw::readTree(bw::appState(), main, *bw::windows().EinleseF);
        const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
        std::printf("%d Einträge, %.3f Sekunden\n", bw::appState().catalogue->entryCount(), seconds);
        std::fflush(stdout);
        // Let the progress window close as it would between two reads.
        while (bw::windows().EinleseF->isVisible())
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    bw::destroyWindows();
    return 0;
}
