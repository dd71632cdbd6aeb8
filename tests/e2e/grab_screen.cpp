// Takes a screenshot of the X screen (Xvfb) and saves it as PNG. With --wait-for-red it grabs
// again until pure red pixels (the page's defect cross) are on the screen, or 15 seconds passed.
// Prints the number of pure red pixels.

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QThread>

#include <cstdio>

namespace {

int redPixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) == 0xFF0000)
                ++count;
    return count;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: grab_screen OUT.png [--wait-for-red]\n");
        return 2;
    }
    const bool waitForRed = argc > 2 && QByteArray(argv[2]) == "--wait-for-red";
    QElapsedTimer clock;
    clock.start();
    QImage shot;
    int red = 0;
    do {
        shot = QGuiApplication::primaryScreen()->grabWindow(0).toImage().convertToFormat(QImage::Format_RGB32);
        red = redPixels(shot);
        if (!waitForRed || red > 0)
            break;
        QThread::msleep(200);
    } while (clock.elapsed() < 15000);
    if (!shot.save(QString::fromLocal8Bit(argv[1])))
        return 1;
    std::printf("%d\n", red);
    return 0;
}
