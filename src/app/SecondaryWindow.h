#pragma once

#include <QDialog>

namespace bw {

// The base of the program's secondary windows: created once at start, hidden until a command
// shows it, with a fixed client size unless it is resizable.
class SecondaryWindow : public QDialog {
    Q_OBJECT
public:
    SecondaryWindow(QWidget* mainWindow, const QString& className, const QString& caption, QSize clientSize,
                    Qt::WindowFlags flags = Qt::Dialog, bool resizable = false);
};

} // namespace bw
