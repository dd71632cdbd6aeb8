#pragma once

// Checks on real windows shared by the window tests: what a window manager sends, and whether
// every text a person should read is whole.

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStringList>
#include <QStyle>
#include <QWidget>
#include <QWindow>

#include <algorithm>

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

// The room a label gives its text: inside its frame and margin and, for a text at one side, the
// indent a framed label keeps (half an "x" unless set).
inline QRect labelTextRoom(const QLabel& label)
{
    const int m = label.margin();
    QRect room = label.contentsRect().adjusted(m, m, -m, -m);
    int indent = label.indent();
    if (indent < 0)
        indent = label.frameWidth() > 0 ? QFontMetrics(label.font()).horizontalAdvance(QLatin1Char('x')) / 2 - m : 0;
    if (indent > 0 && label.alignment() & Qt::AlignLeft)
        room.setLeft(room.left() + indent);
    if (indent > 0 && label.alignment() & Qt::AlignRight)
        room.setRight(room.right() - indent);
    return room;
}

// For a window whose caption the title bar may shorten: its caption is not checked.
constexpr int kCaptionMayShorten = -1;

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
    if (!window.windowTitle().isEmpty() && titleBarButtons != kCaptionMayShorten)
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
            check(*label, text, fm.horizontalAdvance(text), labelTextRoom(*label).width());
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

// Where a visible label, button, check box or group box draws its text, in the window's
// coordinates; empty for a control without text. A text wider than its room counts only as far as
// it is shown (clippedTexts reports the rest). A wrapped label may fill its whole area.
inline QRect shownTextRect(QWidget& control, QWidget& window)
{
    const QFontMetrics fm(control.font());
    auto place = [&fm](QRect room, int width, Qt::Alignment alignment) {
        const QSize size(std::min(width, room.width()), std::min(fm.height(), room.height()));
        return QStyle::alignedRect(Qt::LeftToRight, alignment, size, room);
    };
    QRect r;
    if (auto* label = qobject_cast<QLabel*>(&control)) {
        const QString text = label->textFormat() == Qt::PlainText ? label->text() : shownText(label->text());
        const QRect room = labelTextRoom(*label);
        if (!text.isEmpty())
            r = label->wordWrap() ? room : place(room, fm.horizontalAdvance(text), label->alignment());
    } else if (auto* box = qobject_cast<QCheckBox*>(&control)) {
        if (!box->text().isEmpty())
            r = place(box->rect(), box->sizeHint().width(), Qt::AlignLeft | Qt::AlignVCenter);
    } else if (auto* button = qobject_cast<QPushButton*>(&control)) {
        const int picture = button->icon().isNull() ? 0 : button->iconSize().width() + 4;
        if (!button->text().isEmpty())
            r = place(button->rect(), fm.horizontalAdvance(shownText(button->text())) + picture, Qt::AlignCenter);
    } else if (auto* group = qobject_cast<QGroupBox*>(&control)) {
        if (!group->title().isEmpty())
            r = place(group->rect().adjusted(8, 0, -8, 0), fm.horizontalAdvance(shownText(group->title())), Qt::AlignLeft | Qt::AlignTop);
    }
    return r.isEmpty() ? QRect() : QRect(control.mapTo(&window, r.topLeft()), r.size());
}

// The controls a text must keep clear of: buttons, check boxes, panels, lists, boxes and bars.
// A label without a frame is only its text, which the text check above covers.
inline bool isControl(const QWidget& w)
{
    if (auto* label = qobject_cast<const QLabel*>(&w))
        return label->frameShape() != QFrame::NoFrame;
    return qobject_cast<const QAbstractButton*>(&w) || qobject_cast<const QFrame*>(&w) || qobject_cast<const QComboBox*>(&w)
        || qobject_cast<const QAbstractSlider*>(&w) || qobject_cast<const QLineEdit*>(&w);
}

// Every pair of visible controls of the window whose shown texts overlap, and every text that a
// control beside it covers (a check box on a button's caption), as "a / b".
inline QStringList overlappingTexts(QWidget& window)
{
    QList<QPair<QWidget*, QRect>> texts;
    QList<QPair<QWidget*, QRect>> controls;
    for (QWidget* w : window.findChildren<QWidget*>()) {
        if (!w->isVisibleTo(&window) || w->isWindow())
            continue;
        if (const QRect r = shownTextRect(*w, window); !r.isEmpty())
            texts.append({w, r});
        if (isControl(*w))
            controls.append({w, QRect(w->mapTo(&window, QPoint()), w->size())});
    }
    QStringList overlaps;
    for (qsizetype i = 0; i < texts.size(); ++i)
        for (qsizetype j = i + 1; j < texts.size(); ++j)
            if (texts[i].second.intersects(texts[j].second))
                overlaps << texts[i].first->objectName() + QStringLiteral(" / ") + texts[j].first->objectName();
    // A control that holds the text, or that the text's control holds, is no neighbour.
    for (const auto& [owner, text] : texts)
        for (const auto& [control, place] : controls)
            if (control != owner && !control->isAncestorOf(owner) && !owner->isAncestorOf(control) && text.intersects(place))
                overlaps << owner->objectName() + QStringLiteral(" / ") + control->objectName();
    return overlaps;
}

} // namespace testutil
