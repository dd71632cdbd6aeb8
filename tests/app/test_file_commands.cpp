// Copying icons out in the real main window: the copy loops with their report window, the
// single-entry copies, the copy-directory chooser and "Bmp Als Ico".

#include "catalogue/Volumes.h"
#include "gui/app/IconFrm.h"
#include "gui/app/MainU.h"
#include "gui/catalogue/EinleseFrm.h"
#include "gui/fileops/FileCommands.h"
#include "gui/fileops/IconDrag.h"
#include "gui/fileops/KopierpfadFrm.h"
#include "gui/fileops/MeldungFrm.h"
#include "gui/settings/EinstellFrm.h"
#include "gui/widgets/AppState.h"
#include "support/Funky.h"
#include "support/ProgramSession.h"
#include "support/ScriptedDialogs.h"
#include "support/TestUtil.h"
#include "support/WindowChecks.h"
#include "view/PageState.h"

#include <QClipboard>
#include <QFile>
#include <QGuiApplication>
#include <QMimeData>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <sys/mount.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <tuple>

using namespace bw;
namespace fs = std::filesystem;

namespace {

// A clock for deciding exactly when a loop's refresh comes: time jumps once a watched file exists.
// A long copy names its files only after their batch's sync, so its loop is watched by the clock
// itself: the copy loop reads it once per entry, and it jumps at the read after entry n.
int clockReadsLeft = 0;
std::int64_t clockJumpingAtRead() { return --clockReadsLeft <= 0 ? 1'000'000 : 0; }

class FileCommands : public testutil::ProgramTest {
protected:
    QTemporaryDir copyDir;
    fs::path copies {copyDir.path().toStdString()};

    void put(const std::string& relative, const fixtures::Bytes& bytes) { testutil::writeFile(tree / relative, bytes); }
    void start() { testutil::startProgram(config.path(), tree.string(), copies.string()); }
    TIconF& main() { return *windows().IconF; }
    TMeldungF& report() { return *windows().MeldungF; }
    Catalogue& catalogue() { return *appState().catalogue; }
    QStringList reportLines() { return testutil::linesOf(report().ListBox1); }
    std::size_t copiedFiles() const
    {
        return static_cast<std::size_t>(std::distance(fs::directory_iterator(copies), fs::directory_iterator()));
    }
    std::string targetOf(std::int32_t n)
    {
        const std::string path(catalogue()[n].path());
        const std::string name = fs::path(path).filename().string();
        return (copies / (std::to_string(n) + "_" + name.substr(0, name.size() - 4) + ".ico")).string();
    }
};

// A 48 x 48 PNG with half-transparent pixels beside a 16 x 16 image: the largest image is the PNG.
QImage large()
{
    QImage picture(48, 48, QImage::Format_ARGB32);
    picture.fill(qRgba(10, 200, 30, 128));
    return picture;
}
std::vector<fixtures::IconImage> twoSizes()
{
    return {fixtures::dibImage(testutil::solid(qRgb(255, 0, 0), 16, 16), 32), {48, 48, 1, 32, fixtures::pngData(large())}};
}
QImage pictureOf(const QByteArray& png) { return QImage::fromData(png, "PNG").convertToFormat(QImage::Format_ARGB32); }

} // namespace

TEST_F(FileCommands, ExportFormatDecidesWhatTheLoopsWriteAndIsKeptBesideTheSettings)
{
    put("two.dll", fixtures::peFile({fixtures::GroupIcon {.images = twoSizes()}}, false));
    start();
    catalogue()[1].marked = 1;
    pageState().pointerEntry = 1;
    // What is written: 'c' the 16-colour icon (one image), 'o' the group as stored (both), 'p' the PNG.
    const std::tuple<QAction * TIconF::*, int, char> cases[] = {{&TIconF::AlleKopieren1, 0, 'c'},
                                                                {&TIconF::AlleKopieren1, 1, 'o'},
                                                                {&TIconF::AusgewhlteKopieren1, 1, 'o'},
                                                                {&TIconF::AlleKopieren1, 2, 'p'},
                                                                {&TIconF::AusgewhlteKopieren1, 2, 'p'},
                                                                // The single-entry copies keep to their own format, whatever the choice.
                                                                {&TIconF::Kopieren2, 2, 'c'},
                                                                {&TIconF::OriginalKopieren1, 0, 'o'},
                                                                {&TIconF::AlsPNGKopieren1, 0, 'p'}};
    for (const auto& [command, format, written] : cases) {
        SCOPED_TRACE(std::string(1, written) + std::to_string(format));
        fs::remove_all(copies);
        fs::create_directory(copies);
        windows().EinstellF->ComboBox1->setCurrentIndex(format);
        (main().*command)->trigger();
        report().close();
        const fixtures::Bytes bytes = testutil::readFile(copies / (written == 'p' ? "1_two.png" : "1_two.ico"));
        EXPECT_EQ(copiedFiles(), 1u);
        const QByteArray content(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
        EXPECT_EQ(written == 'p' ? pictureOf(content) : large(), large());
        // Byte 4: the number of images of an icon file, the '\r' of a PNG's signature.
        EXPECT_EQ(content.size() > 6 ? content[4] : 0, written == 'c' ? 1 : written == 'o' ? 2 : '\r');
    }
    // The choice outlives the program in a file of its own; bwsave.kwb keeps its ten lines.
    windows().EinstellF->ComboBox1->setCurrentIndex(1);
    main().Ende1->trigger();
    const fixtures::Bytes conf = testutil::readFile(config.path().toStdString() + "/bildwiesel/bildwiesel.conf");
    EXPECT_TRUE(std::string(conf.begin(), conf.end()).starts_with("copyformat=original\n")); // then the marks of the later types
    destroyWindows();
    appState() = AppState {};
    start();
    EXPECT_EQ(appState().copyFormat, ExportFormat::Original);
}

TEST_F(FileCommands, ClipboardGetsTheLargestImageWithItsAlpha)
{
    put("a.ico", fixtures::iconFile(twoSizes()));
    put("b.ico", fixtures::iconFile(twoSizes()));
    start();
    testutil::writeFile(tree / "b.ico", fixtures::Bytes(30, 'j')); // lost its icon meanwhile
    main().activateWindow();
    main().Bild->setFocus();
    QTRY_VERIFY(main().Bild->hasFocus());
    QClipboard& clipboard = *QGuiApplication::clipboard();
    // Ctrl+C or the popup's command; the entry under the pointer; the picture put there; messages.
    const std::tuple<bool, std::int32_t, QImage, qsizetype> cases[]
        = {{true, 1, large(), 0}, {false, 1, large(), 0}, {true, 3, QImage(), 0}, {false, 2, QImage(), 1}};
    for (const auto& [key, entry, picture, messages] : cases) {
        SCOPED_TRACE(entry);
        clipboard.clear();
        dialogs.shown.clear();
        pageState().pointerEntry = entry;
        key ? QTest::keyClick(main().Bild, Qt::Key_C, Qt::ControlModifier) : main().Zwischenablage1->trigger();
        const QMimeData* data = clipboard.mimeData();
        EXPECT_EQ(pictureOf(data ? data->data(QStringLiteral("image/png")) : QByteArray()), picture);
        EXPECT_EQ(clipboard.image().convertToFormat(QImage::Format_ARGB32), picture);
        EXPECT_EQ(dialogs.shown.size(), messages);
    }
    EXPECT_TRUE(dialogs.shown.value(0).text.endsWith("b.ico..Icon kann nicht GELADEN werden ."));
}

TEST_F(FileCommands, ReferenceOnTheClipboardAsWindowsWritesIt)
{
    put("a.ico", fixtures::iconFile(twoSizes()));
    put("b.ico", fixtures::iconFile(twoSizes()));
    put("c.dll", fixtures::peFile({{std::nullopt, 184, {0x0409}, twoSizes()}}, false));
    start();
    ASSERT_EQ(catalogue().entryCount(), 3);
    fs::remove(tree / "b.ico");
    QClipboard& clipboard = *QGuiApplication::clipboard();
    const std::tuple<std::int32_t, QString, qsizetype> cases[] = {{1, ",0", 0}, {3, ",-184", 0}, {2, QString(), 1}};
    for (const auto& [entry, tail, messages] : cases) {
        SCOPED_TRACE(entry);
        clipboard.setText(QStringLiteral("vorher"));
        dialogs.shown.clear();
        pageState().pointerEntry = entry;
        main().VerweisKopieren1->trigger();
        EXPECT_EQ(clipboard.text(),
                  tail.isEmpty() ? QStringLiteral("vorher") : QString::fromStdString(std::string(catalogue()[entry].path())) + tail);
        EXPECT_EQ(dialogs.shown.size(), messages);
    }
}

// What a drag out of the page offers: the icons as PNG files, written when a target asks for them,
// and the dragged one's picture.
TEST_F(FileCommands, DragOffersTheIconsAsPngFilesAndAsPicture)
{
    put("a.ico", fixtures::iconFile(twoSizes()));
    put("b.ico", testutil::solidIcon(qRgb(0, 0, 255)));
    put("c.ico", testutil::solidIcon(qRgb(0, 0, 255)));
    start();
    ASSERT_EQ(catalogue().entryCount(), 3);
    testutil::writeFile(tree / "c.ico", fixtures::Bytes(30, 'j')); // lost its icon meanwhile
    const QImage blue = testutil::solid(qRgb(0, 0, 255)).convertToFormat(QImage::Format_ARGB32);
    // A folder a killed run left behind, and one of a run that lives.
    QTemporaryDir base;
    const fs::path killed = fs::path(base.path().toStdString()) / "ziehen-alt1";
    fs::create_directory(killed);
    ASSERT_TRUE(fs::exists(testutil::writeFile(killed / "1_alt.png", {})));
    DragFolder living(base.path().toStdString());
    ASSERT_FALSE(living.newDragDirectory().empty());
    std::optional<DragFolder> folder(std::in_place, base.path().toStdString());
    const struct {
        std::vector<std::int32_t> marked;
        std::int32_t dragged;
        std::vector<QImage> files; // none and no picture: no drag at all
        QImage picture;
    } cases[] = {{{}, 1, {large()}, large()},
                 {{2}, 1, {large()}, large()},          // an unmarked cell goes alone
                 {{1, 2, 3}, 2, {large(), blue}, blue}, // a marked one takes the marked ones that can be read
                 {{1, 3}, 3, {large()}, QImage()},
                 {{}, 3, {}, QImage()}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dragged);
        for (std::int32_t n = 1; n <= 3; ++n)
            catalogue()[n].marked = std::find(c.marked.begin(), c.marked.end(), n) != c.marked.end();
        const std::unique_ptr<QMimeData> data = pageDragData(catalogue(), c.dragged, *folder);
        ASSERT_EQ(data != nullptr, !c.files.empty());
        if (!data)
            continue;
        EXPECT_EQ(pictureOf(data->data(QStringLiteral("image/png"))), c.picture);
        ASSERT_TRUE(data->hasUrls());
        const QList<QUrl> urls = data->urls();
        std::vector<QImage> files;
        for (const QUrl& url : urls)
            files.push_back(QImage(url.toLocalFile(), "PNG").convertToFormat(QImage::Format_ARGB32));
        EXPECT_EQ(files, c.files);
        EXPECT_EQ(data->urls(), urls); // asked again: the same files
        // As the desktop asks for them: bytes, one URL a line.
        EXPECT_EQ(data->data(QStringLiteral("text/uri-list")).count("file:///"), qsizetype(urls.size()));
    }
    // Icons of files of one name keep apart.
    const std::string twice = folder->newDragDirectory();
    const std::string a = (tree / "a.ico").string();
    EXPECT_EQ(writeDragFiles(twice, {{a, 0, {}}, {a, 0, {}}}),
              (QStringList {QString::fromStdString(twice + "a.png"), QString::fromStdString(twice + "a (2).png")}));
    // Only the user may enter the folder; the killed run's is gone; each goes when its run ends.
    EXPECT_EQ(fs::status(folder->path()).permissions(), fs::perms::owner_all);
    EXPECT_FALSE(fs::exists(killed));
    EXPECT_TRUE(fs::exists(living.path()));
    const std::string path = folder->path();
    folder.reset();
    EXPECT_FALSE(fs::exists(path));
}

TEST_F(FileCommands, AllCopiedWithStatusAndAPreExistingFileKept)
{
    for (int i = 0; i < 5; ++i)
        put("i" + std::to_string(i) + ".ico", testutil::solidIcon(qRgb(0, 0, 255)));
    put("lib.dll", testutil::libraryWithIcons(2));
    start();
    ASSERT_EQ(catalogue().entryCount(), 7);
    const fixtures::Bytes foreign {'a', 'l', 't'};
    testutil::writeFile(targetOf(1), foreign);

    main().AlleKopieren1->trigger();
    EXPECT_TRUE(report().isVisible());
    EXPECT_EQ(report().windowTitle(), "Alle Icons Kopieren");
    EXPECT_EQ(report().Label1->text(), "7 von 7 Icons kopiert");
    EXPECT_TRUE(reportLines().isEmpty());
    EXPECT_EQ(copiedFiles(), 8u);
    EXPECT_EQ(testutil::readFile(targetOf(1)), foreign);
    EXPECT_FALSE(main().isEnabled()); // until the report window is closed
    report().BitBtn1->click();
    EXPECT_TRUE(main().isEnabled());
}

// "Abbrechen" or a close request of the report window at the loop's first refresh stops it there;
// the main window waits for the loop's end.
TEST_F(FileCommands, StoppingTheReportWindowStopsTheLoop)
{
    for (int i = 0; i < 100; ++i)
        put("icon" + std::to_string(1000 + i) + ".ico", testutil::solidIcon(qRgb(255, 0, 0)));
    start();
    ASSERT_EQ(catalogue().entryCount(), 100);
    const struct {
        const char* name;
        int refreshAfter;
        std::function<void(TMeldungF&)> stop;
    } cases[] = {{"Abbrechen", 40, [](TMeldungF& r) { r.BitBtn1->click(); }},
                 {"close request", 10, [](TMeldungF& r) { testutil::requestClose(r); }}}; // the close button, or Alt+F4
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(copies);
        fs::create_directory(copies);
        clockReadsLeft = c.refreshAfter;
        setTickSource(clockJumpingAtRead);
        bool mainEnabledDuringLoop = true;
        QTimer::singleShot(0, &report(), [&] {
            c.stop(report());
            mainEnabledDuringLoop = main().isEnabled();
        });
        main().AlleKopieren1->trigger();
        EXPECT_FALSE(mainEnabledDuringLoop);
        EXPECT_EQ(report().Label1->text(), QString::number(c.refreshAfter) + " von 100 Icons kopiert");
        EXPECT_EQ(copiedFiles(), static_cast<std::size_t>(c.refreshAfter));
        EXPECT_FALSE(report().isVisible());
        EXPECT_TRUE(main().isEnabled());
    }
}

TEST_F(FileCommands, MissingCopyDirectoryEndsTheLoopWithTheMessage)
{
    put("a.exe", testutil::libraryWithIcons(3));
    start();
    fs::remove(copies);
    main().AlleKopieren1->trigger();
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].text.toStdString(), "Datei " + copies.string() + "/1_a.ico kann nicht erstellt werden");
    EXPECT_EQ(report().Label1->text(), "0 von 3 Icons kopiert"); // what was written before the error
    EXPECT_TRUE(report().isVisible());
    EXPECT_FALSE(main().isEnabled());
    report().close();
    EXPECT_TRUE(main().isEnabled());
}

// The status line counts the files written: entries that fail, a copy directory that is gone, a
// full disk and a read-only one, which end the loop at once with their cause.
TEST_F(FileCommands, StatusLineCountsTheFilesWritten)
{
    for (int i = 0; i < 6; ++i)
        put("i" + std::to_string(i) + ".ico", testutil::solidIcon(qRgb(0, 0, 255)));
    put("kaputt.ico", {'x', 'y'});
    start();
    appState().copyFormat = ExportFormat::Png;
    const std::string folder = copies.string();
    struct Case {
        const char* name;
        const char* mountOptions; // a small tmpfs as the copy directory, or none
        unsigned long mountFlags;
        bool removeFolder;
        int lines;       // report lines, -1: not checked
        QString message; // the one message that ends the loop
        bool someWritten;
    };
    const QString kFull = QString::fromStdString("Kein Platz mehr auf dem Datenträger des Kopierverzeichnisses " + folder
                                                 + ", das Kopieren wurde beendet.");
    const QString kReadOnly
        = QString::fromStdString("Das Kopierverzeichnis " + folder + " ist schreibgeschützt, das Kopieren wurde beendet.");
    const Case cases[] = {
        {"one broken icon", nullptr, 0, false, 1, {}, true},
        {"copy folder gone", nullptr, 0, true, 7, {}, false},
        {"full disk", "size=8k", 0, false, -1, kFull, true},
        {"read-only folder", "size=8k", MS_RDONLY, false, 0, kReadOnly, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove_all(copies);
        fs::create_directory(copies);
        if (c.mountOptions && ::mount("tmpfs", folder.c_str(), "tmpfs", c.mountFlags, c.mountOptions) != 0) {
            std::printf("%s: not tested, no tmpfs can be mounted here (%s)\n", c.name, std::strerror(errno));
            continue;
        }
        if (c.removeFolder)
            fs::remove(copies);
        dialogs.shown.clear();
        main().AlleKopieren1->trigger();
        const std::size_t written = c.removeFolder ? 0 : copiedFiles();
        EXPECT_EQ(report().Label1->text(), QString::number(written) + " von 7 Icons kopiert");
        EXPECT_EQ(written > 0, c.someWritten) << written;
        EXPECT_LT(written, 7u);
        if (c.lines >= 0) {
            EXPECT_EQ(reportLines().size(), c.lines) << reportLines().join('|').toStdString();
        }
        EXPECT_EQ(dialogs.shown.size(), c.message.isEmpty() ? 0 : 1);
        EXPECT_EQ(dialogs.shown.value(0).text, c.message);
        report().close();
        if (c.mountOptions)
            ::umount(folder.c_str());
    }
    fs::create_directories(copies);
}

TEST_F(FileCommands, MarkedOnlyAndNothingMarked)
{
    put("lib.dll", testutil::libraryWithIcons(4));
    start();
    main().AusgewhlteKopieren1->trigger();
    EXPECT_EQ(report().windowTitle(), "Kopieren"); // this command sets no caption
    EXPECT_EQ(report().Label1->text(), "0 aus 4 Icons kopiert");
    EXPECT_EQ(copiedFiles(), 0u);
    report().close();

    catalogue()[2].marked = 1;
    catalogue()[4].marked = 1;
    main().AusgewhlteKopieren1->trigger();
    EXPECT_EQ(report().Label1->text(), "2 aus 4 Icons kopiert");
    EXPECT_TRUE(fs::exists(copies / "2_lib_1.ico"));
    EXPECT_TRUE(fs::exists(copies / "4_lib_3.ico"));
    EXPECT_EQ(catalogue()[2].marked, 1); // marks stay
    report().close();

    appState().catalogue->clearCatalogue();
    main().AusgewhlteKopieren1->trigger();
    EXPECT_EQ(report().Label1->text(), "0 aus 0 Icons kopiert");
}

TEST_F(FileCommands, SingleEntryCopiesAndTheirFailures)
{
    put("lib.dll", testutil::libraryWithIcons(2));
    start();
    pageState().pointerEntry = 2;
    main().Kopieren2->trigger();
    main().AlsBMPKopieren1->trigger();
    EXPECT_TRUE(fs::exists(copies / "2_lib_1.ico"));
    EXPECT_TRUE(fs::exists(copies / "2_lib_1.bmp"));
    EXPECT_FALSE(report().isVisible());
    EXPECT_TRUE(dialogs.shown.isEmpty());

    // An empty cell behind the last entry: nothing happens.
    pageState().pointerEntry = 3;
    main().Kopieren2->trigger();
    EXPECT_EQ(copiedFiles(), 2u);

    // A file that lost its icons meanwhile: the report line is shown, no file is written.
    testutil::writeFile(tree / "lib.dll.neu", testutil::libraryWithIcons(1));
    fs::rename(tree / "lib.dll.neu", tree / "lib.dll");
    pageState().pointerEntry = 2;
    main().Kopieren2->trigger();
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_TRUE(dialogs.shown[0].text.endsWith("lib.dll..Icon kann nicht GELADEN werden ."));
    EXPECT_EQ(copiedFiles(), 2u);
}

TEST_F(FileCommands, ChooserTakesTheDirectoryOnOkOnly)
{
    fs::create_directories(tree / "Icons");
    for (int i = 0; i < 12; ++i)
        testutil::writeFile(tree / "Icons" / ("f" + std::to_string(i)), {1});
    start();
    appState().copyDirectory = (tree / "Icons").string() + "/";
    TKopierpfadF& chooser = *windows().KopierpfadF;

    QTimer::singleShot(0, &chooser, [&] {
        EXPECT_EQ(chooser.windowTitle(), "Kopierverzeichnis hat 12 Dateien");
        EXPECT_EQ(chooser.Label1->text().toStdString(), (tree / "Icons").string() + "/");
        chooser.DirectoryListBox1->setDirectory("/");
        chooser.BitBtn2->click(); // Cancel after browsing
    });
    main().StatusBar2->clicked();
    EXPECT_EQ(appState().copyDirectory, (tree / "Icons").string() + "/");

    QTimer::singleShot(0, &chooser, [&] {
        chooser.DirectoryListBox1->setDirectory(tree.string()); // no trailing slash: one is added
        chooser.BitBtn1->click();
    });
    main().StatusBar2->clicked();
    EXPECT_EQ(appState().copyDirectory, tree.string() + "/");
    EXPECT_EQ(main().StatusBar2->panelText(1).toStdString(), tree.string() + "/");

    QTimer::singleShot(0, &chooser, [&] {
        EXPECT_EQ(chooser.DirectoryListBox1->directory(), tree.string() + "/"); // starts from the copy directory
        chooser.DirectoryListBox1->setDirectory("/");
        chooser.BitBtn1->click();
    });
    main().StatusBar2->clicked();
    EXPECT_EQ(appState().copyDirectory, "/");
}

// The chooser lists the tree as it is at each opening: a new subdirectory shows, a removed one
// does not and cannot be chosen, nor can a copy directory removed meanwhile.
TEST_F(FileCommands, ChooserListsTheTreeAsItIsAtEveryOpening)
{
    fs::create_directories(tree / "Kopie" / "alt");
    fs::create_directories(tree / "Kopie" / "bleibt");
    start();
    appState().copyDirectory = (tree / "Kopie").string() + "/";
    TKopierpfadF& chooser = *windows().KopierpfadF;
    const auto shownSubdirectories = [&] {
        std::vector<std::string> names;
        for (int i = 0; i < chooser.DirectoryListBox1->count(); ++i) {
            const std::string d = chooser.DirectoryListBox1->item(i)->data(Qt::UserRole).toByteArray().toStdString();
            if (d.size() > appState().copyDirectory.size() && d.starts_with(appState().copyDirectory))
                names.push_back(d.substr(appState().copyDirectory.size()));
        }
        return names;
    };
    const auto open = [&](const std::function<void()>& inside) {
        QTimer::singleShot(0, &chooser, [&] {
            inside();
            chooser.BitBtn2->click();
        });
        main().StatusBar2->clicked();
    };
    open([&] { EXPECT_EQ(shownSubdirectories(), (std::vector<std::string> {"alt/", "bleibt/"})); });
    fs::remove(tree / "Kopie" / "alt");
    fs::create_directories(tree / "Kopie" / "neu");
    open([&] {
        EXPECT_EQ(shownSubdirectories(), (std::vector<std::string> {"bleibt/", "neu/"}));
        fs::remove(tree / "Kopie" / "neu"); // gone while the window is open
        QListWidgetItem* neu = chooser.DirectoryListBox1->item(chooser.DirectoryListBox1->count() - 1);
        emit chooser.DirectoryListBox1->itemDoubleClicked(neu);
        EXPECT_EQ(chooser.DirectoryListBox1->directory(), appState().copyDirectory);
        EXPECT_EQ(shownSubdirectories(), std::vector<std::string> {"bleibt/"});
    });
    fs::remove_all(tree / "Kopie");
    QTimer::singleShot(0, &chooser, [&] { chooser.BitBtn1->click(); });
    main().StatusBar2->clicked();
    EXPECT_EQ(appState().copyDirectory, tree.string() + "/");
}

TEST(Volumes, ADirectoryBelongsToTheVolumeWithTheLongestRoot)
{
    const std::vector<Volume> volumes {{"/", {}}, {"/boot/", {}}, {"/boot/efi/", {}}};
    EXPECT_EQ(volumeRootOf("/boot/efi/EFI/", volumes), "/boot/efi/");
    EXPECT_EQ(volumeRootOf("/boot/grub/", volumes), "/boot/");
    EXPECT_EQ(volumeRootOf("/home/", volumes), "/");
    EXPECT_EQ(volumeRootOf("/bootx/", volumes), "/");
}

TEST(Volumes, ChoosingAVolumeMovesTheListThereEvenFromANestedVolume)
{
    std::string nested;
    for (const Volume& v : mountedVolumes())
        if (v.root != "/" && isDirectory(v.root))
            nested = v.root;
    if (nested.empty())
        GTEST_SKIP() << "no volume mounted below /";
    DirectoryListBox list(nullptr, QStringLiteral("list"));
    list.setDrive("/");
    list.setDirectory(nested);
    list.setDrive("/");
    EXPECT_EQ(list.directory(), "/");
    list.setDrive(nested);
    EXPECT_EQ(list.directory(), nested);
}

TEST_F(FileCommands, BitmapToIcon)
{
    const fs::path bitmap
        = testutil::writeFile(tree / "bild.bmp", fixtures::bmpFile(testutil::solid(qRgb(255, 0, 0), 16, 16), fixtures::BmpKind::Bits24));
    const fs::path junk = testutil::writeFile(tree / "junk.bmp", fixtures::Bytes(30, 'j'));
    start();
    // Cancelled open dialog: no save dialog.
    main().BmpAlsIco1->trigger();
    ASSERT_EQ(dialogs.shown.size(), 1);
    EXPECT_EQ(dialogs.shown[0].kind, "open");
    EXPECT_EQ(dialogs.shown[0].caption, "Speicher BMP as ICO");
    EXPECT_EQ(dialogs.shown[0].text, "*.bmp");

    // A name without extension gets ".ico".
    dialogs.shown.clear();
    dialogs.openAnswers = {QString::fromStdString(bitmap.string())};
    dialogs.saveAnswers = {QString::fromStdString((copies / "rot").string())};
    main().BmpAlsIco1->trigger();
    ASSERT_EQ(dialogs.shown.size(), 2);
    EXPECT_EQ(dialogs.shown[1].kind, "save");
    EXPECT_EQ(dialogs.shown[1].text, "*.ico");
    EXPECT_EQ(dialogs.shown[1].caption, "ico");
    ASSERT_TRUE(fs::exists(copies / "rot.ico"));
    EXPECT_EQ(fs::file_size(copies / "rot.ico"), 766u);

    // A file that gives no icon: the message, and the file chosen to replace stays as it was.
    dialogs.shown.clear();
    dialogs.openAnswers = {QString::fromStdString(junk.string())};
    dialogs.saveAnswers = {QString::fromStdString((copies / "rot.ico").string()), QString::fromStdString((copies / "neu.ico").string())};
    const fixtures::Bytes before = testutil::readFile(copies / "rot.ico");
    main().BmpAlsIco1->trigger();
    ASSERT_EQ(dialogs.shown.size(), 3);
    EXPECT_EQ(dialogs.shown[2].text, "Ungültiges Symbol");
    EXPECT_EQ(testutil::readFile(copies / "rot.ico"), before);
    dialogs.openAnswers = {QString::fromStdString(junk.string())};
    main().BmpAlsIco1->trigger();
    EXPECT_FALSE(fs::exists(copies / "neu.ico"));

    // An existing file chosen (the dialog asked) is replaced by the new icon.
    testutil::writeFile(copies / "alt.ico", {9, 9});
    dialogs.openAnswers = {QString::fromStdString(bitmap.string())};
    dialogs.saveAnswers = {QString::fromStdString((copies / "alt.ico").string())};
    main().BmpAlsIco1->trigger();
    EXPECT_EQ(fs::file_size(copies / "alt.ico"), 766u);

    // A target that cannot be created.
    dialogs.shown.clear();
    dialogs.openAnswers = {QString::fromStdString(bitmap.string())};
    dialogs.saveAnswers = {QString::fromStdString((copies / "nicht/da.ico").string())};
    main().BmpAlsIco1->trigger();
    ASSERT_EQ(dialogs.shown.size(), 3);
    EXPECT_EQ(dialogs.shown[2].text.toStdString(), "Datei " + (copies / "nicht/da.ico").string() + " kann nicht erstellt werden");
}
