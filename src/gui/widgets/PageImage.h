#pragma once

#include <QAbstractSlider>
#include <QImage>
#include <QWidget>

#include <optional>

namespace bw {

// The page image `Bild`: a bitmap the painter draws into, shown as it is.
class PageImage : public QWidget {
    Q_OBJECT
public:
    PageImage(QWidget* parent, const QString& name);
    QImage& canvas() { return m_canvas; }
    // Brings the bitmap to the control's size at the screen's device pixel ratio, keeping what
    // was drawn where it was; new parts get the background.
    void fitCanvas(QColor background);
    // Shows a part of what was drawn, at once, without letting other events run.
    void refreshNow(const QRect& area) { repaint(area); }

signals:
    void mouseMoved(QPoint position);
    void mousePressed(Qt::MouseButton button, QPoint position);
    // The left button, pressed at `from`, moved the pointer by the desktop's drag distance: once
    // per press, after mousePressed.
    void dragStarted(QPoint from);
    // The wheel turned by whole notches (positive: towards later entries).
    void wheelTurned(int notches);
    // PageDown, PageUp, Home or End while the page has the keyboard focus, as the scroll bar's
    // action: a page on or back, the first or the last page.
    void pageKeyPressed(QAbstractSlider::SliderAction action);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    QImage m_canvas;
    int m_wheelRest = 0;              // a touchpad turns in fractions of a notch
    std::optional<QPoint> m_dragFrom; // where the left button went down, until a drag starts
};

} // namespace bw
