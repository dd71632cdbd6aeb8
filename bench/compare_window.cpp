// Times "und Los" of the comparison window on a tree of icon files (`dupes_bench make` writes
// one), with "Ton Aus" checked and not, and how long the window goes without answering during a
// run: the longest gap between two firings of a 5 ms timer, and the time from "Abbrechen" to the
// end of a run cancelled half-way.
//   build/compare_window TREE [RUNS]
// SDL's dummy audio driver (unless SDL_AUDIODRIVER says otherwise) plays in real time, so a run
// that waited for its sounds shows it.

#include "BenchWindows.h"

#include "gui/compare/VergleichFrm.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

struct Measured {
    double seconds = 0;
    qint64 longestGapMs = 0;
    qint64 cancelAnsweredMs = -1;
    QString result;
};

Measured runOnce(bw::TVergleichF& window, bool soundOff, qint64 cancelAfterMs)
{
    window.show();
    window.CheckBox1->setChecked(soundOff);
    QElapsedTimer clock;
    Measured m;
    qint64 last = 0;
    qint64 cancelledAt = -1;
    QTimer tick;
    tick.setInterval(5);
    QObject::connect(&tick, &QTimer::timeout, &window, [&] {
        const qint64 now = clock.elapsed();
        m.longestGapMs = std::max(m.longestGapMs, now - last);
        last = now;
        if (cancelAfterMs >= 0 && cancelledAt < 0 && now >= cancelAfterMs) {
            cancelledAt = clock.elapsed();
            window.BitBtn3->click();
        }
    });
    clock.start();
    tick.start();
    window.BitBtn2Click();
    const qint64 end = clock.elapsed();
    tick.stop();
    m.seconds = static_cast<double>(end) / 1000.0;
    m.longestGapMs = std::max(m.longestGapMs, end - last);
    if (cancelledAt >= 0)
        m.cancelAnsweredMs = end - cancelledAt;
    m.result = window.Label2->text();
    return m;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: compare_window TREE [RUNS]\n");
        return 2;
    }
    // Icon files only.
    BenchWindows windows(argc, argv, argv[1], "1\r\n0\r\n0\r\n0\r\n0\r\n0\r\n");
    windows.readTree();
    bw::TVergleichF& window = *bw::windows().VergleichF;
    std::printf("%d Einträge\n", bw::appState().catalogue->entryCount());
    const int runs = argc > 2 ? std::atoi(argv[2]) : 3;
    runOnce(window, true, -1); // the files into the page cache
    // Runs with and without sound by turns, so that both see the same machine.
    Measured sum[2];
    QString result;
    for (int run = 0; run < runs; ++run)
        for (const bool soundOff : {true, false}) {
            const Measured m = runOnce(window, soundOff, -1);
            sum[soundOff].seconds += m.seconds;
            sum[soundOff].longestGapMs = std::max(sum[soundOff].longestGapMs, m.longestGapMs);
            result = m.result;
        }
    const double plain = sum[1].seconds / runs;
    for (const bool soundOff : {true, false})
        std::printf("%s: %.3f s je Lauf (%.2f x ohne Ton), längste Pause ohne Antwort %lld ms\n", soundOff ? "Ton aus" : "Ton an ",
                    sum[soundOff].seconds / runs, sum[soundOff].seconds / runs / std::max(plain, 1e-9),
                    static_cast<long long>(sum[soundOff].longestGapMs));
    std::printf("%s\n", qPrintable(result));
    const Measured cancelled = runOnce(window, false, static_cast<qint64>(plain * 250));
    std::printf("Abbrechen nach %lld ms: Lauf endet %lld ms später\n", static_cast<long long>(plain * 250),
                static_cast<long long>(cancelled.cancelAnsweredMs));
    return 0;
}
