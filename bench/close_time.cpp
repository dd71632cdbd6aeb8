// Times the end of the program with a full catalogue: the windows are created as at start, a tree
// is read in the real windows (a progress list of many lines), the catalogue is filled up to
// 1,000,000 entries with distinct paths, then the main window is closed as by "Ende". Prints the
// time of each step of the end up to the process's exit.
//   build/close_time --make TREE   # 2,000 names of one library with 500 icons: 1,000,000 entries
//   build/close_time [TREE]

#include "gui/app/IconFrm.h"
#include "gui/app/MainU.h"
#include "gui/catalogue/EinleseFrm.h"
#include "gui/catalogue/ReadCommands.h"
#include "gui/widgets/AppState.h"
#include "support/FixtureWriter.h"
#include "support/TestUtil.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace {

using Clock = std::chrono::steady_clock;
Clock::time_point closeStart;
Clock::time_point lastStep;

void step(const char* what)
{
    const Clock::time_point now = Clock::now();
    std::printf("%-40s %7.1f ms\n", what, std::chrono::duration<double, std::milli>(now - lastStep).count());
    lastStep = now;
}

// Runs after the static objects (the catalogue among them) and the application are destroyed.
void atExit()
{
    step("static objects destroyed, exit");
    std::printf("%-40s %7.1f ms\n", "close to exit", std::chrono::duration<double, std::milli>(Clock::now() - closeStart).count());
}

int makeTree(const std::filesystem::path& root)
{
    std::vector<fixtures::GroupIcon> groups;
    for (int g = 1; g <= 500; ++g)
        groups.push_back({std::nullopt,
                          static_cast<std::uint16_t>(g),
                          {0x409},
                          {fixtures::dibImage(testutil::solid(qRgb(g % 256, 30, 30), 16, 16), 4)}});
    std::filesystem::create_directories(root);
    const std::filesystem::path first = testutil::writeFile(root / "bibliothek.dll", fixtures::peFile(groups, false));
    for (int i = 1; i < 2000; ++i) {
        const std::filesystem::path dir = root / ("ordner" + std::to_string(i / 20));
        std::filesystem::create_directories(dir);
        std::filesystem::create_hard_link(first, dir / ("bibliothek" + std::to_string(i) + ".dll"));
    }
    std::printf("2000 libraries of 500 icons in %s\n", root.c_str());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::string(argv[1]) == "--make") {
        QGuiApplication app(argc, argv);
        return makeTree(argv[2]);
    }
    std::atexit(atExit); // registered before any static object of the program exists
    qputenv("SDL_AUDIODRIVER", "dummy");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    const QByteArray tree = argc > 1 ? QByteArray(argv[1]) : config.path().toLocal8Bit();
    {
        QApplication app(argc, argv);
        // Settings without automatic reading: the read starts when the window is up.
        QDir().mkpath(config.path() + "/bildwiesel");
        QFile settings(config.path() + "/bildwiesel/bwsave.kwb");
        settings.open(QIODevice::WriteOnly);
        settings.write("-2147483633\r\n" + tree + "/\r\n/tmp/\r\n0\r\n1\r\n1\r\n1\r\n1\r\n1\r\n1\r\n");
        settings.close();

        bw::createWindows();
        bw::TIconF& main = *bw::windows().IconF;
        main.show();
        bw::readTree(bw::appState(), main, *bw::windows().EinleseF);
        while (bw::windows().EinleseF->isVisible())
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
        bw::Catalogue& catalogue = *bw::appState().catalogue;
        std::printf("read: %d entries, %d progress lines\n", catalogue.entryCount(), bw::windows().EinleseF->ListBox1->count());
        std::string path(80, 'p');
        for (int i = catalogue.entryCount() + 1; i <= catalogue.capacity(); ++i) {
            const std::string number = std::to_string(i);
            path.replace(path.size() - number.size(), number.size(), number); // each path differs
            catalogue.appendEntry(path, 0);
        }
        bw::repaintCurrentPage(main);
        std::printf("filled: %d entries\n", catalogue.entryCount());
        std::fflush(stdout);

        closeStart = lastStep = Clock::now();
        main.close();
        step("main window closed (settings saved)");
        QApplication::processEvents(); // what the message loop still has to do
        step("pending events handled");
        bw::destroyWindows();
        step("windows destroyed");
    }
    step("application destroyed");
    return 0;
}
