// The help and about commands, the maker's window, and the manual as a document that names what
// the program offers.

#include "gui/app/IconFrm.h"
#include "gui/app/MainU.h"
#include "gui/support/Help.h"
#include "gui/support/KWBform.h"
#include "support/Desktop.h"
#include "support/Funky.h"
#include "support/ScriptedDialogs.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMenuBar>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

using namespace bw;

namespace {

// Records what the program asked the desktop to open; with `refuse`, no application opens it.
class RecordingDesktop final : public Desktop {
public:
    QList<QUrl> opened;
    bool refuse = false;
    RecordingDesktop() { m_previous = setDesktop(this); }
    ~RecordingDesktop() override { setDesktop(m_previous); }
    void open(const QUrl& url, const std::function<void()>& failed) override
    {
        opened.append(url);
        if (refuse && failed)
            failed();
    }

private:
    Desktop* m_previous = nullptr;
};

class Help : public ::testing::Test {
protected:
    static void SetUpTestSuite() { createWindows(); }
    static void TearDownTestSuite() { destroyWindows(); }
    void TearDown() override { InitPaths(); }
    TIconF& main() { return *windows().IconF; }
    TKWBfrm& kwb() { return *qobject_cast<TKWBfrm*>(windows().KWBfrm); }
    testutil::ScriptedDialogs dialogs;
    RecordingDesktop desktop;
};

QStringList captions(const QList<QAction*>& actions)
{
    QStringList list;
    for (const QAction* a : actions)
        if (!a->isSeparator())
            list << a->text();
    return list;
}

// The text a reader of an RTF document sees, after checking that the document is well-formed:
// an RTF header, 7-bit bytes only, balanced groups, and nothing but known escapes after a
// backslash. Non-ASCII letters are \'hh escapes of Windows-1252.
QString rtfText(const QByteArray& rtf, QString* fault)
{
    if (!rtf.startsWith("{\\rtf1\\ansi")) {
        *fault = QStringLiteral("no RTF header");
        return {};
    }
    static const QHash<int, QChar> windows1252
        = {{0x84, QChar(0x201E)}, {0x93, QChar(0x201C)}, {0x94, QChar(0x201D)}, {0x96, QChar(0x2013)},
           {0x97, QChar(0x2014)}, {0x95, QChar(0x2022)}, {0x85, QChar(0x2026)}};
    QString text;
    int depth = 0;
    int skipDepth = 0; // inside a destination group that is not text (font table, info, ...)
    qsizetype i = 0;
    auto put = [&](QChar c) {
        if (skipDepth == 0)
            text += c;
    };
    while (i < rtf.size()) {
        const char c = rtf[i];
        if (static_cast<unsigned char>(c) > 127) {
            *fault = QStringLiteral("8-bit byte at %1").arg(i);
            return {};
        }
        if (c == '{') {
            ++depth;
            ++i;
            continue;
        }
        if (c == '}') {
            if (skipDepth == depth)
                skipDepth = 0;
            if (--depth < 0 || (depth == 0 && i != rtf.trimmed().size() - 1)) {
                *fault = QStringLiteral("unbalanced group at %1").arg(i);
                return {};
            }
            ++i;
            continue;
        }
        if (c == '\r' || c == '\n') {
            ++i;
            continue;
        }
        if (c != '\\') {
            put(QLatin1Char(c));
            ++i;
            continue;
        }
        const char next = i + 1 < rtf.size() ? rtf[i + 1] : '\0';
        if (next == '\\' || next == '{' || next == '}') {
            put(QLatin1Char(next));
            i += 2;
        } else if (next == '\'') {
            bool ok = false;
            const int code = rtf.mid(i + 2, 2).toInt(&ok, 16);
            if (!ok) {
                *fault = QStringLiteral("bad hex escape at %1").arg(i);
                return {};
            }
            put(windows1252.value(code, QChar(code)));
            i += 4;
        } else if (next == '~' || next == '-' || next == '_' || next == '*') {
            i += 2;
        } else if (next >= 'a' && next <= 'z') {
            qsizetype j = i + 1;
            while (j < rtf.size() && rtf[j] >= 'a' && rtf[j] <= 'z')
                ++j;
            const QByteArray word = rtf.mid(i + 1, j - i - 1);
            if (j < rtf.size() && rtf[j] == '-')
                ++j;
            while (j < rtf.size() && rtf[j] >= '0' && rtf[j] <= '9')
                ++j;
            if (j < rtf.size() && rtf[j] == ' ')
                ++j;
            if (word == "par")
                put(QLatin1Char('\n'));
            else if (word == "tab")
                put(QLatin1Char('\t'));
            else if (word == "bullet")
                put(QChar(0x2022));
            else if ((word == "fonttbl" || word == "colortbl" || word == "info" || word == "stylesheet") && skipDepth == 0)
                skipDepth = depth;
            i = j;
        } else {
            *fault = QStringLiteral("unknown escape at %1").arg(i);
            return {};
        }
    }
    if (depth != 0)
        *fault = QStringLiteral("%1 groups left open").arg(depth);
    return text;
}

} // namespace

TEST(Manual, WellFormedRtfNamingEveryCommandAndTheCli)
{
    QFile file(QStringLiteral(BW_SOURCE_DIR "/data/daten/Beschreibung.doc"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    QString fault;
    const QString text = rtfText(file.readAll(), &fault);
    ASSERT_TRUE(fault.isEmpty()) << fault.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("Oginalgröße"))); // escapes decoded

    // Every command of every menu of the real main window, as the user reads it.
    createWindows();
    TIconF& main = *windows().IconF;
    QStringList commands;
    for (const QAction* menu : main.menuBar()->actions()) {
        commands << menu->text();
        commands << captions(menu->menu()->actions());
    }
    commands << captions(main.PopupMenu1->actions());
    destroyWindows();
    EXPECT_GE(commands.size(), 24);
    for (QString command : commands) {
        command = command.remove(QLatin1Char('&')).trimmed();
        EXPECT_TRUE(text.contains(command)) << "not in the manual: " << command.toStdString();
    }
    // The buttons and windows those commands lead to, and the command-line tool.
    for (const char* name : {"Einlesen", "Abbrechen", "und Los", "Kopierverzeichnis", "Hintergrundfarbe auswählen", "Neutralfarbe",
                             "Schließen", "Ton Aus", "Papierkorb", "bwsave.kwb", ".config/bildwiesel"})
        EXPECT_TRUE(text.contains(QString::fromUtf8(name))) << name;
    for (const char* command : {"count", "extract", "write-ico", "write-bmp", "scan", "export", "check", "dupes", "thumbnail"})
        EXPECT_TRUE(text.contains(QStringLiteral("bildwiesel-cli ") + QLatin1String(command))) << command;
}

TEST(Manual, ParserCatchesBrokenDocuments)
{
    QString fault;
    rtfText("{\\rtf1\\ansi {\\b x}", &fault);
    EXPECT_FALSE(fault.isEmpty());
    fault.clear();
    rtfText("{\\rtf1\\ansi x}}", &fault);
    EXPECT_FALSE(fault.isEmpty());
    fault.clear();
    rtfText("{\\rtf1\\ansi gr\xc3\xbc\xc3\x9f}", &fault); // raw UTF-8 instead of escapes
    EXPECT_FALSE(fault.isEmpty());
    fault.clear();
    EXPECT_EQ(rtfText("{\\rtf1\\ansi {\\fonttbl{\\f0 Arial;}}gr\\'fc\\'df\\par}", &fault), QStringLiteral("grüß\n"));
    EXPECT_TRUE(fault.isEmpty());
}

TEST_F(Help, ProgrammMenuIsComplete)
{
    const QMenu* programm = main().menuBar()->actions().at(0)->menu();
    for (const QAction* a : programm->actions())
        EXPECT_TRUE(a->isEnabled()) << a->text().toStdString();
}

TEST_F(Help, InfoShowsNameAndVersionInTheAboutBox)
{
    main().Info1->trigger();
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].kind, QStringLiteral("about"));
    EXPECT_TRUE(dialogs.shown[0].text.startsWith(QStringLiteral("Bildwiesel\r\nVersion 1.110")));
}

TEST_F(Help, BeschreibungOpensTheManualOrNamesWhereItLooked)
{
    QTemporaryDir dir;
    QDir(dir.path()).mkpath(QStringLiteral("bin/daten"));
    QFile manual(dir.filePath(QStringLiteral("bin/daten/Beschreibung.doc")));
    ASSERT_TRUE(manual.open(QIODevice::WriteOnly));
    manual.close();
    InitPaths(QFile::encodeName(dir.filePath(QStringLiteral("bin/bildwiesel"))).toStdString());
    main().Beschreibung1->trigger();
    ASSERT_EQ(desktop.opened.size(), 1);
    EXPECT_EQ(desktop.opened[0], QUrl::fromLocalFile(dir.filePath(QStringLiteral("bin/daten/Beschreibung.doc"))));
    EXPECT_TRUE(dialogs.shown.isEmpty());
    // Where no application opens it, a box says so and names the file.
    desktop.refuse = true;
    main().Beschreibung1->trigger();
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].text, QStringLiteral("Kein Programm kann >") + manual.fileName() + QStringLiteral("< öffnen."));
    dialogs.shown.clear();
    desktop.refuse = false;

    // Without a data folder the program folder is the data folder, and the message names it.
    QDir(dir.filePath(QStringLiteral("bin/daten"))).removeRecursively();
    InitPaths(QFile::encodeName(dir.filePath(QStringLiteral("bin/bildwiesel"))).toStdString());
    main().Beschreibung1->trigger();
    EXPECT_EQ(desktop.opened.size(), 2);
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].text,
              QStringLiteral("Beschreibung.doc konte im Programmpfad >") + dir.filePath(QStringLiteral("bin/"))
                  + QStringLiteral("< nicht gefunden werden.\r\n Datei ist im Programmpfad nicht vorhanden ."));
}

// The desktop's own service learns from xdg-open's exit code whether an application took the file.
TEST_F(Help, SystemDesktopReportsWhatXdgOpenRefused)
{
    QTemporaryDir bin;
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()));
    Desktop* recording = setDesktop(nullptr);
    for (const int code : {0, 3}) {
        QFile opener(bin.filePath(QStringLiteral("xdg-open")));
        ASSERT_TRUE(opener.open(QIODevice::WriteOnly | QIODevice::Truncate));
        opener.write("#!/bin/sh\n: >\"$1.seen\"\nexit " + QByteArray::number(code) + "\n");
        opener.close();
        opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        bool failed = false;
        bw::desktop().open(QUrl::fromLocalFile(bin.filePath(QStringLiteral("x.doc"))), [&failed] { failed = true; });
        EXPECT_TRUE(QTest::qWaitFor([&bin] { return QFile::exists(bin.filePath(QStringLiteral("x.doc.seen"))); }));
        QTest::qWait(200);
        EXPECT_EQ(failed, code != 0) << code;
        QFile::remove(bin.filePath(QStringLiteral("x.doc.seen")));
    }
    setDesktop(recording);
    qputenv("PATH", path);
}

TEST_F(Help, MakerWindowHasNoCloseBoxAndAllItsPictures)
{
    TKWBfrm& w = kwb();
    EXPECT_FALSE(w.windowFlags() & Qt::WindowCloseButtonHint);
    EXPECT_FALSE(w.windowFlags() & Qt::WindowSystemMenuHint);
    EXPECT_FALSE(w.windowIcon().isNull());
    EXPECT_FALSE(w.BitBtn1->icon().isNull());
    EXPECT_EQ(w.ImageList1.size(), 15);
    for (const QImage& frame : w.ImageList1)
        EXPECT_EQ(frame.size(), QSize(32, 32));
}

TEST_F(Help, AnimationResumesWhereItStoppedAndWrapsAfterTheLastFrame)
{
    TKWBfrm& w = kwb();
    const quint8 start = w.frameCounter();
    for (int i = 0; i < 15; ++i)
        w.Timer1Timer();
    EXPECT_EQ(w.frameCounter(), start); // a full round
    const quint8 before = w.frameCounter();
    w.Timer1Timer();
    EXPECT_EQ(w.frameCounter(), (before + 1) % 15);
    // The picture shows the frame just drawn.
    const QImage shown = w.Image1->pixmap().toImage().convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(shown.pixel(16, 16), w.ImageList1.at(before).convertToFormat(QImage::Format_ARGB32).pixel(16, 16));
}

TEST_F(Help, TimerRunsOnlyWhileTheWindowIsOpen)
{
    TKWBfrm& w = kwb();
    EXPECT_FALSE(w.Timer1->isActive());
    EXPECT_EQ(w.Timer1->interval(), 150);
    for (int round = 0; round < 2; ++round) {
        w.show();
        w.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
        EXPECT_TRUE(w.Timer1->isActive());
        const quint8 before = w.frameCounter();
        QTRY_VERIFY(w.frameCounter() != before); // it animates
        if (round == 0)
            w.BitBtn1->click(); // "Schließen"
        else
            w.close(); // the window manager's close (Alt+F4)
        EXPECT_FALSE(w.isVisible());
        EXPECT_FALSE(w.Timer1->isActive());
        const quint8 stopped = w.frameCounter();
        QTest::qWait(2 * TKWBfrm::kFrameInterval);
        EXPECT_EQ(w.frameCounter(), stopped);
    }
}

TEST_F(Help, ContactLinesOpenTheirOwnText)
{
    TKWBfrm& w = kwb();
    // A line with nothing to say opens nothing.
    EXPECT_EQ(w.Label7->text(), QStringLiteral("–"));
    QTest::mouseClick(w.Label7, Qt::LeftButton);
    QTest::mouseClick(w.Label8, Qt::LeftButton);
    EXPECT_TRUE(desktop.opened.isEmpty());

    const QString page = w.Label8->text();
    const QString mail = w.Label7->text();
    w.Label8->setText(QStringLiteral("https://example.org/bildwiesel?x=1"));
    w.Label7->setText(QStringLiteral("post@example.org"));
    QTest::mouseClick(w.Label8, Qt::LeftButton);
    QTest::mouseClick(w.Label7, Qt::LeftButton);
    w.Label8->setText(page);
    w.Label7->setText(mail);
    ASSERT_EQ(desktop.opened.size(), 2);
    EXPECT_EQ(desktop.opened[0].toString(), QStringLiteral("https://example.org/bildwiesel?x=1"));
    EXPECT_EQ(desktop.opened[1].toString(), QStringLiteral("mailto:post@example.org"));
}

TEST(ProgramPaths, DataBesideTheBinaryOrInTheInstalledShareFolder)
{
    QTemporaryDir dir;
    const QDir root(dir.path());
    auto init = [&](const char* program) { InitPaths(QFile::encodeName(root.filePath(QString::fromLatin1(program))).toStdString()); };
    auto local = [&](const char* path) { return QFile::encodeName(root.filePath(QString::fromLatin1(path))).toStdString(); };

    // Installed: bin/ and share/bildwiesel/ side by side.
    root.mkpath(QStringLiteral("usr/bin"));
    root.mkpath(QStringLiteral("usr/share/bildwiesel/daten"));
    root.mkpath(QStringLiteral("usr/share/bildwiesel/musik"));
    init("usr/bin/bildwiesel");
    EXPECT_EQ(programPaths().programDirectory, local("usr/bin") + "/");
    EXPECT_EQ(programPaths().dataDirectory, local("usr/share/bildwiesel/daten") + "/");
    EXPECT_EQ(programPaths().musicDirectory, local("usr/share/bildwiesel/musik") + "/");

    // The build tree: the folders beside the binary win.
    root.mkpath(QStringLiteral("usr/bin/musik"));
    init("usr/bin/bildwiesel");
    EXPECT_EQ(programPaths().musicDirectory, local("usr/bin/musik") + "/");
    EXPECT_EQ(programPaths().dataDirectory, local("usr/bin") + "/"); // no daten/ there: the folder itself

    // Neither: everything is looked for in the program folder.
    root.mkpath(QStringLiteral("opt/bw"));
    init("opt/bw/bildwiesel");
    EXPECT_EQ(programPaths().dataDirectory, local("opt/bw") + "/");
    EXPECT_EQ(programPaths().musicDirectory, local("opt/bw") + "/");
    InitPaths();
}
