#include "PageImage.h"

#include <QMouseEvent>
#include <QPainter>

namespace bw {

PageImage::PageImage(QWidget* parent, const QString& name)
    : QWidget(parent)
{
    setObjectName(name);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void PageImage::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().color(QPalette::Button));
    if (!m_canvas.isNull())
        painter.drawImage(0, 0, m_canvas);
}

void PageImage::mouseMoveEvent(QMouseEvent* event) { emit mouseMoved(event->position().toPoint()); }

void PageImage::mousePressEvent(QMouseEvent* event) { emit mousePressed(event->button(), event->position().toPoint()); }

} // namespace bw
