#include "TextFit.h"

#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStyle>

#include <algorithm>

namespace bw {
namespace {

// The text as drawn: "&Ja" shows as "Ja", "&&" as "&".
QString shownText(QString text)
{
    text.replace(QStringLiteral("&&"), QStringLiteral("\x01"));
    text.remove(QLatin1Char('&'));
    text.replace(QStringLiteral("\x01"), QStringLiteral("&"));
    return text;
}

// The room a label keeps free between its contents edge and a text aligned left or right.
int labelIndent(const QLabel& label)
{
    if (!(label.alignment() & (Qt::AlignLeft | Qt::AlignRight)))
        return 0;
    if (label.indent() >= 0)
        return label.indent();
    // A framed label keeps half an "x" between its frame and a text at either side.
    return label.frameWidth() > 0 ? std::max(0, QFontMetrics(label.font()).horizontalAdvance(QLatin1Char('x')) / 2 - label.margin()) : 0;
}

} // namespace

int textWidthNeeded(const QLabel& label, const QString& labelText)
{
    const QString text = label.textFormat() == Qt::PlainText ? labelText : shownText(labelText);
    const QMargins m = label.contentsMargins(); // includes the frame
    return QFontMetrics(label.font()).horizontalAdvance(text) + m.left() + m.right() + 2 * label.margin() + labelIndent(label);
}

int textWidthNeeded(const QWidget& control)
{
    if (const auto* label = qobject_cast<const QLabel*>(&control))
        return textWidthNeeded(*label, label->text());
    const QFontMetrics fm(control.font());
    if (const auto* button = qobject_cast<const QPushButton*>(&control)) {
        const QStyle* style = button->style();
        int width = fm.horizontalAdvance(shownText(button->text()));
        if (!button->icon().isNull())
            width += button->iconSize().width() + 4;
        width += style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button)
            + 2 * style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
        if (button->autoDefault() || button->isDefault())
            width += 2 * style->pixelMetric(QStyle::PM_ButtonDefaultIndicator, nullptr, button);
        return width + 4; // the focus frame
    }
    return control.width();
}

int growToFitText(QWidget& control)
{
    const int missing = std::max(0, textWidthNeeded(control) - control.width());
    if (missing > 0)
        control.resize(control.width() + missing, control.height());
    return missing;
}

int growToShowRows(QListWidget& list, int rows)
{
    int height = 0;
    for (int i = 0; i < std::min(rows, list.count()); ++i)
        height += list.sizeHintForRow(i);
    const int needed = height + 2 * list.frameWidth();
    const int missing = std::max(0, needed - list.height());
    if (missing > 0)
        list.resize(list.width(), list.height() + missing);
    return missing;
}

int captionWidthNeeded(const QWidget& window)
{
    const Qt::WindowFlags flags = window.windowFlags();
    if (flags & Qt::FramelessWindowHint || (flags & Qt::WindowType_Mask) == Qt::SplashScreen)
        return 0; // no title bar
    // Title bars draw the caption bold, beside the window icon and the buttons. Some window
    // managers (openbox) show minimise, maximise and close whatever the window asks for.
    QFont bold = window.font();
    bold.setBold(true);
    return QFontMetrics(bold).horizontalAdvance(window.windowTitle()) + 40 + 3 * 26;
}

} // namespace bw
