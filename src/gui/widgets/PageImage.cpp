#include "PageImage.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>
#include <QtMath>

namespace bw {

PageImage::PageImage(QWidget* parent, const QString& name) : QWidget(parent)
{
    setObjectName(name);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus); // the page keys go to the page, not to the drive box
}

void PageImage::fitCanvas(QColor background)
{
    const qreal ratio = devicePixelRatioF();
    const QSize logical = size().expandedTo(QSize(1, 1));
    const QSize device = ratio == 1 ? logical : QSize(qCeil(logical.width() * ratio), qCeil(logical.height() * ratio));
    if (m_canvas.size() == device && m_canvas.devicePixelRatio() == ratio)
        return;
    QImage resized(device, QImage::Format_RGB32);
    resized.setDevicePixelRatio(ratio);
    resized.fill(background);
    if (!m_canvas.isNull()) {
        QPainter painter(&resized);
        painter.drawImage(0, 0, m_canvas);
    }
    m_canvas = resized;
}

void PageImage::paintEvent(QPaintEvent* event)
{
    // Only the exposed part: a page refreshes row by row while it is painted.
    const QRect area = event->rect();
    QPainter painter(this);
    const qreal ratio = m_canvas.devicePixelRatio();
    const QRect logical = ratio == 1 ? m_canvas.rect() : QRect(0, 0, qFloor(m_canvas.width() / ratio), qFloor(m_canvas.height() / ratio));
    const QRect fromCanvas = area.intersected(logical);
    if (fromCanvas != area)
        painter.fillRect(area, palette().color(QPalette::Button));
    if (fromCanvas.isEmpty())
        return;
    if (ratio == 1) {
        painter.drawImage(fromCanvas.topLeft(), m_canvas, fromCanvas);
        return;
    }
    // The bitmap's own device pixels, one to one, with no scaling.
    const QRectF source(fromCanvas.x() * ratio, fromCanvas.y() * ratio, fromCanvas.width() * ratio, fromCanvas.height() * ratio);
    painter.drawImage(QRectF(fromCanvas), m_canvas, source);
}

void PageImage::mouseMoveEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    emit mouseMoved(position);
    // A shaking hand makes no drag out of a click.
    if (m_dragFrom && (event->buttons() & Qt::LeftButton)
        && (position - *m_dragFrom).manhattanLength() >= QApplication::startDragDistance()) {
        const QPoint from = *m_dragFrom;
        m_dragFrom.reset();
        emit dragStarted(from);
    }
}

void PageImage::mousePressEvent(QMouseEvent* event)
{
    const QPoint position = event->position().toPoint();
    if (event->button() == Qt::LeftButton)
        m_dragFrom = position;
    emit mousePressed(event->button(), position);
}

void PageImage::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        m_dragFrom.reset();
    QWidget::mouseReleaseEvent(event);
}

void PageImage::wheelEvent(QWheelEvent* event)
{
    m_wheelRest -= event->angleDelta().y(); // turning towards the user goes forward
    const int notches = m_wheelRest / QWheelEvent::DefaultDeltasPerStep;
    m_wheelRest -= notches * QWheelEvent::DefaultDeltasPerStep;
    if (notches != 0)
        emit wheelTurned(notches);
    event->accept();
}

void PageImage::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_PageDown: emit pageKeyPressed(QAbstractSlider::SliderPageStepAdd); return;
    case Qt::Key_PageUp: emit pageKeyPressed(QAbstractSlider::SliderPageStepSub); return;
    case Qt::Key_Home: emit pageKeyPressed(QAbstractSlider::SliderToMinimum); return;
    case Qt::Key_End: emit pageKeyPressed(QAbstractSlider::SliderToMaximum); return;
    default: break;
    }
    QWidget::keyPressEvent(event);
}

} // namespace bw
