#include "WindowPlacement.h"

#include "support/Funky.h"

#include <QGuiApplication>
#include <QScreen>

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

} // namespace bw
