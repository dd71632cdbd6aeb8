#include "Panel.h"

#include "gui/widgets/TextFit.h"

#include <QHBoxLayout>
#include <QMouseEvent>

namespace bw {

Panel::Panel(QWidget* parent, const QString& name, const QString& text, Qt::Alignment alignment, Bevel bevel, int bevelWidth)
    : QFrame(parent)
    , m_label(new QLabel(text, this))
{
    setObjectName(name);
    switch (bevel) {
    case Bevel::None: setFrameStyle(QFrame::NoFrame); break;
    case Bevel::Raised: setFrameStyle(QFrame::Panel | QFrame::Raised); break;
    case Bevel::Lowered: setFrameStyle(QFrame::Panel | QFrame::Sunken); break;
    }
    setLineWidth(bevel == Bevel::None ? 0 : bevelWidth);
    m_label->setObjectName(name + QStringLiteral("Text"));
    m_label->setAlignment(alignment | Qt::AlignVCenter);
    m_label->setTextFormat(Qt::PlainText);
    m_label->setContentsMargins(2, 0, 2, 0);
    m_label->setAttribute(Qt::WA_TransparentForMouseEvents);
    // Only the caption is laid out; the panel's other children are placed by their owner.
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_label);
}

StatusPanels::StatusPanels(QWidget* parent, const QString& name, const QList<int>& widths) : QFrame(parent), m_widths(widths)
{
    setObjectName(name);
    setAutoFillBackground(true);
    for (qsizetype i = 0; i < widths.size(); ++i) {
        auto* label = new QLabel(this);
        label->setObjectName(name + QStringLiteral("Panel%1").arg(i));
        label->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        label->setTextFormat(Qt::PlainText);
        label->setContentsMargins(2, 0, 2, 0);
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        m_panels.append(label);
    }
}

void StatusPanels::fitPanelToText(int i)
{
    m_widths[i] = std::max(m_widths.at(i), textWidthNeeded(*m_panels.at(i)) + 2); // 2: the gap between panels
    resizeEvent(nullptr);
}

void StatusPanels::resizeEvent(QResizeEvent* event)
{
    if (event)
        QFrame::resizeEvent(event);
    int x = 0;
    for (qsizetype i = 0; i < m_panels.size(); ++i) {
        const bool last = i + 1 == m_panels.size();
        const int w = last ? std::max(m_widths.at(i), width() - x) : m_widths.at(i);
        m_panels.at(i)->setGeometry(x, 2, w - 2, height() - 2);
        x += w;
    }
}

void StatusPanels::mousePressEvent(QMouseEvent* event)
{
    QFrame::mousePressEvent(event);
    if (event->button() == Qt::LeftButton)
        emit clicked();
}

void setStatusLabelStyle(QLabel& label, const QColor& colour, bool bold)
{
    label.setTextFormat(Qt::PlainText);
    QFont font = label.font();
    font.setBold(bold);
    label.setFont(font);
    QPalette palette = label.palette();
    palette.setColor(QPalette::WindowText, colour);
    label.setPalette(palette);
}

} // namespace bw
