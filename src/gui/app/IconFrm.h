#pragma once

#include "gui/widgets/DirectoryWidgets.h"
#include "gui/widgets/MainWindowAccess.h"
#include "gui/widgets/PageImage.h"
#include "gui/widgets/Panel.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QListWidget>
#include <QMainWindow>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>

#include <memory>

namespace bw {

// The main window: the page of icons, the directory controls, the status lines and the menus.
class TIconF : public QMainWindow, public MainWindowAccess {
    Q_OBJECT
public:
    explicit TIconF(QWidget* parent = nullptr);
    ~TIconF() override;

    // What the other windows and the commands may ask of the main window.
    QWidget& widget() override { return *this; }
    void repaintPage() override;
    void showPageAtScrollBar() override { ScrollBar1Change(); }
    void setIconCountPanel(const QString& text) override;
    void setCopyDirectoryPanel(const QString& text) override;
    QStringList checkedFileTypes() const override;
    FileListBox& fileList() override { return *FileListBox1; }
    DirectoryListBox& directoryList() override { return *DirectoryListBox1; }
    IndexerHost& pageIndexer() override;
    void keepSplashInFront() override;

    // Controls, named as the rest of the program knows them.
    Panel* Panel4; // path line
    Panel* Panel1; // directory controls
    DriveComboBox* DriveComboBox1;
    DirectoryListBox* DirectoryListBox1;
    FileListBox* FileListBox1;
    QGroupBox* GroupBox1;
    QPushButton* BitBtn1;       // "Einlesen"
    QCheckBox* CheckBox4;       // automatic reading
    QListWidget* CheckListBox1; // file types
    Panel* Panel2;              // holds the page
    PageImage* Bild;
    Panel* Panel3; // range panel
    Panel* Panel5; // number panel
    QScrollBar* ScrollBar1;
    StatusPanels* StatusBar1;
    StatusPanels* StatusBar2;
    QMenu* PopupMenu1;

    // Menu entries (main menu, then popup menu).
    QAction* Einstellungen1;
    QAction* Beschreibung1;
    QAction* Info1;
    QAction* KWB1;
    QAction* Ende1;
    QAction* Kopieren1; // "Vergleichen"
    QAction* Suchergebnis1;
    QAction* AlleKopieren1;
    QAction* AlleLschen1;
    QAction* Nummerieren1;
    QAction* Checken1;
    QAction* SammlungSpeichern1;
    QAction* SammlungOeffnen1;
    QAction* SammlungAuffrischen1;
    QAction* BmpAlsIco1;
    QAction* AlleLaufwerkelesen1;
    QAction* Kopieren2; // "als Icon Kopieren "
    QAction* AlsBMPKopieren1;
    QAction* OriginalKopieren1; // the icon as stored
    QAction* AlsPNGKopieren1;
    QAction* Zwischenablage1; // "In die Zwischenablage", also Ctrl+C on the page
    QAction* VerweisKopieren1;
    QAction* Loeschen;
    QAction* AugewhlteLschen1;
    QAction* AusgewhlteKopieren1;
    QAction* Oginalgre1;
    QAction* Seitemarkieren1;
    QAction* SeiteDemarkieren1;

    // Flags of the first change notifications of the directory controls.
    bool directoryChangeSeen = false;
    bool driveChangeSeen = false;

    // Places every control by its alignment in the client area.
    void layoutControls();
    // The first showing runs start-up, which puts the window on the screen once its controls are
    // filled, under the splash.
    void setVisible(bool visible) override;

public slots:
    void BitBtn1Click();
    void CheckBox4Click();
    void DirectoryListBox1Change();
    void DriveComboBox1Change();
    void FileListBox1Click();
    void FileListBox1Change();
    void Ende1Click();
    void FormResize();
    void ScrollBar1Change();
    void BildMouseMove(QPoint position);
    void BildMouseDown(Qt::MouseButton button, QPoint position);
    // A drag out of the page: the cell pressed at `from`, or every marked one if it is marked.
    // Gives what the target did (nothing on the program's own windows).
    Qt::DropAction BildDragStart(QPoint from);
    void Seitemarkieren1Click();
    void SeiteDemarkieren1Click();
    void Oginalgre1Click();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    // Enter presses the default button "Einlesen" when the control with the focus left it unused.
    void keyPressEvent(QKeyEvent* event) override;

private:
    void buildMenus();
    void FormCreate();
    QPoint m_hover {0, 0}; // origin of the cell with the white hover frame
    std::unique_ptr<IndexerHost> m_pageIndexer;
    bool m_shown = false;
    bool m_closed = false;
};

} // namespace bw
