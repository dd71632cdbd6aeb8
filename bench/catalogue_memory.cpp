// Resident memory of the whole program with a full catalogue: the windows are created as at
// start, then 1,000,000 entries with distinct 80-byte paths are appended.
//   QT_QPA_PLATFORM=offscreen build/catalogue_memory

#include "gui/app/MainU.h"
#include "gui/widgets/AppState.h"

#include <QApplication>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

long statusKiB(const char* key)
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(line.find(':') + 1));
    return -1;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    bw::createWindows();
    bw::AppState& s = bw::appState();
    s.catalogue = std::make_unique<bw::Catalogue>(bw::Catalogue::kDefaultCapacity);
    const long before = statusKiB("VmRSS");

    const auto start = std::chrono::steady_clock::now();
    std::string path(80, 'p');
    for (int i = 1; i <= s.catalogue->capacity(); ++i) {
        const std::string number = std::to_string(i);
        path.replace(path.size() - number.size(), number.size(), number); // each path differs
        s.catalogue->appendEntry(path, 0);
    }
    const double ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();

    std::printf("entries %d, path bytes 80\n", s.catalogue->entryCount());
    std::printf("resident before filling: %.1f MB\n", static_cast<double>(before) / 1024.0);
    std::printf("resident when full:      %.1f MB (peak %.1f MB)\n", static_cast<double>(statusKiB("VmRSS")) / 1024.0,
                static_cast<double>(statusKiB("VmHWM")) / 1024.0);
    std::printf("filling took %.0f ms (%.0f ns per entry)\n", ms, ms * 1e6 / s.catalogue->entryCount());
    bw::destroyWindows();
    return 0;
}
