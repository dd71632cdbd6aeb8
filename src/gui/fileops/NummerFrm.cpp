#include "NummerFrm.h"

#include "fileops/SourceFiles.h"
#include "gui/catalogue/ReadCommands.h"
#include "gui/support/Sound.h"
#include "gui/widgets/AppState.h"
#include "gui/widgets/DirectoryWidgets.h"
#include "gui/widgets/MainWindowAccess.h"
#include "gui/widgets/WindowPlacement.h"
#include "support/Dialogs.h"
#include "support/Funky.h"
#include "support/Pacer.h"

#include <QFile>
#include <QFontDatabase>

#include <algorithm>

namespace bw {

TNummerF::TNummerF(MainWindowAccess* main, TEinleseF* progress, AppState& state)
    : SecondaryWindow(main ? &main->widget() : nullptr, QStringLiteral("TNummerF"), QStringLiteral("Nummerrieren"), {132, 112},
                      Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
    , Edit1(new QLineEdit(QStringLiteral("AbC"), this))
    , Label1(new QLabel(QStringLiteral("Texteingabe"), this))
    , BitBtn1(new QPushButton(QStringLiteral("und Los"), this))
    , BitBtn2(new QPushButton(QStringLiteral("Abbrechen"), this))
    , Label2(new QLabel(QStringLiteral("Umbenannt werden die Icons im Aktuellen Verzeichnis."), this))
    , m_main(main)
    , m_progress(progress)
    , m_state(state)
{
    // Only the main window waits: the progress window of the read at the end stays usable.
    setWindowModality(Qt::WindowModal);
    takeFocusWhenShown();
    Edit1->setObjectName(QStringLiteral("Edit1"));
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setBold(true);
    Edit1->setFont(fixed);
    QPalette red = Edit1->palette();
    red.setColor(QPalette::Text, Qt::red);
    Edit1->setPalette(red);
    Edit1->setToolTip(QStringLiteral("bis zu 3 Buchstaben die den Icons vorangestellt sind"));
    Edit1->setGeometry(4, 6, 48, 22);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setGeometry(56, 10, 74, 14);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setGeometry(4, 32, 124, 25);
    BitBtn1->setDefault(true);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(4, 59, 124, 23);
    BitBtn2->hide();
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setGeometry(2, 84, 128, 27);
    Label2->setAlignment(Qt::AlignCenter);
    Label2->setWordWrap(true);
    // White text needs a dark ground to be read, as in the comparison window.
    Label2->setStyleSheet(QStringLiteral("QLabel { color: white; background-color: #406080; padding: 2px; }"));
    connect(BitBtn1, &QPushButton::clicked, this, &TNummerF::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TNummerF::BitBtn2Click);
}

void TNummerF::showEvent(QShowEvent* event)
{
    SecondaryWindow::showEvent(event);
    // The window may have grown for its caption; the buttons and the text use the whole width, and
    // the window grows downwards until the wrapped text shows whole.
    const int inner = width() - 8;
    BitBtn1->setGeometry(4, 32, inner, 25);
    BitBtn2->setGeometry(4, 59, inner, 23);
    const int textHeight = std::max(27, Label2->heightForWidth(inner));
    Label2->setGeometry(4, 84, inner, textHeight);
    if (height() < 84 + textHeight + 2)
        setFixedHeight(84 + textHeight + 2);
    CenterForm(m_main ? &m_main->widget() : nullptr, this, 0, 0);
    BitBtn2->hide();
}

void TNummerF::BitBtn2Click() { renumberCancel = true; }

void TNummerF::BitBtn1Click()
{
    if (m_running || !m_main || !m_progress)
        return;
    const QByteArray prefixBytes = QFile::encodeName(Edit1->text());
    const std::string prefix(prefixBytes.constData(), static_cast<std::size_t>(prefixBytes.size()));
    if (prefix.find('/') != std::string::npos || prefix.find('\0') != std::string::npos) {
        dialogs().message(QStringLiteral("\"") + Edit1->text()
                              + QStringLiteral("\" kann nicht Teil eines Dateinamens sein, es wurde nichts umbenannt."),
                          kAppTitle);
        return;
    }
    m_running = true;
    BitBtn2->show();
    renumberCancel = false;

    Pacer pacer;
    const RenumberCounts counts = renumberFiles(
        m_state.readDirectory, m_main->fileList().names(), prefix,
        [&](std::size_t left) {
            // The countdown shows its latest value at the next real pump, at most every 20 ms.
            pacer.pump([&] { BitBtn1->setText(QStringLiteral("Finale: ") + QString::number(left)); });
        },
        [this] { return renumberCancel; });
    QStringList problems;
    if (counts.vanished > 0)
        problems << QString::number(counts.vanished) + QStringLiteral(" konnten nicht umbenannt werden, Dateien existierten nicht !");
    if (counts.taken > 0)
        problems << QString::number(counts.taken) + QStringLiteral(" konnten nicht umbenannt werden, der neue Name ist schon vergeben !");
    if (counts.refused > 0)
        problems << QString::number(counts.refused) + QStringLiteral(" konnten nicht umbenannt werden, das Dateisystem hat es abgelehnt !");
    if (!problems.isEmpty())
        dialogs().message(problems.join(kLineBreak), kAppTitle);
    m_main->fileList().refresh();
    readTree(m_state, *m_main, *m_progress);
    BitBtn1->setText(QStringLiteral("und LOS"));
    PlayWav(QStringLiteral("Fertig"), 0);
    m_running = false;
    close();
}

} // namespace bw
