#include "StartFrm.h"

#include "gui/support/Sound.h"
#include "gui/widgets/Panel.h"
#include "gui/widgets/SecondaryWindow.h"
#include "support/Funky.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

namespace bw {

TStartF::TStartF(QWidget* parent) : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("TStartF"));
    setFixedSize(402, 118);

    auto* top = new Panel(this, QStringLiteral("Panel1"), QStringLiteral("Bildwiesel"), Qt::AlignRight, Panel::Bevel::Lowered, 3);
    top->setGeometry(0, 0, 402, 93);
    QFont title(QStringLiteral("Arial"));
    title.setStyleHint(QFont::SansSerif);
    title.setPixelSize(64);
    title.setBold(true);
    title.setItalic(true);
    top->label()->setFont(title);
    QPalette red = top->label()->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    top->label()->setPalette(red);
    auto* icon = new QLabel(top);
    icon->setObjectName(QStringLiteral("Image1"));
    icon->setGeometry(12, 26, 32, 32);
    icon->setPixmap(QPixmap(QStringLiteral(":/bildwiesel-32.png")));

    auto* bottom = new Panel(this, QStringLiteral("Panel2"), QStringLiteral("Bitte warten, lese Verzeichnis . . ."), Qt::AlignCenter,
                             Panel::Bevel::Raised, 3);
    bottom->setGeometry(0, 93, 402, 26);
    bottom->setAutoFillBackground(true);
    QPalette dark = bottom->palette();
    dark.setColor(QPalette::Window, QColor(0, 0, 128));
    bottom->setPalette(dark);
    QFont note = font();
    note.setPixelSize(13);
    note.setBold(true);
    bottom->label()->setFont(note);
    QPalette white = bottom->label()->palette();
    white.setColor(QPalette::WindowText, Qt::white);
    bottom->label()->setPalette(white);

    const QScreen* screen = QGuiApplication::primaryScreen();
    move(centeredPosition({0, 0}, screen ? screen->size() : size(), size(), 0, 0));
}

void TStartF::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    PumpMessages();
    PlayWav(QStringLiteral("Einschlag"), 0);
}

void TStartF::closeEvent(QCloseEvent* event)
{
    // Start-up alone closes the splash; a close request of the window manager changes nothing.
    if (isCloseRequest(*event)) {
        event->ignore();
        return;
    }
    // The splash stays one more second; the program does not react meanwhile.
    WaitSeconds(true, 1.0f);
    event->accept();
}

} // namespace bw
