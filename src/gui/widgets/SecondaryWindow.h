#pragma once

#include <QDialog>

class QAbstractButton;

namespace bw {

// The base of the program's secondary windows: created once at start, hidden until a command
// shows it, with a fixed client size unless it is resizable.
//
// A window manager can always ask a window to close (its close box, Alt+F4, the task bar), even
// one drawn without a close box. Such a request must never hide a window whose work goes on, so
// each window says what the request does: close it (the default), do what its cancel button does,
// or nothing. Esc follows the same rule. The program's own close() always closes.
class SecondaryWindow : public QDialog {
    Q_OBJECT
public:
    enum class CloseRequest { Close, Cancel, Ignore };

    SecondaryWindow(QWidget* mainWindow, const QString& className, const QString& caption, QSize clientSize,
                    Qt::WindowFlags flags = Qt::Dialog, bool resizable = false);

    // The rule for close requests; with Cancel, the request clicks cancelButton (when given).
    void setCloseRequest(CloseRequest rule, QAbstractButton* cancelButton = nullptr);

protected:
    // The rule for the request at hand. A window whose rule depends on its state (a loop runs or
    // not) overrides it.
    virtual CloseRequest closeRequestRule() const { return m_rule; }
    // What the window's cancel button does; by default a click on the button given above.
    virtual void cancelRequested();

    // Windows that override these call them first; an ignored close event means the window stays.
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    // Widens the window when its caption would be cut in the title bar.
    void showEvent(QShowEvent* event) override;
    // For a window whose caption changes with what it shows: it keeps its size, and the title
    // bar shortens a long caption.
    void keepWidthForCaption() { m_growForCaption = false; }
    // For a window that shows a run over the disabled main window: it comes up on top with the
    // input focus, so that Esc reaches its "Abbrechen" rather than the main window, which
    // ignores every key while it is disabled.
    void takeFocusWhenShown() { m_takeFocus = true; }

private:
    // Applies the rule to a close request; true when the window stays open.
    bool refuseCloseRequest();

    CloseRequest m_rule = CloseRequest::Close;
    QAbstractButton* m_cancelButton = nullptr;
    bool m_growForCaption = true;
    bool m_takeFocus = false;
};

// True when a close event is the window system's request (close box, Alt+F4) rather than a
// close() of the program. Also for windows that are not SecondaryWindows (the splash).
bool isCloseRequest(const QCloseEvent& event);

} // namespace bw
