#include "WindowPlacement.h"

#include "support/Funky.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QScreen>
#include <QThread>
#include <QWindow>

namespace bw {

void CenterForm(QWidget* owner, QWidget* window, int dx, int dy)
{
    const QSize size = window->frameGeometry().size();
    if (owner) {
        const QRect o = owner->frameGeometry();
        window->move(centeredPosition(o.topLeft(), o.size(), size, dx, dy));
        return;
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    window->move(centeredPosition({0, 0}, screen ? screen->size() : size, size, dx, dy));
}

void showPainted(QWidget& window)
{
    window.show();
    const QWindow* handle = window.windowHandle();
    QElapsedTimer clock;
    clock.start();
    // The window manager maps the window first; until then nothing drawn would reach the screen.
    while (window.isVisible() && handle && !handle->isExposed() && clock.elapsed() < 500) {
        QCoreApplication::processEvents();
        QThread::msleep(2);
    }
    if (window.isVisible())
        window.repaint();
    QCoreApplication::processEvents();
}

} // namespace bw
