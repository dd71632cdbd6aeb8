#include "QtDialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace bw {
namespace {

bool staysOnTop(const QWidget& window) { return window.windowFlags().testFlag(Qt::WindowStaysOnTopHint); }

// The window a box belongs to, so that the window manager stacks the box above it. A window that
// stays on top (the progress window of a read) would hide a box of any other window, so it comes
// first; then a modal window (renumbering, comparison), the active window, and last any window
// that takes input (the report window while the main window is disabled).
QWidget* dialogParent()
{
    QWidget* onTop = nullptr;
    QWidget* enabled = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (!w->isVisible() || w->windowType() == Qt::Popup || w->windowType() == Qt::ToolTip)
            continue;
        if (staysOnTop(*w))
            onTop = w;
        else if (w->isEnabled() && !enabled)
            enabled = w;
    }
    if (onTop)
        return onTop;
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    if (QWidget* active = QApplication::activeWindow(); active && active->isEnabled())
        return active;
    return enabled;
}

// Shows the box modally above its parent, with the input focus: it stays on top as its parent
// does, and is raised and activated once it is on the screen, so that no window hides it and
// Enter and Esc reach it.
int execAbove(QDialog& box)
{
    if (box.parentWidget() && staysOnTop(*box.parentWidget()->window()))
        box.setWindowFlag(Qt::WindowStaysOnTopHint);
    QTimer::singleShot(0, &box, [&box] {
        box.raise();
        box.activateWindow();
    });
    return box.exec();
}

} // namespace

void QtDialogs::message(const QString& text, const QString& caption)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, dialogParent());
    execAbove(box);
}

bool QtDialogs::confirm(const QString& text, const QString& caption)
{
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::NoButton, dialogParent());
    QPushButton* yes = box.addButton(QStringLiteral("&Ja"), QMessageBox::YesRole);
    QPushButton* no = box.addButton(QStringLiteral("&Nein"), QMessageBox::NoRole);
    // A "yes" may remove or rename files: Enter, like Esc, is the harmless answer.
    box.setDefaultButton(no);
    box.setEscapeButton(no);
    execAbove(box);
    return box.clickedButton() == yes;
}

void QtDialogs::about(const QString& title, const QString& text) { QMessageBox::about(dialogParent(), title, text); }

} // namespace bw

namespace bw {

std::optional<QColor> QtDialogs::chooseColour(const QColor& initial)
{
    const QColor c = QColorDialog::getColor(initial, dialogParent());
    if (!c.isValid())
        return std::nullopt;
    return c;
}

} // namespace bw

namespace bw {

std::optional<QString> QtDialogs::openPicture(const QString& title, const QString& filter)
{
    QFileDialog dialog(dialogParent(), title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (execAbove(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> QtDialogs::savePicture(const QString& filter, const QString& defaultSuffix)
{
    QFileDialog dialog(dialogParent(), QString(), QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    if (execAbove(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> QtDialogs::saveFile(const QString& title, const QString& filter, const QString& defaultSuffix)
{
    QFileDialog dialog(dialogParent(), title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setDefaultSuffix(defaultSuffix);
    if (execAbove(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace bw
