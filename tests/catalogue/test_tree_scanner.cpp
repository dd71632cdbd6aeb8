// Walking directory trees for the reading commands.

#include "catalogue/DirectoryListing.h"
#include "catalogue/TreeScanner.h"
#include "catalogue/Volumes.h"
#include "icons/IconExtractor.h"
#include "support/TestUtil.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

using namespace bw;
namespace fs = std::filesystem;

namespace {

// Counts icons for real, records what the progress window would show, and can cancel.
class Recorder final : public IndexerHost, public ScanProgress {
public:
    QStringList lines;
    QStringList searchLabels;
    std::string caption;
    std::int32_t entryCount = -1;
    std::atomic<bool> cancel = false;
    bool cancelAtNextPump = false;
    std::function<void(const std::string&)> onCaption;

    void blankPage() override {}
    void setCountPanel(const QString&) override {}
    void pumpMessages() override { cancel = cancel || cancelAtNextPump; }
    void computePageGeometry() override {}
    void reportCatalogueFull() override { cancel = true; }
    std::int64_t tickCount() override { return 0; }
    int iconCountOf(std::string_view path) override { return iconCount(fs::path(std::string(path))); }

    void setCaption(const std::string& path) override
    {
        caption = path;
        if (onCaption)
            onCaption(path);
    }
    void setSearchLabel(const QString& text) override { searchLabels << text; }
    void setEntryCount(std::int32_t entries) override { entryCount = entries; }
    void addLine(const QString& text) override { lines << text; }
    bool cancelled() override { return cancel; }
};

class Scan : public ::testing::Test {
protected:
    QTemporaryDir dir;
    fs::path root {dir.path().toStdString()};
    Catalogue catalogue {1'000'000};
    Recorder recorder;

    // Qt cannot remove names that are not UTF-8; the standard library can.
    void TearDown() override { fs::remove_all(root); }

    void ico(const fs::path& relative) { put(relative, testutil::solidIcon(qRgb(255, 0, 0))); }
    void put(const fs::path& relative, const fixtures::Bytes& bytes)
    {
        fs::create_directories((root / relative).parent_path());
        testutil::writeFile(root / relative, bytes);
    }
    std::vector<std::string> paths() const
    {
        std::vector<std::string> out;
        for (std::int32_t n = 1; n <= catalogue.entryCount(); ++n)
            out.emplace_back(catalogue[n].path().substr(root.string().size() + 1));
        return out;
    }
    // Counts the icons of a file on the workers, and how often each file was counted.
    std::mutex countedMutex;
    std::map<std::string, int> counted;
    std::function<void(const std::string&)> onCount;
    int countIcons(int directory, const char* name, const std::string& path)
    {
        if (onCount)
            onCount(path);
        const std::lock_guard lock(countedMutex);
        ++counted[path.substr(root.string().size() + 1)];
        return iconCountAt(directory, name, path);
    }

    // Reads as the program does, with worker threads unless told otherwise.
    void scan(const std::vector<std::string>& masks, int workers = TreeWalk::kWorkers, int window = TreeWalk::kWindow,
              const std::vector<std::string>& skipRoots = {})
    {
        TreeScanner scanner(catalogue, recorder, recorder);
        scanner.setWorkers(workers, window);
        scanner.setIconCounter(
            [this](int directory, const char* name, const std::string& path) { return countIcons(directory, name, path); });
        std::vector<std::string> patterns;
        for (const std::string& mask : masks)
            patterns.push_back(root.string() + "/" + mask);
        scanner.scanTrees(patterns, skipRoots);
    }
};

} // namespace

TEST_F(Scan, DepthFirstFilesBeforeSubdirectoriesHiddenNeverRead)
{
    ico("z.ico");
    ico("b/b1.ico");
    ico("a/a1.ico");
    ico("a/deep/d.ICO");
    ico(".svn/s.ico");
    ico(".versteckt.ico");
    put("a/x.exe", testutil::libraryWithIcons(2));
    scan({"*.ico", "*.exe"});
    EXPECT_EQ(paths(), (std::vector<std::string> {"z.ico", "a/a1.ico", "a/deep/d.ICO", "b/b1.ico", "a/x.exe", "a/x.exe"}));
    EXPECT_EQ(catalogue[6].iconIndex, 1);
    EXPECT_EQ(recorder.caption, (root / "a/x.exe").string());
    EXPECT_EQ(recorder.entryCount, 6);
    EXPECT_EQ(recorder.searchLabels.first(), "Suche *.ico Dateien .");
    EXPECT_EQ(recorder.searchLabels.last(), "Suche *.exe Dateien .");
    EXPECT_EQ(recorder.lines.size(), 5);
    EXPECT_EQ(recorder.lines.first(), QString::fromStdString((root / "z.ico").string()));
}

// Each later pattern passes by the trees the earlier walks found without a file for it: what it
// finds, however deep below such trees, comes in the order of reading it alone. A mask "*.ext"
// matches the ends of names in any case; every other mask ("*" too) is matched whole, even where
// its last letter is that of such a mask.
TEST_F(Scan, PatternsFindTheirFilesInTheOrderOfReadingEachAlone)
{
    const struct {
        const char* what;
        std::vector<const char*> icons, others; // others: found by "*" alone, and no icon file
        std::vector<std::string> patterns, expected;
    } cases[] = {
        {"trees found empty before",
         {"a/1.ico", "b/2.cur", "b/c/3.ico", "b/c/x.ico", "b/c/d/4.cur", "e/f/5.ani", "6.cur"},
         {},
         {"*.ico", "*.cur", "*.ani", "x*.ico", "b/*.cur"},
         {"a/1.ico", "b/c/3.ico", "b/c/x.ico", "6.cur", "b/2.cur", "b/c/d/4.cur", "e/f/5.ani", "b/c/x.ico", "b/2.cur", "b/c/d/4.cur"}},
        {"suffix masks in any case",
         {"s/a.ico", "s/b.ICO", "s/c.icO", "s/f.CUR", "s/g.cuR", "s/h.cur"},
         {"s/d.xico", "s/e.ico.bak", "s/ico", "s/xcur"},
         {"s/*.IcO", "s/*.cur", "s/?.cur", "s/*"},
         {"s/a.ico", "s/b.ICO", "s/c.icO", "s/f.CUR", "s/g.cuR", "s/h.cur", "s/f.CUR", "s/g.cuR", "s/h.cur", "s/a.ico", "s/b.ICO",
          "s/c.icO", "s/f.CUR", "s/g.cuR", "s/h.cur"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        for (const char* file : c.icons)
            ico(file);
        for (const char* file : c.others)
            put(file, {'x'});
        for (const int workers : {0, TreeWalk::kWorkers}) {
            catalogue.clearCatalogue();
            scan(c.patterns, workers);
            EXPECT_EQ(paths(), c.expected);
        }
    }
}

TEST_F(Scan, ProgressLinesStopAt32000Entries)
{
    put("a.dll", testutil::libraryWithIcons(3));
    ico("b.ico");
    for (int i = 0; i < 31'999; ++i)
        catalogue.appendEntry("/x.ico", 0);
    scan({"*.dll", "*.ico"});
    EXPECT_EQ(catalogue.entryCount(), 32'003);
    EXPECT_EQ(recorder.lines, QStringList {QString::fromStdString((root / "a.dll").string())}); // no marker ever

    catalogue.clearCatalogue();
    recorder.lines.clear();
    for (int i = 0; i < 32'000; ++i)
        catalogue.appendEntry("/x.ico", 0);
    ico("c.ico");
    scan({"*.ico"});
    EXPECT_EQ(recorder.lines, QStringList {QStringLiteral("** Maximum der Listbox erreicht **")});
}

TEST_F(Scan, CancelStopsBeforeTheNextFileAndKeepsWhatWasRead)
{
    ico("a/1.ico");
    ico("a/2.ico");
    ico("b/3.ico");
    recorder.onCaption = [this](const std::string& path) {
        if (path.ends_with("2.ico"))
            recorder.cancel = true;
    };
    scan({"*.ico", "*.cur"});
    EXPECT_EQ(paths(), std::vector<std::string> {"a/1.ico"});
}

TEST_F(Scan, HostileTreeCompletes)
{
    ico("gut.ico");
    put("kaputt.ico", {'n', 'i', 'x'});
    put("lib.dll", testutil::libraryWithIcons(3));
    ASSERT_EQ(::mkfifo((root / "pipe.ico").c_str(), 0600), 0);
    const bool device = ::mknod((root / "null.ico").c_str(), S_IFCHR | 0600, makedev(1, 3)) == 0; // needs root
    fs::create_directory_symlink(root, root / "schleife");                                        // a loop through a link
    fs::create_symlink(root / "nirgends", root / "tot.ico");                                      // a dangling link
    fs::create_symlink(root / "gut.ico", root / "verweis.ico");                                   // a link to a file counts
    fs::create_symlink(root / "verweis2.ico", root / "verweis1.ico");                             // a link cycle
    fs::create_symlink(root / "verweis1.ico", root / "verweis2.ico");
    fs::create_directories(root / "zu");
    ico("zu/geheim.ico");
    ::chmod((root / "zu").c_str(), 0);
    fs::path deep = root / "tief";
    fs::create_directory(deep);
    for (int i = 0; i < 1000; ++i) {
        deep /= "d";
        fs::create_directory(deep);
    }
    testutil::writeFile(deep / "unten.ico", testutil::solidIcon(qRgb(1, 2, 3)));
    const std::string latin1 = std::string("gr\xfc\xdf") + ".ico";
    ico(latin1);
    ico("weg/bald.ico");
    ico("weg/frueher.ico");
    recorder.onCaption = [this](const std::string& path) {
        if (path.ends_with("bald.ico"))
            fs::remove(root / "weg/frueher.ico"); // removed while the read runs
    };

    scan({"*.ico", "*.dll"});
    ::chmod((root / "zu").c_str(), 0700);
    std::vector<std::string> found = paths();
    auto has = [&](const std::string& p) { return std::find(found.begin(), found.end(), p) != found.end(); };
    EXPECT_TRUE(has("gut.ico"));
    EXPECT_TRUE(has("kaputt.ico")); // an icon by name: it shows up as defective later
    EXPECT_TRUE(has("verweis.ico"));
    EXPECT_TRUE(has(latin1)); // the bytes of the name are kept
    EXPECT_TRUE(has("lib.dll"));
    EXPECT_EQ(std::count(found.begin(), found.end(), "lib.dll"), 3);
    EXPECT_FALSE(has("pipe.ico"));
    EXPECT_FALSE(has("null.ico")) << device;
    EXPECT_FALSE(has("tot.ico"));
    EXPECT_FALSE(has("verweis1.ico"));
    EXPECT_FALSE(std::any_of(found.begin(), found.end(), [](const std::string& p) { return p.starts_with("schleife"); }));
    EXPECT_TRUE(std::any_of(found.begin(), found.end(), [](const std::string& p) { return p.ends_with("/d/unten.ico"); }));
    EXPECT_TRUE(has("weg/bald.ico"));
    // frueher.ico was listed, then removed before its turn: as an icon name it is still
    // catalogued, and the page shows it as missing.
    EXPECT_TRUE(has("weg/frueher.ico"));
}

TEST_F(Scan, PathsTooLongToOpenAreReportedOnce)
{
    // Directories of 200-byte names, made through descriptors, until the paths pass PATH_MAX.
    const std::string name(200, 'v');
    std::string relative;
    int fd = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
    while (root.string().size() + relative.size() < 3900) {
        ASSERT_EQ(::mkdirat(fd, name.c_str(), 0700), 0);
        const int sub = ::openat(fd, name.c_str(), O_RDONLY | O_DIRECTORY);
        ::close(fd);
        fd = sub;
        relative += "/" + name;
    }
    const std::string fileName = std::string(200, 'f') + ".ico"; // this file's path is too long
    const int file = ::openat(fd, fileName.c_str(), O_WRONLY | O_CREAT, 0600);
    ::close(file);
    ::mkdirat(fd, name.c_str(), 0700); // and this directory's
    ::close(fd);
    ico("kurz.ico");

    scan({"*.ico", "*.cur", "*.exe"});
    EXPECT_EQ(paths(), std::vector<std::string> {"kurz.ico"});
    const std::string deep = root.string() + relative + "/";
    EXPECT_EQ(recorder.lines.filter(QStringLiteral("Pfad zu lang")),
              (QStringList {pathTooLongLine(deep + fileName), pathTooLongLine(deep + name + "/")}));
    // The standard library cannot remove such a tree by path; rm walks it by descriptors.
    EXPECT_EQ(std::system(("rm -rf '" + (root / name).string() + "'").c_str()), 0);
}

TEST_F(Scan, AFolderThatCannotBeListedIsNamedOnceAndCounted)
{
    put("a.dll", testutil::libraryWithIcons(1));
    ico("weg/b.ico");
    // Without workers the folder is listed only after the library is counted: it is gone by then.
    onCount = [this](const std::string&) { fs::remove_all(root / "weg"); };
    scan({"*.dll", "*.ico"}, 0);
    EXPECT_EQ(paths(), std::vector<std::string> {"a.dll"});
    EXPECT_EQ(recorder.lines.filter(QStringLiteral("kann nicht")),
              QStringList {QString::fromStdString((root / "weg").string()) + QStringLiteral("/..kann nicht gelesen werden.")});
    EXPECT_EQ(catalogue.unreadableDirectories(), 1);
}

TEST_F(Scan, DeepTreesBeyondTheDirectoriesKeptOpenReadFullyAndCloseThemAll)
{
    // A chain deeper than the directories a walk keeps open for their subdirectories: each
    // level waits for its sibling "b" until the chain below it is read.
    std::vector<std::string> expected, libraries;
    std::string level;
    for (int d = 0; d < 160; ++d, level += "a/") {
        ico(level + "k" + std::to_string(d) + ".ico");
        ico(level + "b/b" + std::to_string(d) + ".ico");
        expected.insert(expected.begin() + d, level + "k" + std::to_string(d) + ".ico");
        expected.insert(expected.begin() + d + 1, level + "b/b" + std::to_string(d) + ".ico");
        put(level + "l.dll", testutil::libraryWithIcons(1)); // held open until counted, then closed
        libraries.push_back(level + "l.dll");
    }
    expected.insert(expected.end(), libraries.begin(), libraries.end());
    const auto openDescriptors = [] { return std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()); };
    const auto before = openDescriptors();
    for (const int workers : {0, 1, 4}) {
        SCOPED_TRACE(workers);
        catalogue.clearCatalogue();
        scan({"*.ico", "*.cur", "*.dll"}, workers, 64);
        TreeWalk::waitUntilNoWorkersRun();
        EXPECT_EQ(paths(), expected);
        EXPECT_EQ(openDescriptors(), before);
    }
    // A read cancelled deep down leaves nothing open either.
    catalogue.clearCatalogue();
    recorder.onCaption = [&](const std::string& path) { recorder.cancelAtNextPump = path.ends_with("k150.ico"); };
    scan({"*.ico"}, 2, 64);
    TreeWalk::waitUntilNoWorkersRun();
    EXPECT_EQ(catalogue.entryCount(), 151); // k0 to k150
    EXPECT_EQ(openDescriptors(), before);
}

TEST_F(Scan, AListingOpensByItsParentOrElseByItsPath)
{
    ico("d/a.ico");
    ico("d/b.exe");
    fs::create_directories(root / "d/sub");
    fs::create_directories(root / "other");
    const int parent = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
    const int other = ::open((root / "other").c_str(), O_RDONLY | O_DIRECTORY);
    const int closed = ::open(root.c_str(), O_RDONLY | O_DIRECTORY);
    ::close(closed);
    const auto icoOnly = [](std::string_view name, const void*) { return name.ends_with(".ico"); };
    struct Case {
        int parentDescriptor;
        const char* name;
    };
    for (const Case c : {Case {parent, "d"}, Case {-1, ""}, Case {closed, "d"}, Case {other, "d"}}) {
        SCOPED_TRACE(c.parentDescriptor);
        const DirectoryListing listing = listDirectory(root.string() + "/d/", 0, {c.parentDescriptor, c.name, true, icoOnly, nullptr});
        EXPECT_EQ(listing.files, std::vector<std::string> {"a.ico"});
        EXPECT_EQ(listing.subdirectories, std::vector<std::string> {"sub"});
        struct stat kept {
        }, byPath {};
        ASSERT_EQ(::fstat(listing.descriptor, &kept), 0);
        ::stat((root / "d").c_str(), &byPath);
        EXPECT_EQ(kept.st_ino, byPath.st_ino);
        ::close(listing.descriptor);
    }
    ::close(parent);
    ::close(other);
}

TEST_F(Scan, OnlyTheRootsOfOtherListedVolumesAreSkipped)
{
    ico("a/a.ico");
    ico("vol/v.ico");    // the root of a volume read in its own turn
    ico("vol2/w/w.ico"); // not listed: a subvolume or unlisted mount belongs to this read
    TreeScanner scanner(catalogue, recorder, recorder);
    scanner.scanTrees({root.string() + "/*.ico"}, {root.string() + "/", root.string() + "/vol/"});
    EXPECT_EQ(paths(), (std::vector<std::string> {"a/a.ico", "vol2/w/w.ico"}));
}

TEST_F(Scan, TheWalkOpensEachLibraryOnceAndChangesNothing)
{
    put("a/x.exe", testutil::libraryWithIcons(2));
    put("a/b/y.DLL", testutil::libraryWithIcons(1));
    put("a/b/kaputt.dll", {'M', 'Z'});
    ico("a/i.ico");
    ico("a/c.cur");
    put("a/notiz.txt", {'x'});
    put(".versteckt/z.dll", testutil::libraryWithIcons(1));
    put("anderes/w.dll", testutil::libraryWithIcons(1));
    ASSERT_EQ(::mkfifo((root / "a/rohr.dll").c_str(), 0600), 0);
    const std::vector<std::string> masks = {"*.ico", "*.cur", "*.exe", "*.dll", "*.*"};
    const std::vector<std::string> skip = {root.string() + "/anderes/"};

    scan(masks, 0, 1, skip);
    const std::vector<std::string> alone = paths();
    const QStringList linesAlone = recorder.lines;
    catalogue.clearCatalogue();
    recorder.lines.clear();
    counted.clear();
    scan(masks, 2, 1, skip);
    EXPECT_EQ(paths(), alone);
    EXPECT_EQ(recorder.lines, linesAlone);
    // Each file once though two masks match it; icons are catalogued by name, a FIFO is no file,
    // hidden and skipped directories are not entered.
    EXPECT_EQ(counted, (std::map<std::string, int> {{"a/b/kaputt.dll", 1}, {"a/b/y.DLL", 1}, {"a/notiz.txt", 1}, {"a/x.exe", 1}}));
    EXPECT_EQ(alone.size(), 10u); // i.ico, c.cur, x.exe twice, y.DLL, then again with kaputt.dll (no icons)
}

TEST_F(Scan, WorkersFinishingOutOfOrderChangeNothing)
{
    // Libraries of 1 to 3 icons everywhere, in a wide tree and a deep one; counting takes
    // longer for some files than others, so the workers finish out of order.
    for (int d = 0; d < 12; ++d) {
        const std::string wide = "breit" + std::to_string(d) + "/";
        put(wide + "p.exe", testutil::libraryWithIcons(1 + d % 3));
        put(wide + "sub/q.dll", testutil::libraryWithIcons(1 + (d + 1) % 3));
        ico(wide + "r.ico");
    }
    std::string deep;
    for (int d = 0; d < 20; ++d) {
        deep += "t/";
        put(deep + "lib" + std::to_string(d) + ".dll", testutil::libraryWithIcons(1 + d % 3));
    }
    onCount = [](const std::string& path) { std::this_thread::sleep_for(std::chrono::microseconds(path.size() % 7 * 300)); };

    const std::vector<std::vector<std::string>> maskSets
        = {{"*.ico", "*.exe", "*.dll"}, {"*.dll", "*.*"}, {"*.exe"}, {"q.*", "*.ico", "p.exe"}};
    struct Walkers {
        int workers, window;
    };
    for (const auto& masks : maskSets) {
        catalogue.clearCatalogue();
        recorder.lines.clear();
        scan(masks, 0);
        const std::vector<std::string> alone = paths();
        const QStringList linesAlone = recorder.lines;
        for (const Walkers w : {Walkers {1, 1}, Walkers {4, 2}, Walkers {4, 256}, Walkers {8, 5}}) {
            SCOPED_TRACE(masks.front() + " " + std::to_string(w.workers) + "/" + std::to_string(w.window));
            catalogue.clearCatalogue();
            recorder.lines.clear();
            counted.clear();
            scan(masks, w.workers, w.window);
            EXPECT_EQ(paths(), alone);
            EXPECT_EQ(recorder.lines, linesAlone);
            EXPECT_TRUE(std::all_of(counted.begin(), counted.end(), [](const auto& c) { return c.second == 1; }));
        }
    }
}

TEST_F(Scan, CountsFinishedWhileTheReadWaitsAreTakenWithoutTheLock)
{
    // The workers count only once the read has taken the directory and holds at its first file,
    // which it leaves when all are counted; then it takes each count as done without the walk's
    // lock: what a worker stored must be there with it.
    for (int f = 0; f < 40; ++f)
        put("d/" + std::to_string(100 + f) + ".dll", testutil::libraryWithIcons(1 + f % 3));
    std::atomic<bool> holding = false;
    std::atomic<int> counting = 0;
    const auto waitFor = [](const auto& ready) {
        for (int i = 0; i < 1000 && !ready(); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
    };
    onCount = [&](const std::string&) {
        waitFor([&] { return holding.load(); });
        ++counting;
    };
    recorder.onCaption = [&](const std::string& path) {
        if (!path.ends_with("/100.dll"))
            return;
        holding = true;
        waitFor([&] { return counting == 40; });
        std::this_thread::sleep_for(std::chrono::milliseconds(50)); // and the last count stored
    };
    scan({"*.dll"});
    EXPECT_EQ(catalogue.entryCount(), 40 + 39);
}

TEST_F(Scan, ACancelEndsTheReadAndItsWorkersThoughOneIsStuck)
{
    // The first library's count hangs (a slow device) until the read has ended.
    for (int d = 0; d < 100; ++d)
        put("d" + std::to_string(d) + "/x.dll", testutil::libraryWithIcons(1));
    std::atomic<bool> stuck = false;
    std::atomic<bool> release = false;
    onCount = [&](const std::string& path) {
        if (!path.ends_with("d0/x.dll"))
            return;
        stuck = true;
        stuck.notify_all();
        release.wait(false);
    };
    // The read comes to the file while a worker hangs on it, and is cancelled while it waits.
    recorder.onCaption = [&](const std::string& path) {
        if (path.ends_with("d0/x.dll")) {
            stuck.wait(false);
            recorder.cancelAtNextPump = true;
        }
    };
    // Should the read not end by itself, the hang ends after a while and the test fails.
    std::thread guard([&] {
        for (int i = 0; i < 1000 && !release; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        release = true;
        release.notify_all();
    });
    scan({"*.dll"}, 4, 8);
    const bool endedWhileStuck = !release;
    release = true;
    release.notify_all();
    guard.join();
    TreeWalk::waitUntilNoWorkersRun();
    EXPECT_TRUE(endedWhileStuck);
    EXPECT_EQ(catalogue.entryCount(), 0);
    // The workers stopped within their window: 8 directories beyond d0, where the read was.
    EXPECT_LE(counted.size(), 9u);
}

TEST(MountTable, FileSystemTypeByDeviceFromTheBytesOfTheTable)
{
    // A mount point that is not UTF-8 and one with an escaped blank must not disturb the lookup.
    const std::string table = "22 1 0:21 / /proc rw,nosuid shared:5 - proc proc rw\n"
                              "23 1 0:5 / /dev rw,nosuid shared:2 - devtmpfs udev rw,size=4096k\n"
                              "30 1 8:1 / /media/gr\xfc\xdf\\040stick rw shared:7 master:1 - vfat /dev/sda1 rw\n"
                              "kaputt\n"
                              "31 1 8:2 / /ohne rw\n";
    EXPECT_EQ(fileSystemTypeOfDevice(makedev(0, 21), table), "proc");
    EXPECT_EQ(fileSystemTypeOfDevice(makedev(0, 5), table), "devtmpfs");
    EXPECT_EQ(fileSystemTypeOfDevice(makedev(8, 1), table), "vfat");
    EXPECT_EQ(fileSystemTypeOfDevice(makedev(8, 2), table), ""); // no separator: no type
    EXPECT_EQ(fileSystemTypeOfDevice(makedev(9, 9), table), "");

    struct stat proc {};
    ASSERT_EQ(::stat("/proc", &proc), 0);
    EXPECT_EQ(fileSystemTypeOfDevice(proc.st_dev), "proc");
}
