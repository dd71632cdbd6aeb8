#include "MeldungFrm.h"

#include "gui/widgets/Panel.h"
#include "gui/widgets/WindowPlacement.h"
#include "support/Funky.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QStyle>

namespace bw {

TMeldungF::TMeldungF(QWidget* mainWindow)
    // No parent: the main window is disabled while this window is shown, and a disabled parent
    // would disable "Abbrechen" with it.
    : SecondaryWindow(nullptr, QStringLiteral("TMeldungF"), QStringLiteral("Kopieren"), {565, 248}, Qt::Dialog, true)
    , Label1(new QLabel(QStringLiteral("Label1"), this))
    , ListBox1(new QListWidget(this))
    , BitBtn1(new QPushButton(QStringLiteral("Abbrechen"), this))
    , m_main(mainWindow)
{
    setWindowIcon(QIcon(QStringLiteral(":/bildwiesel-32.png")));
    Label1->setObjectName(QStringLiteral("Label1"));
    setStatusLabelStyle(*Label1, Qt::blue, true);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setUniformItemSizes(true); // many thousand lines stay cheap
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    BitBtn1->setDefault(true);
    BitBtn1->setAutoDefault(true);
    connect(BitBtn1, &QPushButton::clicked, this, &TMeldungF::BitBtn1Click);
    // The close box, Alt+F4 and Esc are "Abbrechen".
    setCloseRequest(CloseRequest::Cancel, BitBtn1);
    takeFocusWhenShown();
    resize(565, 248);
}

void TMeldungF::resizeEvent(QResizeEvent* event)
{
    SecondaryWindow::resizeEvent(event);
    const int w = width();
    const int h = height();
    Label1->setGeometry(4, 2, std::max(0, w - 8), 18);
    BitBtn1->setGeometry(std::max(0, w - 105), std::max(0, h - 31), 101, 27);
    ListBox1->setGeometry(2, 22, std::max(0, w - 4), std::max(0, h - 22 - 35));
}

void TMeldungF::addLine(const QString& line) { m_pending.append(line); }

void TMeldungF::flushLines()
{
    if (m_pending.isEmpty())
        return;
    ListBox1->addItems(m_pending);
    m_pending.clear();
}

void TMeldungF::clearList()
{
    m_pending.clear();
    ListBox1->clear();
}

void TMeldungF::refresh(const QString& status)
{
    Label1->setText(status);
    flushLines();
    PumpMessages();
}

void TMeldungF::showEvent(QShowEvent* event)
{
    SecondaryWindow::showEvent(event);
    CenterForm(m_main, this, 0, 0);
    cancelRequested = false;
    if (m_main)
        m_main->setEnabled(false);
}

void TMeldungF::BitBtn1Click()
{
    cancelRequested = true;
    close();
}

void TMeldungF::keyPressEvent(QKeyEvent* event)
{
    // Enter presses "Abbrechen", the default button, wherever the focus is.
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        BitBtn1Click();
        return;
    }
    SecondaryWindow::keyPressEvent(event);
}

void TMeldungF::closeEvent(QCloseEvent* event)
{
    SecondaryWindow::closeEvent(event);
    if (!event->isAccepted())
        return;
    // Closing the window while a loop runs stops the loop as "Abbrechen" does; a loop that cannot
    // be stopped runs on, and the main window waits for its end either way.
    if (loopRunning())
        cancelRequested = true;
    flushLines();
}

void TMeldungF::hideEvent(QHideEvent* event)
{
    SecondaryWindow::hideEvent(event);
    // However the window went away, the main window is usable again unless a loop still runs.
    if (m_main && !loopRunning())
        m_main->setEnabled(true);
}

TMeldungF::Loop::Loop(TMeldungF& window) : m_window(window) { ++m_window.m_loops; }

TMeldungF::Loop::~Loop()
{
    --m_window.m_loops;
    m_window.flushLines();
    if (m_window.m_main && !m_window.loopRunning() && !m_window.isVisible())
        m_window.m_main->setEnabled(true);
}

} // namespace bw
