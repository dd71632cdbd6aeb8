#include "PagePainter.h"

#include "icons/Blend.h"
#include "icons/IconExtractor.h"
#include "support/Colours.h"
#include "support/Funky.h"

#include <QFile>
#include <QtMath>

#include <algorithm>
#include <cmath>
#include <cwchar>
#include <filesystem>
#include <limits>
#include <string>
#include <system_error>

namespace bw {
namespace {

const QColor kRed(255, 0, 0);
const QColor kYellow(255, 255, 0);
const QColor kWhite(255, 255, 255);

// The page is laid out in logical pixels. On a high-density screen its bitmap holds `ratio`
// device pixels per logical pixel; a logical coordinate starts at this device pixel.
int devicePixel(int logical, qreal ratio) { return static_cast<int>(std::floor(logical * ratio)); }

// Pixel-exact drawing on the page image; every range (logical pixels) includes both ends and is
// clipped.
void fillArea(QImage& canvas, int x1, int y1, int x2, int y2, QColor colour)
{
    const qreal ratio = canvas.devicePixelRatio();
    if (ratio != 1) {
        x1 = devicePixel(x1, ratio);
        y1 = devicePixel(y1, ratio);
        x2 = devicePixel(x2 + 1, ratio) - 1;
        y2 = devicePixel(y2 + 1, ratio) - 1;
    }
    const QRect area = QRect(QPoint(x1, y1), QPoint(x2, y2)).intersected(canvas.rect());
    if (area.isEmpty())
        return;
    const QRgb value = colour.rgb();
    const auto width = static_cast<std::size_t>(area.width());
    uchar* bits = canvas.bits(); // one detach check, not one per row
    const qsizetype stride = canvas.bytesPerLine();
    for (int y = area.top(); y <= area.bottom(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(bits + y * stride) + area.left();
        // wchar_t is 32 bits here: wmemset is the C library's vectorised 32-bit fill.
        static_assert(sizeof(wchar_t) == sizeof(QRgb));
        std::wmemset(reinterpret_cast<wchar_t*>(line), static_cast<wchar_t>(value), width);
    }
}

// Draws a picture with straight alpha over the opaque page image at (x, y), clipped; the picture
// is in device pixels.
void drawIcon(QImage& canvas, const QImage& icon, int x, int y)
{
    if (const qreal ratio = canvas.devicePixelRatio(); ratio != 1) {
        x = devicePixel(x, ratio);
        y = devicePixel(y, ratio);
    }
    const QImage source = icon.format() == QImage::Format_ARGB32 ? icon : icon.convertToFormat(QImage::Format_ARGB32);
    const QRect target = QRect(x, y, source.width(), source.height()).intersected(canvas.rect());
    const uchar* sourceBits = source.constBits();
    uchar* bits = canvas.bits();
    for (int ty = target.top(); ty <= target.bottom(); ++ty) {
        const auto* from = reinterpret_cast<const QRgb*>(sourceBits + (ty - y) * source.bytesPerLine()) + (target.left() - x);
        auto* to = reinterpret_cast<QRgb*>(bits + ty * canvas.bytesPerLine()) + target.left();
        for (int i = 0; i < target.width(); ++i) {
            const QRgb s = from[i];
            const int a = qAlpha(s);
            if (a == 255)
                to[i] = s;
            else if (a != 0)
                to[i] = blendOver(s, to[i]);
        }
    }
}

void outline(QImage& canvas, int x1, int y1, int x2, int y2, QColor colour)
{
    fillArea(canvas, x1, y1, x2, y1, colour);
    fillArea(canvas, x1, y2, x2, y2, colour);
    fillArea(canvas, x1, y1, x1, y2, colour);
    fillArea(canvas, x2, y1, x2, y2, colour);
}

// The mark of a cell drawn from a collection's stored picture because its file is gone or
// changed: a blue triangle in the cell's lower right corner, clear of the marking frames.
void disconnectedMark(QImage& canvas, int x, int y)
{
    const QColor blue(0, 64, 255);
    for (int r = 0; r < 8; ++r)
        fillArea(canvas, x + 40 - r, y + 33 + r, x + 40, y + 33 + r, blue);
}

// A line that stops one pixel before its end point, as the platform draws lines.
void diagonal(QImage& canvas, int x, int y, int dx, int dy, int steps, QColor colour)
{
    for (int i = 0; i < steps; ++i) {
        const int px = x + i * dx;
        const int py = y + i * dy;
        if (canvas.devicePixelRatio() != 1)
            fillArea(canvas, px, py, px, py, colour);
        else if (canvas.rect().contains(px, py))
            canvas.setPixel(px, py, colour.rgb());
    }
}

int divTowardZero(int a, int b) { return a / b; }

// The page image's area in logical pixels.
QRect logicalRect(const QImage& canvas)
{
    const qreal ratio = canvas.devicePixelRatio();
    return ratio == 1 ? canvas.rect() : QRect(0, 0, qCeil(canvas.width() / ratio), qCeil(canvas.height() / ratio));
}

} // namespace

void computeGrid(PageState& page, int imageWidth, int imageHeight)
{
    page.cellsAcross = std::max(0, imageWidth) / kCellPitch;
    page.cellsDown = std::max(0, imageHeight) / kCellPitch;
    page.pageCapacity = page.cellsAcross * page.cellsDown;
}

ScrollRange scrollRangeFor(std::int32_t entryCount, int pageCapacity)
{
    ScrollRange r;
    if (entryCount == 0 || pageCapacity == 0 || entryCount <= pageCapacity)
        return r;
    r.maximum = entryCount - pageCapacity + 1;
    r.resetPosition = true;
    // The page step is a 16-bit value.
    r.largeChange = std::min(pageCapacity - 1, static_cast<int>(std::numeric_limits<std::int16_t>::max()));
    return r;
}

void paintEntries(QImage& canvas, Catalogue& catalogue, const PageState& page, QColor background, std::int32_t first, std::int32_t last,
                  PaintHost& host)
{
    host.setNumberPanel(QStringLiteral("-"));
    if (first == 0)
        first = 1;
    const std::int32_t entryCount = catalogue.entryCount();
    // What was drawn since the last on-screen refresh: only that part is shown again.
    QRect drawn;
    const QRect pageArea = logicalRect(canvas);
    // On a high-density screen each icon is drawn from the image nearest to its size in device
    // pixels; at ratio 1 that is the 32 x 32 picture.
    const qreal ratio = canvas.devicePixelRatio();
    const int iconEdge = ratio == 1 ? kIconEdge : qRound(kIconEdge * ratio);
    if (entryCount <= page.pageCapacity || entryCount == 0) {
        fillArea(canvas, 0, 0, pageArea.width(), pageArea.height(), background);
        drawn = pageArea;
    }
    if (entryCount == 0)
        return;
    const QString countText = QStringLiteral("Icon(s) ") + QString::number(entryCount);

    const int across = page.cellsAcross;
    // With no column there is no cell to draw into; only the strips are painted. One entry goes
    // into the pointer's cell; a pointer outside the page (in a strip, or on a page of one cell
    // after the pointer left it) would put it where nobody sees it, so it goes into cell 1.
    const bool pointerOnPage = page.pointerCell >= 1 && page.pointerCell <= page.pageCapacity;
    int k = first == last && pointerOnPage ? page.pointerCell - 1 : 0;
    if (across > 0 && last >= first) {
        // Painting lets no other command run, so a file checked once stays valid for the page.
        const ExtractionBatch batch;
        for (std::int32_t i = first; i <= last && i <= entryCount; ++i) {
            ++k;
            // Division truncates toward zero: a cell number below 1 lands left of the image.
            const int row = (k - 1) / across;
            const int column = (k - 1) - row * across;
            const int x = kCellPitch * column;
            const int y = kCellPitch * row;
            IconEntry& e = catalogue[i];
            const QImage stored = host.storedIcon(i);
            const QImage icon = !stored.isNull() ? (iconEdge == kIconEdge ? stored : scaleToEdge(stored, iconEdge))
                : iconEdge == kIconEdge          ? host.extractIcon(e.path(), e.iconIndex)
                                                 : host.extractIconAt(e.path(), e.iconIndex, iconEdge);
            fillArea(canvas, x, y, x + 42, y + 42, background);
            if (icon.isNull()) {
                e.defective = 1;
                outline(canvas, x + 1, y + 1, x + 40, y + 40, kRed);
                outline(canvas, x + 2, y + 2, x + 39, y + 39, kRed);
                diagonal(canvas, x + 1, y + 1, 1, 1, 40, kRed);
                diagonal(canvas, x + 1, y + 41, 1, -1, 40, kRed);
            } else {
                drawIcon(canvas, icon, x + kIconOffset, y + kIconOffset);
            }
            if (e.marked) {
                outline(canvas, x + 3, y + 3, x + 38, y + 38, kYellow);
                outline(canvas, x + 4, y + 4, x + 37, y + 37, kYellow);
            }
            if (!stored.isNull())
                disconnectedMark(canvas, x, y);
            host.setCountPanel(countText);
            host.setRangePanel(QString::number(first) + QStringLiteral(" bis ") + QString::number(i));
            drawn |= QRect(x, y, kCellPitch + 1, kCellPitch + 1);
            if (i % across == 0) {
                host.refreshNow(drawn.intersected(pageArea));
                drawn = QRect();
            }
            if (i == entryCount)
                break;
        }
    }

    const int gridWidth = kCellPitch * page.cellsAcross;
    const int gridHeight = kCellPitch * page.cellsDown;
    if (pageArea.width() > gridWidth || pageArea.height() > gridHeight) {
        fillArea(canvas, gridWidth, 0, gridWidth + 41, gridHeight + 41, background);
        fillArea(canvas, 0, gridHeight, gridWidth + 41, gridHeight + 41, background);
    }
}

HitTest hitTest(QPoint position, const PageState& page)
{
    HitTest h;
    h.column = divTowardZero(position.x(), kCellPitch);
    h.row = divTowardZero(position.y(), kCellPitch);
    const int index = h.row * page.cellsAcross + h.column;
    h.entry = page.firstVisible + index;
    h.cell = index + 1;
    return h;
}

void moveHoverFrame(QImage& canvas, QPoint& hover, QPoint origin, QColor background)
{
    if (origin != hover)
        outline(canvas, hover.x(), hover.y(), hover.x() + 41, hover.y() + 41, background);
    outline(canvas, origin.x(), origin.y(), origin.x() + 41, origin.y() + 41, kWhite);
    hover = origin;
}

PathLine pathLineFor(const Catalogue& catalogue, std::int32_t entry)
{
    static const IconEntry empty;
    const IconEntry& e = entry >= 1 && entry <= catalogue.entryCount() ? catalogue[entry] : empty;
    PathLine line;
    QString tag;
    const std::string path(e.path());
    if (e.defective) {
        line.colour = kColourRed;
        tag = QStringLiteral(" ->Icon DEFEKT");
        std::error_code ec;
        if (!std::filesystem::exists(path, ec))
            tag = QStringLiteral(" ->Icon nicht vorhanden");
    } else if (e.marked) {
        line.colour = kColourYellow;
        tag = QStringLiteral(" ->Icon wird GELÖSCHT");
    }
    // The path as it is: on a case-sensitive file system a re-cased path names no file.
    line.text = pathText(path) + QStringLiteral("  Nr: ") + QString::number(e.iconIndex) + tag;
    return line;
}

void markPage(Catalogue& catalogue, const PageState& page, bool marked)
{
    const std::int32_t last = std::min<std::int32_t>(page.firstVisible + page.pageCapacity - 1, catalogue.entryCount());
    for (std::int32_t n = std::max(page.firstVisible, 1); n <= last; ++n)
        catalogue[n].marked = marked ? 1 : 0;
}

} // namespace bw
