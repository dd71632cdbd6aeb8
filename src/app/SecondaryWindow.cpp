#include "SecondaryWindow.h"

namespace bw {

SecondaryWindow::SecondaryWindow(QWidget* mainWindow, const QString& className, const QString& caption, QSize clientSize,
                                 Qt::WindowFlags flags, bool resizable)
    : QDialog(mainWindow, flags)
{
    setObjectName(className);
    setWindowTitle(caption);
    if (resizable)
        resize(clientSize);
    else
        setFixedSize(clientSize);
}

} // namespace bw
