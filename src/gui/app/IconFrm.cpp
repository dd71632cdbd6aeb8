#include "IconFrm.h"

#include "catalogue/FileTypes.h"
#include "fileops/BitmapExport.h"
#include "gui/app/MainU.h"
#include "gui/app/StartFrm.h"
#include "gui/catalogue/CollectionCommands.h"
#include "gui/catalogue/EinleseFrm.h"
#include "gui/catalogue/ReadCommands.h"
#include "gui/compare/VergleichFrm.h"
#include "gui/fileops/FileCommands.h"
#include "gui/fileops/IconDrag.h"
#include "gui/fileops/KopierpfadFrm.h"
#include "gui/fileops/MeldungFrm.h"
#include "gui/fileops/NummerFrm.h"
#include "gui/fileops/SourceFileCommands.h"
#include "gui/settings/EinstellFrm.h"
#include "gui/support/Help.h"
#include "gui/view/OrginalFrm.h"
#include "gui/widgets/AppState.h"
#include "gui/widgets/TextFit.h"
#include "icons/IconExtractor.h"
#include "support/Dialogs.h"
#include "support/Funky.h"
#include "view/PagePainter.h"
#include "view/PageState.h"

#include <QCloseEvent>
#include <QDir>
#include <QDrag>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPainter>
#include <QScreen>
#include <QShortcut>

namespace bw {
namespace {

constexpr int kPathLineHeight = 21;
constexpr int kDirectoryPanelWidth = 166;
constexpr int kRangePanelHeight = 24;
constexpr int kStatusBar1Height = 25;
constexpr int kStatusBar2Height = 24;

QPixmap windowIconPixmap() { return QPixmap(QStringLiteral(":/bildwiesel-32.png")); }

} // namespace

TIconF::TIconF(QWidget* parent) : QMainWindow(parent)
{
    setObjectName(QStringLiteral("TIconF"));
    setWindowTitle(QStringLiteral("Bildwiesel"));
    setWindowIcon(QIcon(windowIconPixmap()));
    QFont font = QGuiApplication::font();
    font.setPointSize(8);
    setFont(font);

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    setCentralWidget(client);

    Panel4 = new Panel(client, QStringLiteral("Panel4"), QStringLiteral("-"), Qt::AlignRight);
    QFont bold = font;
    bold.setBold(true);
    Panel4->label()->setFont(bold);

    Panel1 = new Panel(client, QStringLiteral("Panel1"), {}, Qt::AlignCenter, Panel::Bevel::Raised, 2);
    DriveComboBox1 = new DriveComboBox(Panel1, QStringLiteral("DriveComboBox1"));
    DriveComboBox1->setGeometry(7, 6, 154, 19);
    DirectoryListBox1 = new DirectoryListBox(Panel1, QStringLiteral("DirectoryListBox1"));
    DirectoryListBox1->setGeometry(6, 26, 155, 103);
    // The file list's mask of old, then every type the type list holds after the six of old.
    QString fileMask = QStringLiteral("*.ico;*.dll;*.exe;*.icl;*.bmp");
    for (std::size_t t = kOldFileTypeCount; t < kFileTypeCount; ++t)
        fileMask += QLatin1Char(';') + QString::fromStdString(fileTypePattern(t));
    FileListBox1 = new FileListBox(Panel1, QStringLiteral("FileListBox1"), fileMask);
    FileListBox1->setGeometry(6, 130, 155, 69);
    GroupBox1 = new QGroupBox(Panel1);
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(19, 200, 125, 133);
    GroupBox1->setStyleSheet(QStringLiteral("QGroupBox { color: blue; }"));
    BitBtn1 = new QPushButton(QIcon(QStringLiteral(":/buttons/einlesen.png")), QStringLiteral("Einlesen"), GroupBox1);
    BitBtn1->setObjectName(QStringLiteral("BitBtn1"));
    // The button leaves room at its right for the automatic-read box, which sits beside it and so
    // never covers the end of "Einlesen" in a wider desktop font.
    BitBtn1->setGeometry(6, 10, 95, 30);
    BitBtn1->setToolTip(QStringLiteral("Einlesen der Symbole im Verzeichnis + Unterverzeichnissen"));
    BitBtn1->setDefault(true);
    BitBtn1->setAutoDefault(true);
    CheckBox4 = new QCheckBox(GroupBox1);
    CheckBox4->setObjectName(QStringLiteral("CheckBox4"));
    CheckBox4->setGeometry(104, 18, 16, 16);
    CheckBox4->setToolTip(QStringLiteral("Klicken für Automatischen Einlesen"));
    CheckBox4->setChecked(true);
    CheckListBox1 = new QListWidget(GroupBox1);
    CheckListBox1->setObjectName(QStringLiteral("CheckListBox1"));
    CheckListBox1->setGeometry(12, 45, 101, 83);

    Panel2 = new Panel(client, QStringLiteral("Panel2"), {}, Qt::AlignCenter, Panel::Bevel::Lowered, 2);
    Bild = new PageImage(Panel2, QStringLiteral("Bild"));

    Panel3 = new Panel(client, QStringLiteral("Panel3"), QStringLiteral("00000 bis 00000"), Qt::AlignLeft, Panel::Bevel::None);
    QPalette blueText = Panel3->label()->palette();
    blueText.setColor(QPalette::WindowText, Qt::blue);
    Panel3->label()->setPalette(blueText);
    Panel5 = new Panel(Panel3, QStringLiteral("Panel5"), QStringLiteral("Nr: 1000000"), Qt::AlignCenter, Panel::Bevel::Lowered);
    Panel5->setGeometry(398, 3, 66, 19);
    ScrollBar1 = new QScrollBar(Qt::Horizontal, Panel3);
    ScrollBar1->setObjectName(QStringLiteral("ScrollBar1"));
    ScrollBar1->setMinimum(1);
    ScrollBar1->setValue(1);

    StatusBar1 = new StatusPanels(client, QStringLiteral("StatusBar1"), {422, 50});
    StatusBar1->panel(1)->setAlignment(Qt::AlignCenter);
    StatusBar2 = new StatusPanels(client, QStringLiteral("StatusBar2"), {100, 50});
    QPalette fuchsia = StatusBar2->palette();
    fuchsia.setColor(QPalette::Window, QColor(255, 0, 255));
    StatusBar2->setPalette(fuchsia);
    StatusBar2->panel(0)->setFrameStyle(QFrame::Panel | QFrame::Raised);
    StatusBar2->setPanelText(0, QStringLiteral("Kopierverzeichnis"));
    StatusBar2->fitPanelToText(0);
    // The number panel grows to the left, away from the scroll bar, if the longest number it shows
    // ("  Nr: 1000000") needs it.
    const int numberMissing = textWidthNeeded(*Panel5->label(), QStringLiteral("  Nr: ") + QString::number(Catalogue::kDefaultCapacity))
        + 2 * Panel5->frameWidth() - Panel5->width();
    if (numberMissing > 0)
        Panel5->setGeometry(Panel5->geometry().adjusted(-numberMissing, 0, 0, 0));

    buildMenus();

    // The directory controls start at the working directory; only later changes are reported.
    const std::string startDirectory = withTrailingSlash(QFile::encodeName(QDir::currentPath()).toStdString());
    DriveComboBox1->setDrive(startDirectory);
    DirectoryListBox1->setDirectory(startDirectory);
    FileListBox1->setDirectory(startDirectory);

    connect(BitBtn1, &QPushButton::clicked, this, &TIconF::BitBtn1Click);
    connect(CheckBox4, &QCheckBox::toggled, this, &TIconF::CheckBox4Click);
    connect(DirectoryListBox1, &DirectoryListBox::changed, this, &TIconF::DirectoryListBox1Change);
    connect(DriveComboBox1, &DriveComboBox::changed, this, &TIconF::DriveComboBox1Change);
    connect(FileListBox1, &FileListBox::fileClicked, this, &TIconF::FileListBox1Click);
    connect(FileListBox1, &FileListBox::changed, this, &TIconF::FileListBox1Change);
    connect(ScrollBar1, &QScrollBar::valueChanged, this, &TIconF::ScrollBar1Change);
    connect(Bild, &PageImage::mouseMoved, this, &TIconF::BildMouseMove);
    connect(Bild, &PageImage::mousePressed, this, &TIconF::BildMouseDown);
    connect(Bild, &PageImage::dragStarted, this, &TIconF::BildDragStart);
    connect(Seitemarkieren1, &QAction::triggered, this, &TIconF::Seitemarkieren1Click);
    connect(SeiteDemarkieren1, &QAction::triggered, this, &TIconF::SeiteDemarkieren1Click);
    connect(Oginalgre1, &QAction::triggered, this, &TIconF::Oginalgre1Click);
    connect(StatusBar2, &StatusPanels::clicked, this, [this] { chooseCopyDirectory(appState(), *windows().KopierpfadF, *this); });
    // The wheel moves the page by rows, PageUp/PageDown by the scroll bar's page step, Home/End to
    // the first and the last page: all through the scroll bar, whose change event repaints.
    connect(Bild, &PageImage::wheelTurned, this,
            [this](int notches) { ScrollBar1->setValue(ScrollBar1->value() + notches * pageState().cellsAcross); });
    connect(Bild, &PageImage::pageKeyPressed, this, [this](QAbstractSlider::SliderAction action) { ScrollBar1->triggerAction(action); });
    setMinimumSize(kMinWindowWidth, kMinWindowHeight);

    resize(640, 481);
    Bild->setFocus(); // keys must never switch the volume by surprise
    FormCreate();
    DriveComboBox1->reportInitialDrive();
}

void TIconF::buildMenus()
{
    auto action = [this](QMenu* menu, const char* name, const QString& caption) {
        QAction* a = menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        return a;
    };
    QMenuBar* bar = menuBar();
    bar->setObjectName(QStringLiteral("MainMenu1"));
    QMenu* programm = bar->addMenu(QStringLiteral("&Programm"));
    Einstellungen1 = action(programm, "Einstellungen1", QStringLiteral("Einstellungen"));
    Beschreibung1 = action(programm, "Beschreibung1", QStringLiteral("Beschreibung"));
    Info1 = action(programm, "Info1", QStringLiteral("&Info"));
    KWB1 = action(programm, "KWB1", QStringLiteral("Über den Hersteller"));
    Ende1 = action(programm, "Ende1", QStringLiteral("&Ende"));
    QMenu* icons = bar->addMenu(QStringLiteral("Icons"));
    Kopieren1 = action(icons, "Kopieren1", QStringLiteral("Vergleichen"));
    Suchergebnis1 = action(icons, "Suchergebnis1", QStringLiteral("Suchergebnis"));
    AlleKopieren1 = action(icons, "AlleKopieren1", QStringLiteral("Alle Kopieren"));
    AlleLschen1 = action(icons, "AlleLschen1", QStringLiteral("Alle Löschen"));
    Nummerieren1 = action(icons, "Nummerieren1", QStringLiteral("Nummerieren"));
    Checken1 = action(icons, "Checken", QStringLiteral("Checken"));
    icons->addSeparator();
    SammlungSpeichern1 = action(icons, "SammlungSpeichern1", QStringLiteral("Sammlung speichern …"));
    SammlungOeffnen1 = action(icons, "SammlungOeffnen1", QStringLiteral("Sammlung öffnen …"));
    SammlungAuffrischen1 = action(icons, "SammlungAuffrischen1", QStringLiteral("Sammlung auffrischen"));
    QMenu* extra = bar->addMenu(QStringLiteral("Extra"));
    BmpAlsIco1 = action(extra, "BmpAlsIco1", QStringLiteral("Bmp Als Ico"));
    AlleLaufwerkelesen1 = action(extra, "AlleLaufwerkelesen1", QStringLiteral("Alle Laufwerke lesen"));

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    Kopieren2 = action(PopupMenu1, "Kopieren2", QStringLiteral("als Icon Kopieren "));
    AlsBMPKopieren1 = action(PopupMenu1, "AlsBMPKopieren1", QStringLiteral("Als BMP Kopieren"));
    OriginalKopieren1 = action(PopupMenu1, "OriginalKopieren1", QStringLiteral("Original Kopieren"));
    AlsPNGKopieren1 = action(PopupMenu1, "AlsPNGKopieren1", QStringLiteral("Als PNG Kopieren"));
    Zwischenablage1 = action(PopupMenu1, "Zwischenablage1", QStringLiteral("In die Zwischenablage"));
    // The menu shows the key; the key itself works where the page has the focus.
    Zwischenablage1->setShortcut(QKeySequence::Copy);
    Zwischenablage1->setShortcutContext(Qt::WidgetShortcut);
    auto* copyKey = new QShortcut(QKeySequence::Copy, Bild, nullptr, nullptr, Qt::WidgetShortcut);
    connect(copyKey, &QShortcut::activated, this,
            [] { copyPointerEntryToClipboard(appState(), pageState().pointerEntry, *windows().MeldungF); });
    VerweisKopieren1 = action(PopupMenu1, "VerweisKopieren1", QStringLiteral("Verweis kopieren"));
    Loeschen = action(PopupMenu1, "Loeschen", QStringLiteral("Löschen"));
    AugewhlteLschen1 = action(PopupMenu1, "AugewhlteLschen1", QStringLiteral("Ausgewählte Löschen"));
    AusgewhlteKopieren1 = action(PopupMenu1, "AusgewhlteKopieren1", QStringLiteral("Ausgewählte Kopieren"));
    Oginalgre1 = action(PopupMenu1, "Oginalgre1", QStringLiteral("Oginalgröße"));
    Seitemarkieren1 = action(PopupMenu1, "Seitemarkieren1", QStringLiteral("Seite Markieren"));
    SeiteDemarkieren1 = action(PopupMenu1, "SeiteDemarkieren1", QStringLiteral("Seite Demarkieren"));

    connect(Ende1, &QAction::triggered, this, &TIconF::Ende1Click);
    connect(Einstellungen1, &QAction::triggered, this, [this] { windows().EinstellF->exec(); });
    connect(Suchergebnis1, &QAction::triggered, this, [] { showSearchResult(*windows().EinleseF); });
    connect(AlleLaufwerkelesen1, &QAction::triggered, this, [this] { readAllDrives(appState(), *this, *windows().EinleseF); });
    for (const auto& [copy, format] :
         {std::pair {Kopieren2, ExportFormat::Icon}, std::pair {AlsBMPKopieren1, ExportFormat::Bitmap},
          std::pair {OriginalKopieren1, ExportFormat::Original}, std::pair {AlsPNGKopieren1, ExportFormat::Png}})
        connect(copy, &QAction::triggered, this,
                [format] { copyPointerEntry(appState(), pageState().pointerEntry, *windows().MeldungF, format); });
    connect(Zwischenablage1, &QAction::triggered, this,
            [] { copyPointerEntryToClipboard(appState(), pageState().pointerEntry, *windows().MeldungF); });
    connect(VerweisKopieren1, &QAction::triggered, this,
            [] { copyPointerReferenceToClipboard(appState(), pageState().pointerEntry, *windows().MeldungF); });
    connect(AusgewhlteKopieren1, &QAction::triggered, this, [this] { copyMarkedEntries(appState(), *windows().MeldungF, *this); });
    connect(AlleKopieren1, &QAction::triggered, this, [this] { copyAllEntries(appState(), *windows().MeldungF, *this); });
    connect(BmpAlsIco1, &QAction::triggered, this, [] { bitmapToIcon(); });
    connect(Loeschen, &QAction::triggered, this,
            [this] { runCommand([this] { deletePointerEntry(appState(), pageState().pointerEntry, *this); }); });
    connect(AugewhlteLschen1, &QAction::triggered, this,
            [this] { runCommand([this] { deleteMarkedEntries(appState(), *windows().MeldungF, *this); }); });
    connect(AlleLschen1, &QAction::triggered, this,
            [this] { runCommand([this] { deleteAllEntries(appState(), *windows().MeldungF, *this, *windows().EinleseF); }); });
    connect(Nummerieren1, &QAction::triggered, this,
            [this] { runCommand([this] { renumberIcons(appState(), *FileListBox1, *windows().NummerF); }); });
    connect(Checken1, &QAction::triggered, this, [this] { runCommand([this] { checkEntries(appState(), *windows().MeldungF, *this); }); });
    connect(Beschreibung1, &QAction::triggered, this, [] { runCommand(Beschreibung1Click); });
    connect(Info1, &QAction::triggered, this, [] { runCommand(Info1Click); });
    connect(KWB1, &QAction::triggered, this, [] { windows().KWBfrm->exec(); });
    connect(Kopieren1, &QAction::triggered, this, [] { compareIcons(appState(), *windows().VergleichF); });
    connect(SammlungSpeichern1, &QAction::triggered, this, [this] { saveCollectionAs(appState(), *this); });
    connect(SammlungOeffnen1, &QAction::triggered, this, [this] { openCollectionFile(appState(), *this, *windows().EinleseF); });
    connect(SammlungAuffrischen1, &QAction::triggered, this, [this] { refreshCollection(appState(), *this, *windows().EinleseF); });
}

void TIconF::FormCreate()
{
    const QScreen* screen = QGuiApplication::primaryScreen();
    const QSize screenSize = screen ? screen->size() : QSize(640, 481);
    move(centeredPosition({0, 0}, screenSize, frameGeometry().size(), 0, 0));
}

void TIconF::layoutControls()
{
    QWidget* client = centralWidget();
    const int w = client->width();
    const int h = client->height();
    Panel4->setGeometry(0, 0, w, kPathLineHeight);
    StatusBar2->setGeometry(0, h - kStatusBar2Height, w, kStatusBar2Height);
    StatusBar1->setGeometry(0, h - kStatusBar2Height - kStatusBar1Height, w, kStatusBar1Height);
    const int rangeTop = h - kStatusBar2Height - kStatusBar1Height - kRangePanelHeight;
    Panel3->setGeometry(0, rangeTop, w, kRangePanelHeight);
    // The scroll bar keeps its distance to the panel's right edge.
    ScrollBar1->setGeometry(w - 166, 0, 165, 25);
    const int middleHeight = std::max(0, rangeTop - kPathLineHeight);
    Panel1->setGeometry(w - kDirectoryPanelWidth, kPathLineHeight, kDirectoryPanelWidth, middleHeight);
    Panel2->setGeometry(0, kPathLineHeight, std::max(0, w - kDirectoryPanelWidth), middleHeight);
    Bild->setGeometry(Panel2->innerRect());
}

void TIconF::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TIconF::FormResize()
{
    layoutControls();
    // The page bitmap follows the control; what was drawn stays where it was.
    Bild->fitCanvas(toQColor(appState().backgroundColour));
    if (!appState().catalogue)
        return; // before start-up there is nothing to show
    ComputePageGeometry(*this);
    ScrollBar1Change();
}

void TIconF::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    // Disabling the window (a read) took the focus away; it comes back to the page, not to the
    // first control, the drive box.
    if (event->type() == QEvent::EnabledChange && isEnabled() && !focusWidget())
        Bild->setFocus();
}

void TIconF::ScrollBar1Change()
{
    pageState().firstVisible = ScrollBar1->value();
    repaintCurrentPage(*this);
}

void TIconF::BildMouseMove(QPoint position)
{
    PageState& page = pageState();
    const HitTest hit = hitTest(position, page);
    page.pointerEntry = hit.entry;
    page.pointerCell = hit.cell;
    moveHoverFrame(Bild->canvas(), m_hover, {kCellPitch * hit.column, kCellPitch * hit.row}, toQColor(appState().backgroundColour));
    Bild->update();
    const Catalogue* catalogue = appState().catalogue.get();
    if (!catalogue)
        return;
    const PathLine line = pathLineFor(*catalogue, hit.entry);
    Panel4->setText(isDisconnected(appState(), hit.entry) ? line.text + kDisconnectedTag : line.text);
    QPalette colours = Panel4->label()->palette();
    colours.setColor(QPalette::WindowText, toQColor(line.colour));
    Panel4->label()->setPalette(colours);
    Panel5->setText(hit.entry >= 1 && hit.entry <= catalogue->entryCount() ? QStringLiteral("  Nr: ") + QString::number(hit.entry)
                                                                           : QStringLiteral("-"));
}

void TIconF::BildMouseDown(Qt::MouseButton button, QPoint position)
{
    PageState& page = pageState();
    const HitTest hit = hitTest(position, page);
    page.pointerEntry = hit.entry;
    page.pointerCell = hit.cell;
    Catalogue* catalogue = appState().catalogue.get();
    if (button == Qt::RightButton) {
        PopupMenu1->popup(Bild->mapToGlobal(position));
        return;
    }
    if (button != Qt::LeftButton || !catalogue || catalogue->entryCount() == 0 || hit.entry < 1 || hit.entry > catalogue->entryCount())
        return;
    IconEntry& e = (*catalogue)[hit.entry];
    e.marked = e.marked ? 0 : 1;
    BildMouseMove(position);
    repaintCurrentPage(*this);
}

Qt::DropAction TIconF::BildDragStart(QPoint from)
{
    Catalogue* catalogue = appState().catalogue.get();
    const std::int32_t n = hitTest(from, pageState()).entry;
    if (!catalogue || n < 1 || n > catalogue->entryCount())
        return Qt::IgnoreAction;
    // The press marked or unmarked the cell as a click does; a drag is no click.
    IconEntry& e = (*catalogue)[n];
    e.marked = e.marked ? 0 : 1;
    repaintCurrentPage(*this);
    const CollectionKeptPictures kept(appState());
    std::unique_ptr<IconDragData> offered = pageDragData(*catalogue, n, dragFolder(), &kept);
    if (!offered)
        return Qt::IgnoreAction;
    auto* drag = new QDrag(Bild); // Qt ends it once the target is done with the data
    const std::optional<QImage> keptPicture = kept.disconnected(n);
    const QImage picture = keptPicture ? *keptPicture : extractIcon(std::filesystem::path(std::string(e.path())), e.iconIndex);
    if (!picture.isNull())
        drag->setPixmap(QPixmap::fromImage(picture));
    drag->setMimeData(offered.release());
    return drag->exec(Qt::CopyAction);
}

void TIconF::Seitemarkieren1Click()
{
    if (Catalogue* catalogue = appState().catalogue.get())
        markPage(*catalogue, pageState(), true);
    repaintCurrentPage(*this);
}

void TIconF::SeiteDemarkieren1Click()
{
    if (Catalogue* catalogue = appState().catalogue.get())
        markPage(*catalogue, pageState(), false);
    repaintCurrentPage(*this);
}

void TIconF::Oginalgre1Click()
{
    runCommand([this] {
        const Catalogue* catalogue = appState().catalogue.get();
        const std::int32_t n = pageState().pointerEntry;
        const bool onEntry = catalogue && n >= 1 && n <= catalogue->entryCount();
        const std::string path = onEntry ? std::string((*catalogue)[n].path()) : std::string();
        if (onEntry && isDisconnected(appState(), n)) {
            // Only the 32 x 32 picture was kept; the file's other sizes may be another icon's.
            dialogs().message(pathText(path) + kNotPresent, kAppTitle);
            return;
        }
        showOriginalSize(*windows().OrginalF, path, onEntry ? (*catalogue)[n].iconIndex : 0);
    });
}

void TIconF::setVisible(bool visible)
{
    if (visible && !m_shown) {
        m_shown = true;
        startUp(*this);
        // A close during start-up has ended the program: the window stays hidden then.
        if (shutDownDone())
            return;
    }
    QMainWindow::setVisible(visible);
}

void TIconF::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    layoutControls();
}

void TIconF::closeEvent(QCloseEvent* event)
{
    if (closeAfterRead(*windows().EinleseF)) { // the read stops first, then the program ends
        event->ignore();
        return;
    }
    if (!m_closed) {
        m_closed = true;
        shutDown(*this);
    }
    event->accept();
}

void TIconF::Ende1Click() { close(); }

void TIconF::BitBtn1Click() { readTree(appState(), *this, *windows().EinleseF); }

void TIconF::CheckBox4Click()
{
    if (CheckBox4->isChecked())
        readTree(appState(), *this, *windows().EinleseF);
}

void TIconF::DirectoryListBox1Change()
{
    AppState& s = appState();
    if (directoryChangeSeen)
        s.readDirectory = DirectoryListBox1->directory();
    directoryChangeSeen = true;
    s.readDirectory = withTrailingSlash(s.readDirectory);
    FileListBox1->setDirectory(s.readDirectory);
    StatusBar1->setPanelText(0, pathText(s.readDirectory));
    if (CheckBox4->isChecked())
        readTree(appState(), *this, *windows().EinleseF);
}

void TIconF::DriveComboBox1Change()
{
    if (driveChangeSeen)
        DirectoryListBox1->setDrive(DriveComboBox1->drive());
    driveChangeSeen = true;
}

void TIconF::FileListBox1Click() { readSingleFile(appState(), *this, *windows().EinleseF, FileListBox1->selectedPath()); }

void TIconF::FileListBox1Change() { StatusBar1->setPanelText(1, QString::number(FileListBox1->count()) + QStringLiteral(" Dateien")); }

void TIconF::keyPressEvent(QKeyEvent* event)
{
    // A main window has no default button of its own: keys that no control used arrive here.
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && BitBtn1->isEnabled() && isEnabled()) {
        BitBtn1->click();
        return;
    }
    QMainWindow::keyPressEvent(event);
}

TIconF::~TIconF() = default;

void TIconF::repaintPage() { repaintCurrentPage(*this); }

void TIconF::setIconCountPanel(const QString& text) { StatusBar1->setPanelText(1, text); }

void TIconF::setCopyDirectoryPanel(const QString& text) { StatusBar2->setPanelText(1, text); }

QStringList TIconF::checkedFileTypes() const
{
    QStringList types;
    for (int i = 0; i < CheckListBox1->count(); ++i)
        if (CheckListBox1->item(i)->checkState() == Qt::Checked)
            types << CheckListBox1->item(i)->text();
    return types;
}

IndexerHost& TIconF::pageIndexer()
{
    if (!m_pageIndexer)
        m_pageIndexer = std::make_unique<MainIndexerHost>(*this);
    return *m_pageIndexer;
}

void TIconF::keepSplashInFront()
{
    if (TStartF* splash = windows().StartF; splash && splash->isVisible())
        splash->raise();
}

} // namespace bw
