#include "KWBform.h"

#include "gui/support/Help.h"
#include "gui/widgets/WindowPlacement.h"
#include "support/Desktop.h"

#include <QCloseEvent>
#include <QMouseEvent>
#include <QPainter>

#include <functional>

namespace bw {
namespace {

const QString kNothing = QStringLiteral("–"); // a contact line with nothing true to say

// A label that reports a left click.
class ClickLabel final : public QLabel {
public:
    ClickLabel(const QString& text, QWidget* parent, std::function<void()> onClick) : QLabel(text, parent), m_onClick(std::move(onClick)) {}

protected:
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
            m_onClick();
        QLabel::mouseReleaseEvent(event);
    }

private:
    std::function<void()> m_onClick;
};

QGroupBox* contactBox(QWidget* parent, const char* name, const QString& caption, QRect geometry, QColor captionColour)
{
    auto* box = new QGroupBox(caption, parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setGeometry(geometry);
    QPalette colours = box->palette();
    colours.setColor(QPalette::WindowText, captionColour);
    box->setPalette(colours);
    return box;
}

QLabel* contactLine(QLabel* label, QGroupBox* box, int line, QColor colour = Qt::black)
{
    label->setParent(box);
    label->setGeometry(10, 17 + 14 * line, box->width() - 20, 14);
    QPalette colours = label->palette();
    colours.setColor(QPalette::WindowText, colour);
    label->setPalette(colours);
    return label;
}

QLabel* contactLine(QGroupBox* box, int line, const QString& text) { return contactLine(new QLabel(text, box), box, line); }

void openContact(const QLabel* label)
{
    // The line's own text is what opens; a line without an address opens nothing.
    const QUrl url = contactUrl(label->text());
    if (!url.isEmpty())
        desktop().open(url);
}

} // namespace

TKWBfrm::TKWBfrm(QWidget* mainWindow)
    : SecondaryWindow(mainWindow, QStringLiteral("TKWBfrm"), QStringLiteral("Bildwiesel"), {190, 279},
                      Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint)
{
    setWindowIcon(QIcon(QStringLiteral(":/bildwiesel-32.png")));
    const QColor red(255, 0, 0);
    const QColor navy(0, 0, 128);

    GroupBox1 = contactBox(this, "GroupBox1", QStringLiteral("Anschrift"), {4, 0, 182, 64}, red);
    contactLine(GroupBox1, 0, QStringLiteral("Bildwiesel-Projekt"));
    contactLine(GroupBox1, 1, kNothing);
    contactLine(GroupBox1, 2, kNothing);
    GroupBox2 = contactBox(this, "GroupBox2", QStringLiteral("Telefon"), {4, 64, 182, 50}, red);
    contactLine(GroupBox2, 0, kNothing);
    contactLine(GroupBox2, 1, kNothing);
    GroupBox3 = contactBox(this, "GroupBox3", QStringLiteral("Fax"), {4, 114, 182, 36}, red);
    contactLine(GroupBox3, 0, kNothing);
    GroupBox4 = contactBox(this, "GroupBox4", QStringLiteral("E-Mail"), {4, 150, 182, 36}, red);
    Label7 = contactLine(new ClickLabel(kNothing, this, [this] { Label7Click(); }), GroupBox4, 0);
    Label7->setObjectName(QStringLiteral("Label7"));
    GroupBox5 = contactBox(this, "GroupBox5", QStringLiteral("Hompage"), {4, 186, 182, 36}, navy);
    Label8 = contactLine(new ClickLabel(kNothing, this, [this] { Label8Click(); }), GroupBox5, 0, Qt::blue);
    Label8->setObjectName(QStringLiteral("Label8"));
    QFont underlined = Label8->font();
    underlined.setUnderline(true);
    Label8->setFont(underlined);

    auto* bottom = new QFrame(this);
    bottom->setObjectName(QStringLiteral("Panel1"));
    bottom->setFrameStyle(QFrame::Panel | QFrame::Raised);
    bottom->setGeometry(0, 222, 190, 57);
    Image1 = new QLabel(bottom);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(12, 12, 32, 32);
    BitBtn1 = new QPushButton(QIcon(QStringLiteral(":/buttons/schliessen.png")), QStringLiteral("&Schließen"), bottom);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(86, 13, 92, 30);
    BitBtn1->setDefault(true);

    for (int n = 0; n < 15; ++n)
        ImageList1.append(QImage(QStringLiteral(":/animation/frame-%1.png").arg(n, 2, 10, QLatin1Char('0'))));
    m_picture = QPixmap(32, 32);
    m_picture.fill(Qt::transparent);
    Image1->setPixmap(m_picture);

    Timer1 = new QTimer(this);
    Timer1->setInterval(kFrameInterval);
    connect(Timer1, &QTimer::timeout, this, &TKWBfrm::Timer1Timer);
    connect(BitBtn1, &QPushButton::clicked, this, &TKWBfrm::BitBtn1Click);
    m_frame = 0; // once, here: showing the window again goes on where it stopped
}

void TKWBfrm::Timer1Timer()
{
    if (ImageList1.isEmpty())
        return;
    {
        // Not cleared first: transparent parts of a frame show the frame before.
        QPainter painter(&m_picture);
        painter.drawImage(0, 0, ImageList1.at(m_frame % ImageList1.size()));
    }
    m_frame = m_frame < ImageList1.size() - 1 ? static_cast<quint8>(m_frame + 1) : quint8(0);
    Image1->setPixmap(m_picture);
    Image1->repaint();
}

void TKWBfrm::BitBtn1Click()
{
    Timer1->stop();
    close();
}

void TKWBfrm::Label7Click() { openContact(Label7); }

void TKWBfrm::Label8Click() { openContact(Label8); }

void TKWBfrm::showEvent(QShowEvent* event)
{
    SecondaryWindow::showEvent(event);
    CenterForm(nullptr, this, 0, 0);
    // Where the desktop does not report the window as active, it still animates while shown.
    Timer1->start();
}

void TKWBfrm::changeEvent(QEvent* event)
{
    SecondaryWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && isActiveWindow() && isVisible())
        Timer1->start();
}

void TKWBfrm::closeEvent(QCloseEvent* event)
{
    // The window manager's close (Alt+F4) does what "Schließen" does.
    Timer1->stop();
    SecondaryWindow::closeEvent(event);
}

void TKWBfrm::hideEvent(QHideEvent* event)
{
    Timer1->stop(); // however the window went away, the animation rests until it is back
    SecondaryWindow::hideEvent(event);
}

} // namespace bw
