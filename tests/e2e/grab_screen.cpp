// Takes a screenshot of the X screen (Xvfb) and saves it as PNG. With --wait-for-red it grabs
// again until pure red pixels (the page's defect cross) are on the screen, or 15 seconds passed.
// Prints the number of pure red pixels. With --region X Y W H it prints the pure red pixels, the
// pure black pixels and all pixels of that rectangle.

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QThread>

#include <cstdio>
#include <cstdlib>

namespace {

int pixelsOf(const QImage& image, const QRect& area, QRgb colour)
{
    int count = 0;
    const QRect inside = area.intersected(image.rect());
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        for (int x = inside.left(); x <= inside.right(); ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) == colour)
                ++count;
    return count;
}

int redPixels(const QImage& image) { return pixelsOf(image, image.rect(), 0xFF0000); }

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: grab_screen OUT.png [--wait-for-red | --region X Y W H]\n");
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
    if (argc == 7 && QByteArray(argv[2]) == "--region") {
        const QRect area(std::atoi(argv[3]), std::atoi(argv[4]), std::atoi(argv[5]), std::atoi(argv[6]));
        std::printf("%d %d %d\n", pixelsOf(shot, area, 0xFF0000), pixelsOf(shot, area, 0x000000),
                    area.intersected(shot.rect()).width() * area.intersected(shot.rect()).height());
        return 0;
    }
    std::printf("%d\n", red);
    return 0;
}
