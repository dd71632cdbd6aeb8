// Draws Bildwiesel's own pictures: the program icon at the usual icon sizes, the 15 frames of the
// maker window's animation, the button pictures, and the sample icon files (beispiele/) that a
// first start shows. The files are committed; run this again after changing a drawing:
// cmake --build build --target artwork
//
// Everything is drawn in a 256 x 256 design space and scaled, so every size comes from one
// drawing. A weasel ("Wiesel") in front of a framed picture ("Bild").

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPainterPath>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
const QRectF kFrame(16, 16, 224, 224);
const QRectF kPicture(40, 40, 176, 176);

QImage canvas(int edge)
{
    QImage image(edge, edge, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    return image;
}

void beginDesign(QPainter& p, int edge)
{
    p.setRenderHint(QPainter::Antialiasing);
    p.scale(edge / 256.0, edge / 256.0);
}

// The wooden frame and the landscape inside it: sky, sun, a green hill.
void drawPicture(QPainter& p)
{
    QLinearGradient wood(kFrame.topLeft(), kFrame.bottomRight());
    wood.setColorAt(0, QColor(0xd9, 0x98, 0x4a));
    wood.setColorAt(1, QColor(0x7a, 0x46, 0x1a));
    p.setPen(QPen(QColor(0x4a, 0x2a, 0x10), 6));
    p.setBrush(wood);
    p.drawRoundedRect(kFrame, 26, 26);

    QLinearGradient sky(kPicture.topLeft(), kPicture.bottomLeft());
    sky.setColorAt(0, QColor(0x3f, 0x9c, 0xe0));
    sky.setColorAt(1, QColor(0xcf, 0xec, 0xff));
    p.setPen(QPen(QColor(0x4a, 0x2a, 0x10), 4));
    p.setBrush(sky);
    p.drawRect(kPicture);

    p.save();
    p.setClipRect(kPicture);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0xff, 0xd2, 0x2e));
    p.drawEllipse(QPointF(172, 82), 22, 22);
    QPainterPath hill;
    hill.moveTo(kPicture.left(), 176);
    hill.cubicTo(96, 140, 150, 150, kPicture.right(), 160);
    hill.lineTo(kPicture.bottomRight());
    hill.lineTo(kPicture.bottomLeft());
    hill.closeSubpath();
    QLinearGradient grass(0, 140, 0, 216);
    grass.setColorAt(0, QColor(0x6c, 0xc0, 0x45));
    grass.setColorAt(1, QColor(0x2f, 0x7a, 0x22));
    p.setBrush(grass);
    p.drawPath(hill);
    p.restore();
    p.setPen(QPen(QColor(0x4a, 0x2a, 0x10), 4));
    p.setBrush(Qt::NoBrush);
    p.drawRect(kPicture);
}

// A weasel looking left, drawn in a 100 x 50 box whose top-left is the origin. stride moves the
// legs (0..1, one full step); 0 stands still.
void drawWeasel(QPainter& p, double stride)
{
    const QColor fur(0x9a, 0x5b, 0x2e);
    const QColor dark(0x5c, 0x32, 0x14);
    const QColor belly(0xf6, 0xe6, 0xc4);
    p.setPen(QPen(dark, 2.0));

    // Legs first, so the body covers their tops.
    p.setBrush(fur);
    const double swing = std::sin(stride * 2 * kPi) * 5;
    for (const double x : {34.0, 72.0}) {
        p.drawRoundedRect(QRectF(x + swing, 34, 7, 14), 3, 3);
        p.drawRoundedRect(QRectF(x + 8 - swing, 34, 7, 14), 3, 3);
    }
    // Tail: a thick curve with a dark tip.
    QPainterPath tail;
    tail.moveTo(84, 30);
    tail.cubicTo(96, 30, 100, 20, 98, 8);
    QPen tailPen(fur, 9, Qt::SolidLine, Qt::RoundCap);
    p.strokePath(tail, QPen(dark, 12, Qt::SolidLine, Qt::RoundCap));
    p.strokePath(tail, tailPen);
    p.setPen(Qt::NoPen);
    p.setBrush(dark);
    p.drawEllipse(QPointF(98, 8), 5, 5);

    // Long body, neck and head.
    p.setPen(QPen(dark, 2.0));
    p.setBrush(fur);
    p.drawEllipse(QPointF(58, 30), 30, 11);
    QPainterPath neck;
    neck.moveTo(44, 22);
    neck.cubicTo(36, 18, 30, 14, 26, 16);
    neck.lineTo(24, 32);
    neck.cubicTo(32, 36, 40, 40, 48, 38);
    neck.closeSubpath();
    p.drawPath(neck);
    p.drawEllipse(QPointF(24, 20), 13, 10);
    p.drawEllipse(QPointF(30, 10), 4.5, 4.5); // ear
    p.setPen(Qt::NoPen);
    p.setBrush(belly);
    p.drawEllipse(QPointF(22, 26), 9, 4.5); // throat
    p.setBrush(QColor(0x1a, 0x10, 0x08));
    p.drawEllipse(QPointF(19, 17), 2.6, 2.6); // eye
    p.drawEllipse(QPointF(11.5, 21), 2.4, 2.2); // nose
}

QImage programIcon(int edge)
{
    QImage image = canvas(edge);
    QPainter p(&image);
    beginDesign(p, edge);
    drawPicture(p);
    // The weasel stands on the hill and looks out of the picture.
    p.translate(30, 120);
    p.scale(1.9, 1.9);
    drawWeasel(p, 0);
    return image;
}

// Frame n of 15: the weasel runs through the picture from left to right and hops as it goes.
// Every frame paints the whole picture, because the animation draws frames over each other.
QImage animationFrame(int n, int count)
{
    constexpr int edge = 32;
    QImage image = canvas(edge);
    QPainter p(&image);
    beginDesign(p, edge);
    drawPicture(p);
    p.setClipRect(kPicture.adjusted(2, 2, -2, -2));
    const double t = static_cast<double>(n) / count;
    const double x = -150 + t * (kPicture.width() + 190);
    const double hop = std::fabs(std::sin(t * 3 * kPi)) * 26;
    p.translate(x + 190, 118 - hop);
    p.scale(-1.5, 1.5); // looking right, the way it runs
    drawWeasel(p, t * 3);
    return image;
}

// Button pictures, 16 x 16 each.
QImage buttonPicture(const QString& name)
{
    constexpr int edge = 16;
    QImage image = canvas(edge);
    QPainter p(&image);
    beginDesign(p, edge);
    const QPen outline(QColor(0x30, 0x30, 0x30), 10);
    if (name == QLatin1String("einlesen")) { // a folder with an arrow going into it
        p.setPen(QPen(QColor(0x8a, 0x62, 0x10), 10));
        p.setBrush(QColor(0xf4, 0xc4, 0x3a));
        QPainterPath folder;
        folder.moveTo(16, 80);
        folder.lineTo(16, 60);
        folder.lineTo(90, 60);
        folder.lineTo(110, 80);
        folder.lineTo(240, 80);
        folder.lineTo(240, 230);
        folder.lineTo(16, 230);
        folder.closeSubpath();
        p.drawPath(folder);
        p.setPen(QPen(QColor(0x1d, 0x6f, 0x1d), 10));
        p.setBrush(QColor(0x3c, 0xb0, 0x3c));
        const QPointF arrow[] = {{104, 10}, {152, 10}, {152, 100}, {196, 100}, {128, 180}, {60, 100}, {104, 100}};
        p.drawPolygon(arrow, 7);
    } else if (name == QLatin1String("abbrechen")) { // a red disc with a white cross
        p.setPen(QPen(QColor(0x80, 0x10, 0x10), 12));
        p.setBrush(QColor(0xe0, 0x30, 0x30));
        p.drawEllipse(QRectF(12, 12, 232, 232));
        p.setPen(QPen(Qt::white, 36, Qt::SolidLine, Qt::RoundCap));
        p.drawLine(QPointF(84, 84), QPointF(172, 172));
        p.drawLine(QPointF(172, 84), QPointF(84, 172));
    } else if (name == QLatin1String("ok")) { // a green tick
        QPainterPath tick;
        tick.moveTo(24, 136);
        tick.lineTo(100, 212);
        tick.lineTo(236, 48);
        p.strokePath(tick, QPen(QColor(0x10, 0x50, 0x10), 64, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.strokePath(tick, QPen(QColor(0x3c, 0xb8, 0x3c), 40, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    } else if (name == QLatin1String("schliessen")) { // an open door with an arrow leaving it
        p.setPen(outline);
        p.setBrush(QColor(0xe8, 0xe8, 0xe8));
        p.drawRect(QRectF(20, 16, 140, 224));
        p.setBrush(QColor(0x9a, 0x5b, 0x2e));
        const QPointF door[] = {{20, 16}, {100, 40}, {100, 256 - 16}, {20, 240}};
        p.drawPolygon(door, 4);
        p.setPen(QPen(QColor(0x10, 0x40, 0x90), 10));
        p.setBrush(QColor(0x3a, 0x7c, 0xe0));
        const QPointF arrow[] = {{120, 104}, {190, 104}, {190, 64}, {248, 128}, {190, 192}, {190, 152}, {120, 152}};
        p.drawPolygon(arrow, 7);
    } else if (name == QLatin1String("los")) { // a green "play" triangle
        p.setPen(QPen(QColor(0x10, 0x50, 0x10), 12, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
        p.setBrush(QColor(0x3c, 0xb8, 0x3c));
        const QPointF play[] = {{48, 20}, {236, 128}, {48, 236}};
        p.drawPolygon(play, 3);
    } else if (name == QLatin1String("farbe")) { // a painter's palette
        p.setPen(QPen(QColor(0x6a, 0x4a, 0x20), 10));
        p.setBrush(QColor(0xee, 0xd3, 0xa0));
        QPainterPath palette;
        palette.addEllipse(QRectF(10, 30, 236, 196));
        QPainterPath hole;
        hole.addEllipse(QRectF(150, 150, 44, 40));
        p.drawPath(palette.subtracted(hole));
        p.setPen(Qt::NoPen);
        const QColor blobs[] = {QColor(0xe0, 0x20, 0x20), QColor(0x20, 0x60, 0xe0), QColor(0x20, 0xa0, 0x30), QColor(0xf0, 0xc0, 0x10)};
        const QPointF at[] = {{70, 90}, {126, 70}, {182, 96}, {70, 160}};
        for (int i = 0; i < 4; ++i) {
            p.setBrush(blobs[i]);
            p.drawEllipse(at[i], 26, 26);
        }
    }
    return image;
}

void putLe(QByteArray& out, std::uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.append(static_cast<char>((value >> (8 * i)) & 0xFF));
}

// One image of an icon file: 32-bit colour with its AND mask (1 where fully transparent), rows
// bottom-up; 256 px and larger as PNG, as icon files since Windows Vista keep them.
QByteArray iconImage(const QImage& picture)
{
    const QImage image = picture.convertToFormat(QImage::Format_ARGB32);
    QByteArray out;
    if (image.width() >= 256) {
        QBuffer buffer(&out);
        buffer.open(QIODevice::WriteOnly);
        image.save(&buffer, "PNG");
        return out;
    }
    const int w = image.width();
    const int h = image.height();
    const int maskStride = (w + 31) / 32 * 4;
    putLe(out, 40, 4);
    putLe(out, static_cast<std::uint32_t>(w), 4);
    putLe(out, static_cast<std::uint32_t>(2 * h), 4);
    putLe(out, 1, 2);
    putLe(out, 32, 2);
    putLe(out, 0, 4);
    putLe(out, static_cast<std::uint32_t>(w * h * 4 + maskStride * h), 4);
    putLe(out, 0, 16);
    for (int y = h - 1; y >= 0; --y)
        for (int x = 0; x < w; ++x)
            putLe(out, image.pixel(x, y), 4);
    for (int y = h - 1; y >= 0; --y) {
        QByteArray row(maskStride, 0);
        for (int x = 0; x < w; ++x)
            if (qAlpha(image.pixel(x, y)) == 0)
                row[x / 8] = static_cast<char>(row[x / 8] | (0x80 >> (x % 8)));
        out += row;
    }
    return out;
}

// An icon file holding the program icon at the given sizes.
bool saveIconFile(const std::vector<int>& edges, const QString& path)
{
    std::vector<QByteArray> images;
    for (const int edge : edges)
        images.push_back(iconImage(programIcon(edge)));
    QByteArray out;
    putLe(out, 0, 2);
    putLe(out, 1, 2);
    putLe(out, static_cast<std::uint32_t>(edges.size()), 2);
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * edges.size());
    for (std::size_t i = 0; i < edges.size(); ++i) {
        putLe(out, static_cast<std::uint32_t>(edges[i] & 0xFF), 1); // 256 is written as 0
        putLe(out, static_cast<std::uint32_t>(edges[i] & 0xFF), 1);
        putLe(out, 0, 2);
        putLe(out, 1, 2);
        putLe(out, 32, 2);
        putLe(out, static_cast<std::uint32_t>(images[i].size()), 4);
        putLe(out, offset, 4);
        offset += static_cast<std::uint32_t>(images[i].size());
    }
    for (const QByteArray& image : images)
        out += image;
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(out) != out.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

bool save(const QImage& image, const QString& path)
{
    if (!image.convertToFormat(QImage::Format_ARGB32).save(path, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_artwork DATA_DIRECTORY\n");
        return 2;
    }
    const QDir data(QString::fromLocal8Bit(argv[1]));
    bool ok = data.mkpath(QStringLiteral("animation")) && data.mkpath(QStringLiteral("buttons")) && data.mkpath(QStringLiteral("beispiele"));
    for (const int edge : {16, 22, 24, 32, 48, 64, 128, 256})
        ok = save(programIcon(edge), data.filePath(QStringLiteral("bildwiesel-%1.png").arg(edge))) && ok;
    constexpr int kFrames = 15;
    for (int n = 0; n < kFrames; ++n)
        ok = save(animationFrame(n, kFrames), data.filePath(QStringLiteral("animation/frame-%1.png").arg(n, 2, 10, QLatin1Char('0')))) && ok;
    for (const char* name : {"einlesen", "abbrechen", "ok", "schliessen", "los", "farbe"})
        ok = save(buttonPicture(QString::fromLatin1(name)), data.filePath(QStringLiteral("buttons/%1.png").arg(QLatin1String(name)))) && ok;
    for (const int edge : {16, 32, 48})
        ok = saveIconFile({edge}, data.filePath(QStringLiteral("beispiele/bildwiesel-%1.ico").arg(edge))) && ok;
    ok = saveIconFile({16, 24, 32, 48, 64, 256}, data.filePath(QStringLiteral("beispiele/bildwiesel.ico"))) && ok;
    return ok ? 0 : 1;
}
