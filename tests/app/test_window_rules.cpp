// What a person meets in the windows: close requests of the window manager that must not leave a
// read running, where the keyboard focus and the wheel go, Enter in the settings, the page colour
// at start, German texts that fit their controls, and Qt's own dialogs in German.

#include "catalogue/Indexer.h"
#include "compare/DuplicateFinder.h"
#include "gui/app/IconFrm.h"
#include "gui/app/MainU.h"
#include "gui/app/QtTranslations.h"
#include "gui/app/StartFrm.h"
#include "gui/catalogue/EinleseFrm.h"
#include "gui/compare/VergleichFrm.h"
#include "gui/fileops/KopierpfadFrm.h"
#include "gui/fileops/MeldungFrm.h"
#include "gui/fileops/NummerFrm.h"
#include "gui/settings/EinstellFrm.h"
#include "gui/view/OrginalFrm.h"
#include "gui/widgets/AppState.h"
#include "gui/widgets/QtDialogs.h"
#include "support/Funky.h"
#include "support/ProgramSession.h"
#include "support/ScriptedDialogs.h"
#include "support/TestUtil.h"
#include "support/WindowChecks.h"
#include "view/PageState.h"

#include <QApplication>
#include <QColorDialog>
#include <QDialogButtonBox>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QTest>
#include <QTimer>
#include <QWheelEvent>

#include <gtest/gtest.h>

#include <functional>
#include <set>

using namespace bw;
namespace fs = std::filesystem;

namespace {

constexpr int kFolders = 300;

class WindowRules : public testutil::ProgramTest {
protected:
    void SetUp() override
    {
        ProgramTest::SetUp();
        // Enough folders that a read pumps messages many times before it ends.
        const fixtures::Bytes icon = testutil::solidIcon(qRgb(0, 128, 0));
        for (int i = 0; i < kFolders; ++i) {
            fs::create_directories(tree / ("ordner" + std::to_string(i)));
            testutil::writeFile(tree / ("ordner" + std::to_string(i)) / "bild.ico", icon);
        }
    }
    // Starts the program with a settings file: this tree, no automatic read, the given colour.
    void start(const char* colour = "-2147483633")
    {
        testutil::writeSettings(config.path(), tree.string(), "/tmp", false, "111111", colour);
        createWindows();
        windows().IconF->show();
        QTRY_VERIFY(!windows().StartF->isVisible());
    }
    TIconF& main() { return *windows().IconF; }
    TEinleseF& progress() { return *windows().EinleseF; }
    Catalogue& catalogue() { return *appState().catalogue; }
    // Fills the catalogue with n entries of one file and shows the first page.
    void fillWith(int n, const fs::path& file = {})
    {
        const std::string path = (file.empty() ? tree / "ordner0" / "bild.ico" : file).string();
        catalogue().clearCatalogue();
        MainIndexerHost host(main());
        for (int i = 0; i < n; ++i)
            indexFile(catalogue(), path, host);
        main().ScrollBar1->setValue(1);
        repaintCurrentPage(main());
    }
};

// Waits until the window manager has framed the window (slow when other tests load the machine)
// and gives the frame's place on the screen, as the X server holds it. Qt's frameGeometry() is no
// guide: it keeps the margins it read at the window's last configure event, and when that event
// came before the frame, it keeps no frame.
QRect framedGeometry(const QWidget& w)
{
    QStringList frame; // "_NET_FRAME_EXTENTS(CARDINAL) = left, right, top, bottom"
    const bool framed = QTest::qWaitFor(
        [&] {
            QProcess xprop;
            xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(w.winId()), QStringLiteral("_NET_FRAME_EXTENTS")});
            xprop.waitForFinished();
            frame = QString::fromLatin1(xprop.readAllStandardOutput()).section(QLatin1Char('='), 1).split(QLatin1Char(','));
            return frame.size() == 4 && frame[2].toInt() > 0;
        },
        30000);
    return framed ? w.geometry().adjusted(-frame[0].toInt(), -frame[2].toInt(), frame[1].toInt(), frame[3].toInt()) : w.geometry();
}

} // namespace

TEST_F(WindowRules, CloseRequestDuringAReadIsAbbrechenAndNoReadStartsInside)
{
    start();
    struct Seen {
        bool fired = false, duringRead = false, shownAfterRequest = false, cancelled = false;
        bool mainDisabledAfterTimer = false, shownAfterTimer = false;
    } seen;
    QTimer::singleShot(0, &progress(), [&] {
        seen.fired = true;
        seen.duringRead = progress().readRunning;
        testutil::requestClose(progress()); // the close box or Alt+F4
        seen.shownAfterRequest = progress().isVisible();
        seen.cancelled = progress().readCancelled;
        main().BitBtn1Click();              // a second "Einlesen" inside the read is refused
        main().CheckBox4->setChecked(true); // so is the automatic read
        QTest::qWait(200);                  // the close timer of "Abbrechen" fires meanwhile
        seen.mainDisabledAfterTimer = !main().isEnabled();
        seen.shownAfterTimer = progress().isVisible();
    });
    main().BitBtn1Click();
    ASSERT_TRUE(seen.fired && seen.duringRead);
    EXPECT_TRUE(seen.shownAfterRequest);
    EXPECT_TRUE(seen.cancelled);
    EXPECT_TRUE(seen.mainDisabledAfterTimer); // enabled only when the read has really ended
    EXPECT_TRUE(seen.shownAfterTimer);
    // One cancelled read: fewer entries than files, none twice.
    EXPECT_LT(catalogue().entryCount(), kFolders);
    std::set<std::string> paths;
    for (std::int32_t n = 1; n <= catalogue().entryCount(); ++n)
        EXPECT_TRUE(paths.insert(std::string(catalogue()[n].path())).second) << catalogue()[n].path();
    EXPECT_FALSE(progress().readRunning);
    QTRY_VERIFY(!progress().isVisible());
    EXPECT_TRUE(main().isEnabled());

    // Without a read ("Suchergebnis"), a close request is "Abbrechen" too, and so is Esc.
    main().Suchergebnis1->trigger();
    ASSERT_TRUE(progress().isVisible());
    testutil::requestClose(progress());
    EXPECT_TRUE(progress().isVisible());
    QTRY_VERIFY(!progress().isVisible());
    main().Suchergebnis1->trigger();
    progress().readCancelled = false;
    QTest::keyClick(&progress(), Qt::Key_Escape);
    EXPECT_TRUE(progress().readCancelled);
    QTRY_VERIFY(!progress().isVisible());
}

TEST_F(WindowRules, ClosingTheMainWindowDuringAReadStopsTheReadFirst)
{
    start();
    bool mainShownAfterRequest = false;
    bool shutDownDuringRead = true;
    QTimer::singleShot(0, &progress(), [&] {
        testutil::requestClose(main());
        mainShownAfterRequest = main().isVisible();
        shutDownDuringRead = shutDownDone();
    });
    main().BitBtn1Click();
    EXPECT_TRUE(mainShownAfterRequest);
    EXPECT_FALSE(shutDownDuringRead);
    EXPECT_FALSE(shutDownDone()); // not before the read has returned
    EXPECT_LT(catalogue().entryCount(), kFolders);
    QTRY_VERIFY(shutDownDone()); // then the program ends as with "&Ende"
    EXPECT_TRUE(QFile::exists(config.path() + QStringLiteral("/bildwiesel/bwsave.kwb")));
}

TEST_F(WindowRules, SplashIgnoresCloseRequests)
{
    start();
    TStartF& splash = *windows().StartF;
    splash.show();
    testutil::requestClose(splash);
    EXPECT_TRUE(splash.isVisible());
    splash.hide();
}

TEST_F(WindowRules, FocusStartsOnThePageAndComesBackAfterARead)
{
    start();
    EXPECT_EQ(main().focusWidget(), main().Bild);
    main().BitBtn1Click();
    QTRY_VERIFY(!progress().isVisible());
    EXPECT_EQ(main().focusWidget(), main().Bild);
    const std::string drive = main().DriveComboBox1->drive();
    QTest::keyClick(main().Bild, Qt::Key_PageDown);
    QTest::keyClick(main().Bild, Qt::Key_Down);
    EXPECT_EQ(main().DriveComboBox1->drive(), drive);
}

TEST_F(WindowRules, WheelAndPageKeysScrollThroughTheScrollBar)
{
    start();
    main().resize(640, 481);
    fillWith(500);
    const PageState& page = pageState();
    ASSERT_GT(page.cellsAcross, 1);
    ASSERT_GT(main().ScrollBar1->maximum(), 3 * page.pageCapacity);
    auto wheel = [this](int delta) {
        const QPointF at(10, 10);
        QWheelEvent event(at, main().Bild->mapToGlobal(at), {}, {0, delta}, Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QApplication::sendEvent(main().Bild, &event);
    };
    int repaints = 0;
    QObject::connect(main().ScrollBar1, &QScrollBar::valueChanged, main().Bild, [&repaints] { ++repaints; });

    wheel(-120); // one notch towards the user: one row further
    EXPECT_EQ(page.firstVisible, 1 + page.cellsAcross);
    wheel(-60); // half a notch does nothing yet, the other half completes it
    EXPECT_EQ(page.firstVisible, 1 + page.cellsAcross);
    wheel(-60);
    EXPECT_EQ(page.firstVisible, 1 + 2 * page.cellsAcross);
    wheel(3 * 120); // back three rows stops at the first entry
    EXPECT_EQ(page.firstVisible, 1);
    EXPECT_EQ(repaints, 3);
    // What is shown follows: the range panel names the first entry of the page.
    wheel(-120);
    EXPECT_TRUE(main().Panel3->text().startsWith(QString::number(1 + page.cellsAcross) + QStringLiteral(" bis")))
        << main().Panel3->text().toStdString();

    main().ScrollBar1->setValue(1);
    QTest::keyClick(main().Bild, Qt::Key_PageDown);
    EXPECT_EQ(page.firstVisible, 1 + main().ScrollBar1->pageStep());
    QTest::keyClick(main().Bild, Qt::Key_PageUp);
    EXPECT_EQ(page.firstVisible, 1);
    main().ScrollBar1->setValue(main().ScrollBar1->maximum());
    QTest::keyClick(main().Bild, Qt::Key_PageDown); // the last page stays the last
    EXPECT_EQ(page.firstVisible, main().ScrollBar1->maximum());
    // Home and End go to the first and the last page from anywhere, the last showing entry 500.
    const int last = main().ScrollBar1->maximum();
    EXPECT_EQ(last + page.pageCapacity - 1, 500);
    for (auto [start, key, expected] : {std::tuple {last, Qt::Key_Home, 1},
                                        {1, Qt::Key_End, last},
                                        {200, Qt::Key_Home, 1},
                                        {200, Qt::Key_End, last},
                                        {1, Qt::Key_Home, 1},
                                        {last, Qt::Key_End, last}}) {
        main().ScrollBar1->setValue(start);
        QTest::keyClick(main().Bild, key);
        EXPECT_EQ(page.firstVisible, expected) << start << " " << key;
    }
}

TEST_F(WindowRules, EnterInTheSettingsPressesOk)
{
    start();
    TEinstellF& settings = *windows().EinstellF;
    settings.show();
    settings.activateWindow();
    settings.BitBtn1->setFocus(); // even on "Hintergrundfarbe auswählen"
    QTest::keyClick(settings.BitBtn1, Qt::Key_Return);
    EXPECT_FALSE(settings.isVisible());
    EXPECT_EQ(settings.result(), QDialog::Accepted);
    EXPECT_TRUE(dialogs.colourDialogStarts.isEmpty()); // no colour dialog opened
}

TEST_F(WindowRules, EmptyPageShowsTheSavedColourFromTheStart)
{
    start("6697728"); // RGB 0, 51, 102
    const QRgb saved = qRgb(0, 51, 102);
    EXPECT_EQ(catalogue().entryCount(), 0);
    const QImage& canvas = main().Bild->canvas();
    EXPECT_EQ(canvas.pixel(0, 0), saved);
    EXPECT_EQ(canvas.pixel(canvas.width() - 1, canvas.height() - 1), saved);
    const QImage shown = main().Bild->grab().toImage();
    EXPECT_EQ(shown.pixel(shown.width() / 2, shown.height() / 2) & 0xFFFFFF, saved & 0xFFFFFF);
    // The hover frame, moved on, leaves the saved colour behind, not grey squares.
    QTest::mouseMove(main().Bild, {5, 5});
    QTest::mouseMove(main().Bild, {100, 100});
    EXPECT_EQ(main().Bild->canvas().pixel(0, 0), saved);
}

TEST_F(WindowRules, EveryGermanTextFitsItsControl)
{
    start();
    main().resize(640, 481);
    // Each window with the longest texts it shows (counts of a full catalogue): every text whole,
    // no two overlapping.
    auto checkTexts = [](QWidget& w, int titleBarButtons = 3) {
        EXPECT_EQ(testutil::clippedTexts(w, titleBarButtons), QStringList()) << w.objectName().toStdString();
        EXPECT_EQ(testutil::overlappingTexts(w), QStringList()) << w.objectName().toStdString();
    };
    const QString million = QStringLiteral("1000000");
    main().Panel3->setText(QStringLiteral("999001 bis ") + million);
    main().Panel5->setText(QStringLiteral("  Nr: ") + million);
    main().StatusBar1->setPanelText(1, QStringLiteral("99999 Dateien"));
    checkTexts(main());
    // The six file types of old show whole, none scrolled away or cut, the later ones when
    // scrolled to, in a list that lies whole inside its panel.
    QListWidget& types = *main().CheckListBox1;
    EXPECT_TRUE(main().Panel1->contentsRect().contains(QRect(types.mapTo(main().Panel1, QPoint()), types.size())));
    for (int i = 0; i < types.count(); ++i) {
        if (i >= 6)
            types.scrollToItem(types.item(i));
        EXPECT_TRUE(types.viewport()->rect().contains(types.visualItemRect(types.item(i)))) << types.item(i)->text().toStdString();
    }

    TVergleichF& compare = *windows().VergleichF;
    TMeldungF& report = *windows().MeldungF;
    TNummerF& renumber = *windows().NummerF;
    TEinleseF& reading = *windows().EinleseF;
    const std::initializer_list<std::pair<QWidget*, std::function<void()>>> windowsAndTexts {
        {&reading,
         [&] {
             reading.Label1->setText(QStringLiteral("Suche *.icns Dateien ."));
             reading.Label1->adjustSize();
             reading.setLabel2(QStringLiteral("Symbole ") + million);
         }},
        {windows().EinstellF, [] {}},
        {windows().OrginalF, [] {}},
        {windows().KWBfrm, [] {}},
        {&compare,
         [&] {
             compare.Label1->setText(QStringLiteral("Vergleiche Icon 999999 mit Icon ") + million);
             compare.Label2->setText(QStringLiteral("999999 doppelte Icons gefunden."));
             compare.Label3->setText(ElapsedText(99 * 3600 + 59 * 60 + 59));
             compare.Label5->setText(thresholdText(1023));
             compare.Label6->setText(QStringLiteral("="));
         }},
        {&report, [&] { report.Label1->setText(QStringLiteral("999999 von ") + million + QStringLiteral(" Icons gelöscht !")); }},
        {&renumber, [&] { renumber.BitBtn1->setText(QStringLiteral("Finale: ") + million); }},
    };
    for (const auto& [w, setLongestTexts] : windowsAndTexts) {
        w->show();
        setLongestTexts();
        checkTexts(*w);
        w->hide();
    }
    // The chooser keeps its size; the title bar shortens the caption with its file count.
    TKopierpfadF& chooser = *windows().KopierpfadF;
    chooser.show();
    EXPECT_EQ(chooser.size(), QSize(313, 202));
    EXPECT_TRUE(chooser.windowTitle().endsWith(QStringLiteral(" Dateien"))) << chooser.windowTitle().toStdString();
    checkTexts(chooser, testutil::kCaptionMayShorten);
    chooser.hide();
    windows().StartF->show();
    checkTexts(*windows().StartF, 0);
    windows().StartF->hide();

    // The viewer keeps its caption readable for a small picture.
    const fs::path small = tree / "klein.bmp";
    testutil::writeFile(small, fixtures::bmpFile(testutil::solid(qRgb(9, 9, 9), 48, 48), fixtures::BmpKind::Bits24));
    TOrginalF& viewer = *windows().OrginalF;
    viewer.loadPicture(small.string());
    viewer.show();
    EXPECT_EQ(testutil::clippedTexts(viewer), QStringList());
    viewer.hide();
}

// A "yes" may remove or rename files: Enter answers "Nein", as Esc does; "Ja" takes its own key.
TEST_F(WindowRules, QuestionsAnswerNeinToEnterAndEsc)
{
    QtDialogs qtDialogs;
    const struct {
        int key;
        Qt::KeyboardModifiers modifiers;
        bool yes;
    } cases[] = {{Qt::Key_Return, Qt::NoModifier, false},
                 {Qt::Key_Enter, Qt::KeypadModifier, false},
                 {Qt::Key_Escape, Qt::NoModifier, false},
                 {Qt::Key_J, Qt::NoModifier, true}};
    for (const auto& c : cases) {
        QTimer::singleShot(0, [&c] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            ASSERT_TRUE(box && QTest::qWaitForWindowActive(box));
            QTest::keyClick(box, static_cast<Qt::Key>(c.key), c.modifiers);
            if (!QTest::qWaitFor([box] { return !box->isVisible(); }, 2000))
                box->reject(); // the key did nothing
        });
        EXPECT_EQ(qtDialogs.confirm(QStringLiteral("Wirklich alle Löschen in :"), QStringLiteral("Bestätigung")), c.yes) << c.key;
    }
}

// Last: it changes the texts of every standard dialog in this process.
TEST_F(WindowRules, QtStandardDialogsSpeakGerman)
{
    ASSERT_TRUE(installGermanQtTranslations(*QCoreApplication::instance()));
    QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    EXPECT_EQ(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Abbrechen"));
    EXPECT_NE(QColorDialog::tr("Select Color"), QStringLiteral("Select Color"));
}

// Under a real window manager (the end-to-end Xvfb session with openbox): each window as the
// desktop shows it, with the desktop's fonts and the window manager's frame, every text whole.
// The screenshots stay in the build folder for a person to look at.
TEST_F(WindowRules, UnderAWindowManager)
{
    if (QGuiApplication::platformName() != QStringLiteral("xcb") || qEnvironmentVariableIsEmpty("BW_WINDOW_MANAGER"))
        GTEST_SKIP() << "needs an X server with a window manager";
    start();
    const fs::path small = tree / "klein.bmp";
    testutil::writeFile(small, fixtures::bmpFile(testutil::solid(qRgb(9, 9, 9), 48, 48), fixtures::BmpKind::Bits24));
    windows().OrginalF->loadPicture(small.string());
    TMeldungF& report = *windows().MeldungF;
    report.Label1->setText(QStringLiteral("40 von 100 Icons kopiert"));
    report.addLine(QStringLiteral("Nr: 7..") + QString::fromStdString(small.string())
                   + QStringLiteral("..Icon kann nicht GELADEN werden ."));
    report.flushLines();
    appState().copyDirectory = tree.string() + "/";
    for (QWidget* w : std::initializer_list<QWidget*> {windows().EinstellF, windows().OrginalF, windows().MeldungF, windows().KopierpfadF,
                                                       windows().NummerF, windows().VergleichF, windows().KWBfrm, windows().EinleseF}) {
        if (w == windows().EinleseF)
            main().Suchergebnis1->trigger(); // the progress window over the main window
        else
            w->show();
        const QRect frame = framedGeometry(*w);
        ASSERT_GT(frame.height(), w->height()) << w->objectName().toStdString();
        QTest::qWait(200);
        QGuiApplication::primaryScreen()->grabWindow(0).copy(frame).save(QStringLiteral("screenshot_%1.png").arg(w->objectName()));
        EXPECT_EQ(testutil::clippedTexts(*w, w == windows().KopierpfadF ? testutil::kCaptionMayShorten : 3), QStringList())
            << w->objectName().toStdString();
        EXPECT_EQ(testutil::overlappingTexts(*w), QStringList()) << w->objectName().toStdString();
        // The caption has the whole title bar's width, no less than the window's.
        EXPECT_GE(frame.width(), w->width()) << w->objectName().toStdString();
        // A fixed dialog is neither resized nor maximised by the window manager.
        if (w != windows().OrginalF && w != windows().MeldungF) {
            QProcess xprop;
            xprop.start(QStringLiteral("xprop"),
                        {QStringLiteral("-id"), QString::number(w->winId()), QStringLiteral("_NET_WM_ALLOWED_ACTIONS")});
            xprop.waitForFinished();
            const QByteArray actions = xprop.readAllStandardOutput();
            EXPECT_TRUE(actions.contains("_NET_WM_ACTION_CLOSE") && !actions.contains("MAXIMIZE")
                        && !actions.contains("_NET_WM_ACTION_RESIZE"))
                << w->objectName().toStdString() << ": " << actions.constData();
        }
        if (w != windows().EinleseF)
            w->hide();
    }
    EXPECT_EQ(testutil::clippedTexts(main()), QStringList());
    progress().BitBtn1->click();
    QTRY_VERIFY(!progress().isVisible());
    QTest::qWait(200);
    QGuiApplication::primaryScreen()->grabWindow(0).copy(framedGeometry(main())).save(QStringLiteral("screenshot_TIconF.png"));
}

namespace {

// The last window id of a property of the root window, as the window manager set it.
WId rootWindowProperty(const char* name)
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-root"), QString::fromLatin1(name)});
    xprop.waitForFinished();
    return QString::fromLatin1(xprop.readAllStandardOutput()).trimmed().section(QLatin1Char(' '), -1).toULongLong(nullptr, 0);
}

// Waits for the next box or file dialog; notes whether the window manager stacked it above every
// window and gave it the input focus, then answers it with Esc.
void answerNextBox(QObject& context, bool& onTopAndFocused)
{
    auto* poll = new QTimer(&context);
    auto* clock = new QElapsedTimer;
    clock->start();
    QObject::connect(poll, &QTimer::timeout, poll, [poll, clock, &onTopAndFocused] {
        QWidget* box = QApplication::activeModalWidget();
        if (!qobject_cast<QMessageBox*>(box) && !qobject_cast<QFileDialog*>(box))
            return;
        onTopAndFocused
            = rootWindowProperty("_NET_CLIENT_LIST_STACKING") == box->winId() && rootWindowProperty("_NET_ACTIVE_WINDOW") == box->winId();
        if (!onTopAndFocused && clock->elapsed() < 3000)
            return;
        delete clock;
        poll->deleteLater();
        QTest::keyClick(box, Qt::Key_Escape);
    });
    poll->start(100);
}

} // namespace

// Under a real window manager, a box shown while the progress, report, renumbering or comparison
// window is up comes above that window and takes the focus: the user sees it and can answer it.
TEST_F(WindowRules, BoxesComeAboveTheWindowThatIsUp)
{
    if (QGuiApplication::platformName() != QStringLiteral("xcb") || qEnvironmentVariableIsEmpty("BW_WINDOW_MANAGER"))
        GTEST_SKIP() << "needs an X server with a window manager";
    start();
    QtDialogs qtDialogs;
    setDialogs(&qtDialogs);
    struct Case {
        QWidget* window;
        std::function<void()> ask;
    };
    const Case cases[] = {
        // The catalogue is full in the middle of a read, under the progress window (on top).
        {nullptr,
         [this] {
             appState().catalogue = std::make_unique<Catalogue>(kFolders / 2);
             main().BitBtn1Click();
         }},
        {windows().MeldungF, [] { bw::dialogs().confirm(QStringLiteral("Wirklich?"), QStringLiteral("Bestätigung")); }},
        {windows().NummerF, [] { bw::dialogs().message(QStringLiteral("Fertig"), kAppTitle); }},
        {windows().VergleichF, [] { bw::dialogs().openPicture(QStringLiteral("Bild"), QStringLiteral("*.bmp")); }},
    };
    for (const Case& c : cases) {
        if (c.window) {
            c.window->show();
            ASSERT_GT(framedGeometry(*c.window).height(), c.window->height()) << c.window->objectName().toStdString();
        }
        bool onTopAndFocused = false;
        answerNextBox(main(), onTopAndFocused);
        c.ask();
        EXPECT_TRUE(onTopAndFocused) << (c.window ? c.window->objectName() : progress().objectName()).toStdString();
        if (c.window)
            c.window->hide();
    }
    EXPECT_EQ(catalogue().entryCount(), kFolders / 2);
    EXPECT_TRUE(QTest::qWaitFor([this] { return !progress().isVisible() && main().isEnabled(); })); // the answer ended the read
    setDialogs(&dialogs);
}

namespace {

// Waits in the window's run (called at each pump) until the run is on, then presses Esc through the
// X server, as a person at the keyboard does: the key goes to the window that has the input focus.
// Notes whether the window manager had made the window the active one, and whether the key reached
// the window as "Abbrechen".
struct EscapeSeen {
    bool active = false, cancelled = false;
};
void pressEscapeDuringRun(QObject& context, QWidget& window, std::function<bool()> running, std::function<bool()> cancelled,
                          EscapeSeen& seen)
{
    auto* poll = new QTimer(&context);
    poll->setInterval(0);
    QObject::connect(poll, &QTimer::timeout, poll, [poll, &window, running, cancelled, &seen] {
        if (!running())
            return;
        poll->stop();
        poll->deleteLater();
        seen.active = QTest::qWaitFor([&window] { return rootWindowProperty("_NET_ACTIVE_WINDOW") == window.winId(); }, 30000);
        QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Escape")});
        seen.cancelled = QTest::qWaitFor(cancelled, 30000);
    });
    poll->start();
}

int markedEntries(const Catalogue& catalogue)
{
    int marked = 0;
    for (std::int32_t n = 1; n <= catalogue.entryCount(); ++n)
        marked += catalogue[n].marked ? 1 : 0;
    return marked;
}

} // namespace

// Under a real window manager, each progress window takes the focus from the disabled main window
// when it comes up, so that Esc from the keyboard stops its run.
TEST_F(WindowRules, EscFromTheKeyboardStopsEveryRun)
{
    if (QGuiApplication::platformName() != QStringLiteral("xcb") || qEnvironmentVariableIsEmpty("BW_WINDOW_MANAGER"))
        GTEST_SKIP() << "needs an X server with a window manager";
    if (QStandardPaths::findExecutable(QStringLiteral("xdotool")).isEmpty())
        GTEST_SKIP() << "xdotool not installed";
    start();
    constexpr int kEntries = 300;
    TMeldungF& report = *windows().MeldungF;
    TNummerF& renumber = *windows().NummerF;
    TVergleichF& compare = *windows().VergleichF;
    const fs::path broken = tree / "kaputt.ico";
    struct Case {
        QWidget* window;
        std::function<void()> run;
        std::function<bool()> running, cancelled, stoppedEarly;
    };
    const Case cases[] = {
        {&progress(), [this] { main().BitBtn1Click(); }, [this] { return progress().readRunning; },
         [this] { return progress().readCancelled; }, [this] { return catalogue().entryCount() < kFolders; }},
        // "Checken" over entries whose file broke after the read: each one checked is marked.
        {&report,
         [&] {
             testutil::writeFile(broken, testutil::solidIcon(qRgb(9, 9, 9)));
             fillWith(kEntries, broken);
             testutil::writeFile(broken, fixtures::Bytes(40, 0xFF));
             main().Checken1->trigger();
         },
         [&] { return report.loopRunning(); }, [&] { return report.cancelRequested; },
         [this] { return markedEntries(catalogue()) < kEntries; }},
        {&renumber,
         [&] {
             for (int i = 0; i < kEntries; ++i)
                 testutil::writeFile(tree / ("x" + std::to_string(i) + ".ico"), testutil::solidIcon(qRgb(0, 0, 255)));
             main().FileListBox1->refresh();
             QTimer::singleShot(0, renumber.BitBtn1, &QPushButton::click);
             main().Nummerieren1->trigger();
         },
         [&] { return renumber.running(); }, [&] { return renumber.renumberCancel; },
         [this] { return fs::exists(tree / ("x" + std::to_string(kEntries - 1) + ".ico")); }},
        // Alike icons: every entry after the first is a duplicate and gets marked.
        {&compare,
         [&] {
             fillWith(kEntries);
             QTimer::singleShot(0, compare.BitBtn2, &QPushButton::click);
             main().Kopieren1->trigger();
         },
         [&] { return compare.isVisible() && !compare.BitBtn2->isEnabled(); }, [&] { return compare.compareCancelled; },
         [this] { return markedEntries(catalogue()) < kEntries - 1; }},
    };
    for (const Case& c : cases) {
        const std::string name = c.window->objectName().toStdString();
        EscapeSeen seen;
        QObject watch; // ends the watch with the case
        pressEscapeDuringRun(watch, *c.window, c.running, c.cancelled, seen);
        c.run();
        EXPECT_TRUE(QTest::qWaitFor([&] { return !c.window->isVisible() && !progress().isVisible() && main().isEnabled(); }, 60000))
            << name;
        c.window->hide();
        EXPECT_TRUE(seen.active) << name;
        EXPECT_TRUE(seen.cancelled) << name;
        EXPECT_TRUE(c.stoppedEarly()) << name;
    }
}
