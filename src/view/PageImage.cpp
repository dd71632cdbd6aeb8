#include "PageImage.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QWheelEvent>

namespace bw {

PageImage::PageImage(QWidget* parent, const QString& name)
    : QWidget(parent)
{
    setObjectName(name);
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus); // the page keys go to the page, not to the drive box
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
