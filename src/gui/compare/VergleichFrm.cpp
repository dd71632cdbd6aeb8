#include "VergleichFrm.h"

#include "compare/CollectionPictures.h"
#include "compare/DuplicateFinder.h"
#include "gui/support/Sound.h"
#include "gui/widgets/AppState.h"
#include "gui/widgets/MainWindowAccess.h"
#include "gui/widgets/WindowPlacement.h"
#include "support/Dialogs.h"
#include "support/Funky.h"
#include "support/Pacer.h"

#include <QEvent>
#include <QFontDatabase>
#include <QStyle>

#include <algorithm>
#include <optional>

namespace bw {
namespace {

constexpr QSize kClientSize {346, 256};

QLabel* label(QWidget* parent, const char* name, const QString& text, QRect geometry, Qt::Alignment alignment)
{
    auto* l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(geometry);
    l->setAlignment(alignment | Qt::AlignVCenter);
    l->setTextFormat(Qt::PlainText);
    return l;
}

// The window's side of a run. The window is brought up to date at each real pump, at most every
// 20 ms: list lines wait and are added in one go, and only the latest pictures are drawn.
class WindowHost final : public CompareHost {
public:
    // The threshold is read at each use: the scroll bar may move it during the run.
    WindowHost(TVergleichF& window, MainWindowAccess* main, const int& threshold) : m_window(window), m_main(main), m_threshold(threshold)
    {
    }

    int threshold() override { return m_threshold; }
    bool cancelled() override { return m_window.compareCancelled; }
    bool soundOff() override { return m_window.CheckBox1->isChecked(); }
    void playWav(const QString& name, int mode) override { PlayWav(name, mode); }
    std::int64_t tickCount() override { return bw::tickCount(); }
    void pumpMessages() override
    {
        m_pacer.pump([this] { bringUpToDate(); });
    }
    void runStarting(const PictureSource& pictures) override
    {
        m_pictures = &pictures;
        m_window.BitBtn2->setEnabled(false);
        m_window.ListBox1->clear();
    }
    void runFinished(int duplicatesFound) override
    {
        bringUpToDate();
        m_window.Label2->setText(QString::number(duplicatesFound) + QStringLiteral(" doppelte Icons gefunden."));
        if (m_main)
            m_main->repaintPage();
        m_window.BitBtn2->setEnabled(true);
        m_pictures = nullptr;
    }
    void listDefective(std::int32_t, std::string_view path) override { m_lines << defectiveLine(path); }
    void listDuplicate(std::int32_t entry, std::string_view path) override { m_lines << duplicateLine(entry, path); }
    void showProgress(std::int32_t reference, std::int32_t candidate, std::int64_t elapsedMs) override
    {
        m_window.Label1->setText(QStringLiteral("Vergleiche Icon ") + QString::number(reference) + QStringLiteral(" mit Icon ")
                                 + QString::number(candidate));
        m_window.Label3->setText(ElapsedText(static_cast<double>(elapsedMs) / 1000.0));
    }
    void showPictures(std::int32_t reference, std::int32_t candidate) override
    {
        m_reference = reference;
        m_candidate = candidate;
    }
    void showDuplicateCount(int duplicatesFound) override
    {
        m_window.Label6->setText(QStringLiteral("="));
        m_window.Label2->setText(QString::number(duplicatesFound) + QStringLiteral(" doppelte Icons gefunden."));
    }
    void reportNoMemory(const QString& text) override { dialogs().message(text, kAppTitle); }

private:
    void bringUpToDate()
    {
        if (!m_lines.isEmpty()) {
            m_window.ListBox1->addItems(m_lines);
            m_lines.clear();
        }
        if (m_reference && m_pictures) {
            m_window.setPictures(m_pictures->picture(m_reference), m_pictures->picture(m_candidate));
            m_reference = m_candidate = 0;
        }
    }

    TVergleichF& m_window;
    MainWindowAccess* m_main;
    const int& m_threshold;
    Pacer m_pacer;
    QStringList m_lines;
    const PictureSource* m_pictures = nullptr;
    std::int32_t m_reference = 0; // the pair to show at the next refresh
    std::int32_t m_candidate = 0;
};

} // namespace

TVergleichF::TVergleichF(MainWindowAccess* main, AppState& state)
    // A fixed dialog with a title but neither close box nor system menu.
    : SecondaryWindow(main ? &main->widget() : nullptr, QStringLiteral("TVergleichF"), QStringLiteral("Icons Vergleichen"), kClientSize,
                      Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::MSWindowsFixedSizeDialogHint)
    , m_main(main)
    , m_state(state)
{
    setModal(true);
    takeFocusWhenShown();
    // The progress text with two seven-digit numbers needs the width up to the elapsed time.
    Label1 = label(this, "Label1", QStringLiteral("-"), {4, 4, 256, 16}, Qt::AlignHCenter);
    Label3 = label(this, "Label3", QStringLiteral("00:00:00"), {262, 4, 80, 16}, Qt::AlignRight);

    Panel1 = new Panel(this, QStringLiteral("Panel1"), {}, Qt::AlignCenter, Panel::Bevel::Lowered);
    Panel1->setGeometry(40, 24, 48, 48);
    Pic1 = label(Panel1, "Pic1", {}, {8, 8, 32, 32}, Qt::AlignLeft);
    Label6 = label(this, "Label6", QStringLiteral("->"), {94, 36, 40, 24}, Qt::AlignHCenter);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setBold(true);
    fixed.setPointSize(12);
    Label6->setFont(fixed);
    Panel2 = new Panel(this, QStringLiteral("Panel2"), {}, Qt::AlignCenter, Panel::Bevel::Lowered);
    Panel2->setGeometry(140, 24, 48, 48);
    Pic2 = label(Panel2, "Pic2", {}, {8, 8, 32, 32}, Qt::AlignLeft);
    Label2 = label(this, "Label2", QStringLiteral("-"), {4, 76, 226, 16}, Qt::AlignHCenter);

    BitBtn2 = new QPushButton(QIcon(QStringLiteral(":/bildwiesel-32.png")), QStringLiteral("und Los"), this);
    BitBtn2->setObjectName(QStringLiteral("BitBtn2"));
    BitBtn2->setGeometry(236, 24, 106, 28);
    CheckBox1 = new QCheckBox(QStringLiteral("Ton Aus"), this);
    CheckBox1->setObjectName(QStringLiteral("CheckBox1"));
    CheckBox1->setGeometry(240, 56, 100, 18);
    // The result and the threshold text are too long to share a row: the threshold text and its
    // scroll bar sit a row lower, and the list gives up that row.
    Label5 = label(this, "Label5", {}, {150, 94, 192, 16}, Qt::AlignRight);
    ScrollBar1 = new QScrollBar(Qt::Horizontal, this);
    ScrollBar1->setObjectName(QStringLiteral("ScrollBar1"));
    ScrollBar1->setGeometry(190, 112, 152, 16);
    ScrollBar1->setRange(0, kMaxThreshold);
    ScrollBar1->setSingleStep(1);
    ScrollBar1->setPageStep(10);
    ScrollBar1->setValue(5);

    ListBox1 = new QListWidget(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setGeometry(4, 132, 338, 66);
    ListBox1->setUniformItemSizes(true); // many thousand lines stay cheap

    Label4 = label(this, "Label4",
                   QStringLiteral("Doppelte Icons weden zum Löschen markiert und können bei Bedarf über AUSGEWÄHLTE ICONS "
                                  "LÖSCHEN, gelöscht werden."),
                   {4, 202, 222, 50}, Qt::AlignLeft);
    Label4->setWordWrap(true);
    QFont italic = Label4->font();
    italic.setItalic(true);
    Label4->setFont(italic);
    // White text needs a dark ground to be read.
    Label4->setStyleSheet(QStringLiteral("QLabel { color: white; background-color: #406080; padding: 2px; }"));
    // The wrapped text shows whole: where the desktop's font needs more lines, the list gives up
    // the room above it.
    if (const int needed = Label4->heightForWidth(Label4->width()); needed > Label4->height()) {
        const int extra = std::min(needed - Label4->height(), 40);
        Label4->setGeometry(Label4->x(), Label4->y() - extra, Label4->width(), Label4->height() + extra);
        ListBox1->setFixedHeight(ListBox1->height() - extra);
    }

    BitBtn3 = new QPushButton(style()->standardIcon(QStyle::SP_DialogCancelButton), QStringLiteral("Abbrechen"), this);
    BitBtn3->setObjectName(QStringLiteral("BitBtn3"));
    BitBtn3->setGeometry(236, 224, 106, 28);
    Image1 = new QLabel(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(236, 196, 25, 25);
    Image1->setPixmap(QPixmap(QStringLiteral(":/bildwiesel-32.png")).scaled(25, 25, Qt::KeepAspectRatio, Qt::SmoothTransformation));
    Image1->setToolTip(QStringLiteral("Hintergrund"));
    Image1->installEventFilter(this);

    connect(BitBtn2, &QPushButton::clicked, this, &TVergleichF::BitBtn2Click);
    connect(BitBtn3, &QPushButton::clicked, this, &TVergleichF::BitBtn3Click);
    connect(ScrollBar1, &QScrollBar::valueChanged, this, &TVergleichF::ScrollBar1Change);
}

void TVergleichF::showEvent(QShowEvent* event)
{
    SecondaryWindow::showEvent(event);
    CenterForm(m_main ? &m_main->widget() : nullptr, this, 0, 0);
    Pic1->clear();
    Pic2->clear();
    Label1->clear();
    Label2->clear();
    Label3->setText(ElapsedText(0));
    Label5->setText(thresholdText(m_state.pixelThreshold));
    Label6->setText(QStringLiteral("->"));
}

void TVergleichF::setPictures(const QImage& reference, const QImage& candidate)
{
    Pic1->setPixmap(QPixmap::fromImage(reference));
    Pic2->setPixmap(QPixmap::fromImage(candidate));
}

void TVergleichF::BitBtn2Click()
{
    if (!m_state.catalogue || !BitBtn2->isEnabled())
        return;
    compareCancelled = false;
    WindowHost host(*this, m_main, m_state.pixelThreshold);
    CompareOptions options;
    options.background = toQColor(m_state.backgroundColour).rgb();
    // An opened collection's pictures serve unless they were drawn over another colour.
    std::optional<CollectionPictures> stored;
    if (m_state.collection && m_state.collection->info().background == (options.background & 0xFFFFFFu)) {
        stored.emplace(*m_state.collection);
        options.stored = &*stored;
    }
    findDuplicates(*m_state.catalogue, host, options);
}

void TVergleichF::BitBtn3Click()
{
    compareCancelled = true;
    ListBox1->clear();
    SecondaryWindow::reject();
}

void TVergleichF::reject() { BitBtn3Click(); }

void TVergleichF::ScrollBar1Change()
{
    m_state.pixelThreshold = ScrollBar1->value();
    Label5->setText(thresholdText(m_state.pixelThreshold));
}

void TVergleichF::Image1MouseUp() { setWindowState(windowState() | Qt::WindowMinimized); }

bool TVergleichF::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == Image1 && event->type() == QEvent::MouseButtonRelease) {
        Image1MouseUp();
        return true;
    }
    return SecondaryWindow::eventFilter(watched, event);
}

void compareIcons(const AppState& state, TVergleichF& window)
{
    const Catalogue* catalogue = state.catalogue.get();
    const QString refusal = catalogue ? compareRefusal(*catalogue) : kNothingLoaded;
    if (!refusal.isEmpty()) {
        dialogs().message(refusal, kAppTitle);
        return;
    }
    window.exec();
}

} // namespace bw
