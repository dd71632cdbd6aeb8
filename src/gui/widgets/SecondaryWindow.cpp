#include "SecondaryWindow.h"

#include "gui/widgets/TextFit.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QKeyEvent>

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

void SecondaryWindow::setCloseRequest(CloseRequest rule, QAbstractButton* cancelButton)
{
    m_rule = rule;
    m_cancelButton = cancelButton;
}

void SecondaryWindow::cancelRequested()
{
    if (m_cancelButton)
        m_cancelButton->click(); // a disabled or hidden button does nothing, as for the user
}

bool isCloseRequest(const QCloseEvent& event)
{
    // Qt delivers the window system's close requests as spontaneous events; close() is not one.
    return event.spontaneous();
}

bool SecondaryWindow::refuseCloseRequest()
{
    switch (closeRequestRule()) {
    case CloseRequest::Close: return false;
    case CloseRequest::Cancel: cancelRequested(); return true;
    case CloseRequest::Ignore: return true;
    }
    return false;
}

void SecondaryWindow::closeEvent(QCloseEvent* event)
{
    if (isCloseRequest(*event) && refuseCloseRequest()) {
        event->ignore();
        return;
    }
    QDialog::closeEvent(event);
}

void SecondaryWindow::showEvent(QShowEvent* event)
{
    const int needed = m_growForCaption ? captionWidthNeeded(*this) : 0;
    if (width() < needed) {
        if (minimumWidth() == maximumWidth())
            setFixedWidth(needed);
        else
            resize(needed, height());
    }
    QDialog::showEvent(event);
    if (m_takeFocus) {
        // Until the window manager has mapped the window, Qt keeps the request and makes it then.
        raise();
        activateWindow();
    }
}

void SecondaryWindow::keyPressEvent(QKeyEvent* event)
{
    // QDialog hides the window on Esc; that is a close request like any other.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier && refuseCloseRequest())
        return;
    QDialog::keyPressEvent(event);
}

} // namespace bw
