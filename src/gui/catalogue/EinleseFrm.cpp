#include "EinleseFrm.h"

#include "gui/widgets/MainWindowAccess.h"
#include "gui/widgets/Panel.h"
#include "gui/widgets/WindowPlacement.h"

#include <QCloseEvent>

namespace bw {

TEinleseF::TEinleseF(MainWindowAccess* main)
    // No parent: the main window is disabled while this window is shown, and a disabled parent
    // would disable "Abbrechen" with it.
    : SecondaryWindow(nullptr, QStringLiteral("TEinleseF"), QStringLiteral("Symbole Einlesen"), {413, 310},
                      Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint)
    , Label1(new QLabel(QStringLiteral("-"), this))
    , Label2(new QLabel(QStringLiteral("-"), this))
    , ListBox1(new QListWidget(this))
    , ListBox2(new QListWidget(this))
    , BitBtn1(new QPushButton(QStringLiteral("Abbrechen"), this))
    , Timer1(new QTimer(this))
    , m_main(main)
{
    setWindowIcon(QIcon(QStringLiteral(":/bildwiesel-32.png")));
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->move(5, 4);
    setStatusLabelStyle(*Label1, Qt::blue, true);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    setLabel2(QStringLiteral("-"));
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(2, 20, 409, 201);
    ListBox1->setUniformItemSizes(true); // many thousand lines stay cheap
    ListBox2->setObjectName(QStringLiteral("ListBox2"));
    ListBox2->setGeometry(2, 224, 408, 49);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(308, 280, 101, 27);
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    BitBtn1->setDefault(true);
    BitBtn1->setAutoDefault(true);
    Timer1->setObjectName(QStringLiteral("Timer1"));
    Timer1->setInterval(100);
    Timer1->setSingleShot(false);
    // A close request of the window manager, like Esc, is "Abbrechen".
    setCloseRequest(CloseRequest::Cancel, BitBtn1);
    takeFocusWhenShown();
    connect(BitBtn1, &QPushButton::clicked, this, &TEinleseF::BitBtn1Click);
    connect(Timer1, &QTimer::timeout, this, &TEinleseF::Timer1Timer);
}

void TEinleseF::setLabel2(const QString& text)
{
    Label2->setText(text);
    Label2->adjustSize();
    Label2->move(410 - Label2->width(), 4); // the right edge stays at 410
}

void TEinleseF::showEvent(QShowEvent* event)
{
    SecondaryWindow::showEvent(event);
    QWidget* main = m_main ? &m_main->widget() : nullptr;
    CenterForm(main, this, 0, 0);
    if (main)
        main->setEnabled(false);
}

void TEinleseF::BitBtn1Click()
{
    readCancelled = true;
    Timer1->start();
}

void TEinleseF::Timer1Timer()
{
    Timer1->stop();
    if (readRunning)
        return; // a cancelled read is still unwinding; its end starts the timer again
    if (m_main)
        m_main->widget().setEnabled(true);
    close();
}

void TEinleseF::closeEvent(QCloseEvent* event)
{
    SecondaryWindow::closeEvent(event);
    if (!event->isAccepted())
        return;
    if (m_main) {
        m_main->widget().setEnabled(true);
        m_main->showPageAtScrollBar();
    }
}

} // namespace bw
