#include "KopierpfadFrm.h"

#include "gui/widgets/MainWindowAccess.h"
#include "gui/widgets/Panel.h"
#include "gui/widgets/TextFit.h"
#include "support/Funky.h"

#include <QSignalBlocker>
#include <QStyle>

#include <filesystem>

namespace bw {

TKopierpfadF::TKopierpfadF(MainWindowAccess* main)
    : SecondaryWindow(main ? &main->widget() : nullptr, QStringLiteral("TKopierpfadF"), QStringLiteral("Kopierverzeichnis"), {313, 202},
                      Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint)
    , Label1(new QLabel(this))
    , DriveComboBox1(new DriveComboBox(this, QStringLiteral("DriveComboBox1")))
    , DirectoryListBox1(new DirectoryListBox(this, QStringLiteral("DirectoryListBox1")))
    , FileListBox1(new FileListBox(this, QStringLiteral("FileListBox1"), QStringLiteral("*")))
    , BitBtn1(new QPushButton(QStringLiteral("OK"), this))
    , BitBtn2(new QPushButton(QStringLiteral("Abbrechen"), this))
    , m_main(main)
{
    keepWidthForCaption(); // the file count lengthens the caption
    Label1->setObjectName(QStringLiteral("Label1"));
    setStatusLabelStyle(*Label1, Qt::blue, false);
    Label1->setGeometry(4, 2, 305, 16);
    DriveComboBox1->setGeometry(0, 20, 157, 21);
    DirectoryListBox1->setGeometry(0, 43, 157, 133);
    FileListBox1->setGeometry(156, 20, 157, 153);
    FileListBox1->setFocusPolicy(Qt::NoFocus); // it only shows what the directory holds
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    BitBtn1->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
    BitBtn1->setGeometry(58, 177, 96, 23);
    BitBtn1->setDefault(true);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
    BitBtn2->setGeometry(158, 177, 96, 23);
    growToFitText(*BitBtn1);
    BitBtn2->move(BitBtn1->geometry().right() + 5, 177);
    growToFitText(*BitBtn2);
    connect(DriveComboBox1, &DriveComboBox::changed, this, &TKopierpfadF::DriveComboBox1Change);
    connect(DirectoryListBox1, &DirectoryListBox::changed, this, &TKopierpfadF::DirectoryListBox1Change);
    connect(BitBtn1, &QPushButton::clicked, this, &TKopierpfadF::BitBtn1Click);
    connect(BitBtn2, &QPushButton::clicked, this, &TKopierpfadF::BitBtn2Click);
}

void TKopierpfadF::showEvent(QShowEvent* event)
{
    SecondaryWindow::showEvent(event);
    // The bottom-left corner lies on the main window's bottom-left corner.
    if (m_main) {
        const QRect mainFrame = m_main->widget().frameGeometry();
        move(mainFrame.left(), mainFrame.top() + mainFrame.height() - frameGeometry().height());
    }
    // Every opening starts from the directory it is given, listed as it is now; what was browsed
    // before is forgotten. A directory removed meanwhile cannot be chosen: its nearest ancestor is
    // shown.
    std::filesystem::path shown = m_from;
    std::error_code ec;
    while (!std::filesystem::is_directory(shown, ec) && shown.has_relative_path())
        shown = shown.parent_path();
    const std::string copyDirectory = shown.string();
    {
        const QSignalBlocker driveQuiet(DriveComboBox1);
        const QSignalBlocker directoryQuiet(DirectoryListBox1);
        DriveComboBox1->setDrive(copyDirectory);
        DirectoryListBox1->setDirectory(copyDirectory);
    }
    DirectoryListBox1Change();
    DirectoryListBox1->setFocus();
}

void TKopierpfadF::DriveComboBox1Change() { DirectoryListBox1->setDrive(DriveComboBox1->drive()); }

void TKopierpfadF::DirectoryListBox1Change()
{
    const std::string& directory = DirectoryListBox1->directory();
    FileListBox1->setDirectory(directory);
    Label1->setText(pathText(directory));
    setWindowTitle(QStringLiteral("Kopierverzeichnis hat ") + QString::number(FileListBox1->count()) + QStringLiteral(" Dateien"));
}

std::optional<std::string> TKopierpfadF::choose(const std::string& from)
{
    m_from = from;
    if (exec() != QDialog::Accepted)
        return std::nullopt;
    return withTrailingSlash(DirectoryListBox1->directory());
}

void TKopierpfadF::BitBtn1Click() { accept(); }

void TKopierpfadF::BitBtn2Click() { reject(); }

} // namespace bw
