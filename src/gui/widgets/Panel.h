#pragma once

#include <QFrame>
#include <QLabel>
#include <QList>

namespace bw {

// A panel with a caption, like the classic toolkit panel: a bevelled frame whose text sits at
// one side or in the middle.
class Panel : public QFrame {
    Q_OBJECT
public:
    enum class Bevel { None, Raised, Lowered };
    explicit Panel(QWidget* parent, const QString& name, const QString& text = {}, Qt::Alignment alignment = Qt::AlignCenter,
                   Bevel bevel = Bevel::Raised, int bevelWidth = 1);

    QString text() const { return m_label->text(); }
    void setText(const QString& text) { m_label->setText(text); }
    QLabel* label() const { return m_label; }
    // The area inside the bevel, where aligned children go.
    QRect innerRect() const { return contentsRect(); }

private:
    QLabel* m_label;
};

// A status bar of fixed-width panels; the last panel takes the rest of the width.
class StatusPanels : public QFrame {
    Q_OBJECT
public:
    StatusPanels(QWidget* parent, const QString& name, const QList<int>& widths);
    QLabel* panel(int i) const { return m_panels.at(i); }
    QString panelText(int i) const { return m_panels.at(i)->text(); }
    void setPanelText(int i, const QString& text) { m_panels.at(i)->setText(text); }
    // Widens panel i, if need be, so that its present text shows whole.
    void fitPanelToText(int i);

signals:
    void clicked();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    QList<QLabel*> m_panels;
    QList<int> m_widths;
};

// The status line of a progress or report window: plain text, bold when asked, in a colour.
void setStatusLabelStyle(QLabel& label, const QColor& colour, bool bold);

} // namespace bw
