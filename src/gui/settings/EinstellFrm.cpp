#include "EinstellFrm.h"

#include "gui/widgets/AppState.h"
#include "gui/widgets/MainWindowAccess.h"
#include "gui/widgets/TextFit.h"
#include "gui/widgets/WindowPlacement.h"
#include "support/Dialogs.h"

#include <QStyle>

#include <algorithm>

namespace bw {

bool isForbiddenBackground(std::uint32_t colour) { return colour == kColourWhite || colour == kColourRed || colour == kColourYellow; }

std::uint32_t fromQColor(const QColor& colour)
{
    return static_cast<std::uint32_t>(colour.red()) | (static_cast<std::uint32_t>(colour.green()) << 8)
        | (static_cast<std::uint32_t>(colour.blue()) << 16);
}

TEinstellF::TEinstellF(MainWindowAccess* main, AppState& state)
    : SecondaryWindow(main ? &main->widget() : nullptr, QStringLiteral("TEinstellF"), QStringLiteral("Einstellungen"), {256, 109},
                      Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
    , BitBtn1(new QPushButton(QStringLiteral("&Hintergrundfarbe auswählen"), this))
    , BitBtn3(new QPushButton(QStringLiteral("Neutralfarbe"), this))
    , BitBtn2(new QPushButton(QStringLiteral("OK"), this))
    , Label1(new QLabel(QStringLiteral("Kopierformat"), this))
    , ComboBox1(new QComboBox(this))
    , m_main(main)
    , m_state(state)
{
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
    BitBtn1->setGeometry(8, 8, 160, 30);
    BitBtn3->setObjectName(QStringLiteral("BitBtn3"));
    BitBtn3->setGeometry(172, 8, 76, 30);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(8, 71, 75, 30);
    // Where the desktop's font is wider than the design's, the buttons and the window grow.
    const int grown1 = growToFitText(*BitBtn1);
    BitBtn3->move(BitBtn3->x() + grown1, BitBtn3->y());
    const int grown3 = growToFitText(*BitBtn3);
    growToFitText(*BitBtn2);
    // The copy format sits between the colour buttons and OK, as wide as the buttons above.
    Label1->setObjectName(QStringLiteral("Label1"));
    ComboBox1->setObjectName(QStringLiteral("ComboBox1"));
    ComboBox1->addItems({QStringLiteral("16 Farben (klassisch)"), QStringLiteral("Original"), QStringLiteral("PNG")});
    Label1->setBuddy(ComboBox1);
    const int labelWidth = Label1->sizeHint().width();
    const int comboHeight = std::min(ComboBox1->sizeHint().height(), 26);
    const int comboY = 42 + (26 - comboHeight) / 2;
    Label1->setGeometry(8, comboY, labelWidth, comboHeight);
    const int comboX = 8 + labelWidth + 6;
    const int comboWidth = std::max(BitBtn3->geometry().right() - comboX + 1, ComboBox1->sizeHint().width());
    ComboBox1->setGeometry(comboX, comboY, comboWidth, comboHeight);
    const int grownCombo = std::max(0, comboX + comboWidth + 8 - (width() + grown1 + grown3));
    setFixedSize(width() + grown1 + grown3 + grownCombo, height());
    connect(ComboBox1, &QComboBox::currentIndexChanged, this, [this](int index) { m_state.copyFormat = static_cast<ExportFormat>(index); });
    BitBtn2->setDefault(true);
    // Enter presses OK, whichever button has the focus.
    BitBtn1->setAutoDefault(false);
    BitBtn3->setAutoDefault(false);
    connect(BitBtn1, &QPushButton::clicked, this, &TEinstellF::BitBtn1Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TEinstellF::BitBtn3Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TEinstellF::BitBtn2Click);
}

void TEinstellF::showEvent(QShowEvent* event)
{
    SecondaryWindow::showEvent(event);
    CenterForm(parentWidget(), this, 0, 0);
    ComboBox1->setCurrentIndex(static_cast<int>(m_state.copyFormat));
}

void TEinstellF::BitBtn1Click()
{
    const std::optional<QColor> chosen = dialogs().chooseColour(lastDialogColour);
    if (!chosen)
        return;
    lastDialogColour = *chosen;
    const std::uint32_t colour = fromQColor(*chosen);
    if (isForbiddenBackground(colour)) {
        dialogs().message(QStringLiteral("Die Farbe darf nicht Rot,Weiß oder Gelb sein ."), kAppTitle);
        return;
    }
    m_state.backgroundColour = colour;
    if (m_main)
        m_main->repaintPage();
}

void TEinstellF::BitBtn3Click()
{
    m_state.backgroundColour = kColourButtonFace;
    if (m_main)
        m_main->repaintPage();
}

void TEinstellF::BitBtn2Click() { accept(); }

} // namespace bw
