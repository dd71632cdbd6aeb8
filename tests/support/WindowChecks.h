#pragma once

// Checks on real windows shared by the window tests: what a window manager sends, and whether
// every text a person should read is whole.

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QStringList>
#include <QWidget>
#include <QWindow>

namespace testutil {

// What a window manager does on the title bar's close box or Alt+F4: a close request delivered to
// the native window, the same path as a request of the X server.
inline void requestClose(QWidget& window)
{
    window.winId(); // the native window must exist
    QCloseEvent request;
    QApplication::sendEvent(window.windowHandle(), &request);
}

// The text as drawn: "&Ja" shows as "Ja", "&&" as "&".
inline QString shownText(QString text)
{
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    return text;
}

// Every visible label, button, check box and group box caption of the window whose text is
// wider than the room its control gives it, as "name: 'text' needs N px, has M px". The
// window's own caption counts too, with room left for the title bar's icon and buttons.
inline QStringList clippedTexts(QWidget& window, int titleBarButtons = 3)
{
    QStringList clipped;
    auto check = [&clipped](const QObject& control, const QString& text, int needed, int room) {
        if (needed > room)
            clipped << QStringLiteral("%1: '%2' needs %3 px, has %4 px").arg(control.objectName(), text).arg(needed).arg(room);
    };
    QFont titleFont = window.font();
    titleFont.setBold(true);
    if (!window.windowTitle().isEmpty())
        check(window, window.windowTitle(), QFontMetrics(titleFont).horizontalAdvance(window.windowTitle()) + 40 + 26 * titleBarButtons,
              window.width());
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisibleTo(&window) || w->isWindow())
            continue;
        const QFontMetrics fm(w->font());
        if (auto* label = qobject_cast<QLabel*>(w)) {
            if (label->text().isEmpty())
                continue;
            if (label->wordWrap()) {
                // A wrapped text must show all its lines.
                const int needed = label->heightForWidth(label->width());
                if (needed > label->height())
                    clipped << QStringLiteral("%1: '%2' needs %3 px of height, has %4 px")
                                   .arg(label->objectName(), label->text())
                                   .arg(needed)
                                   .arg(label->height());
                continue;
            }
            const QString text = label->textFormat() == Qt::PlainText ? label->text() : shownText(label->text());
            check(*label, text, fm.horizontalAdvance(text), label->contentsRect().width() - 2 * label->margin());
        } else if (auto* box = qobject_cast<QCheckBox*>(w)) {
            if (!box->text().isEmpty())
                check(*box, box->text(), box->sizeHint().width(), box->width());
        } else if (auto* button = qobject_cast<QPushButton*>(w)) {
            const QString text = shownText(button->text());
            const int picture = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
            // The bevel and the focus frame take a few pixels on either side.
            check(*button, text, fm.horizontalAdvance(text) + picture, button->width() - 8);
        } else if (auto* group = qobject_cast<QGroupBox*>(w)) {
            if (!group->title().isEmpty())
                check(*group, group->title(), fm.horizontalAdvance(shownText(group->title())), group->width() - 16);
        }
    }
    return clipped;
}

} // namespace testutil
