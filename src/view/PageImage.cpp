#include "PageImage.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>

namespace bw {

PageImage::PageImage(QWidget* parent, const QString& name)
    : QWidget(parent)
{
    setObjectName(name);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PageImage::paintEvent(QPaintEvent* event)
{
    // Only the exposed part: a page refreshes row by row while it is painted.
    const QRect area = event->rect();
    QPainter painter(this);
    const QRect fromCanvas = area.intersected(m_canvas.rect());
    if (fromCanvas != area)
        painter.fillRect(area, palette().color(QPalette::Button));
    if (!fromCanvas.isEmpty())
        painter.drawImage(fromCanvas.topLeft(), m_canvas, fromCanvas);
}

void PageImage::mouseMoveEvent(QMouseEvent* event) { emit mouseMoved(event->position().toPoint()); }

void PageImage::mousePressEvent(QMouseEvent* event) { emit mousePressed(event->button(), event->position().toPoint()); }

} // namespace bw
