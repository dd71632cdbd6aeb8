#include "QtDialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace bw {

void QtDialogs::message(const QString& text, const QString& caption)
{
    QMessageBox box(QMessageBox::NoIcon, caption, text, QMessageBox::Ok, QApplication::activeWindow());
    box.exec();
}

bool QtDialogs::confirm(const QString& text, const QString& caption)
{
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::NoButton, QApplication::activeWindow());
    QPushButton* yes = box.addButton(QStringLiteral("&Ja"), QMessageBox::YesRole);
    box.addButton(QStringLiteral("&Nein"), QMessageBox::NoRole);
    box.exec();
    return box.clickedButton() == yes;
}

void QtDialogs::about(const QString& title, const QString& text) { QMessageBox::about(QApplication::activeWindow(), title, text); }

} // namespace bw

namespace bw {

std::optional<QColor> QtDialogs::chooseColour(const QColor& initial)
{
    const QColor c = QColorDialog::getColor(initial, QApplication::activeWindow());
    if (!c.isValid())
        return std::nullopt;
    return c;
}

} // namespace bw

namespace bw {

std::optional<QString> QtDialogs::openPicture(const QString& title, const QString& filter)
{
    QFileDialog dialog(QApplication::activeWindow(), title, QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

std::optional<QString> QtDialogs::savePicture(const QString& filter, const QString& defaultSuffix)
{
    QFileDialog dialog(QApplication::activeWindow(), QString(), QString(), filter);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(defaultSuffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    return dialog.selectedFiles().constFirst();
}

} // namespace bw
