// Files that change while they are read: a library cut short or rewritten during a batch of
// extractions, or replaced by a shorter one between two paints of the page, gives "no icon" and
// never ends the program. Each case runs in a child process, so a crash fails the test instead of
// ending the test program.

#include "catalogue/Catalogue.h"
#include "icons/IconExtractor.h"
#include "icons/MappedFile.h"
#include "support/TestUtil.h"
#include "view/PagePainter.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <thread>

using namespace testutil;
namespace fs = std::filesystem;

namespace {

// Runs `body` in a child; the result is its exit status, or the signal that ended it.
struct ChildResult {
    bool exited = false;
    int status = -1;
    int signal = 0;
};

ChildResult inChild(const std::function<int()>& body)
{
    std::fflush(nullptr);
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    ChildResult r;
    r.exited = WIFEXITED(status);
    r.status = r.exited ? WEXITSTATUS(status) : -1;
    r.signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
    return r;
}

// A library large enough to be mapped, not read: 200 icons, padded at its end.
fixtures::Bytes largeLibrary()
{
    fixtures::Bytes bytes = libraryWithIcons(200);
    bytes.resize(std::max<std::size_t>(bytes.size(), bw::MappedFile::kReadLimit * 4), 0);
    return bytes;
}

void shrink(const fs::path& path, off_t size)
{
    const int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::ftruncate(fd, size), 0);
    ::close(fd);
}

class ChangingFiles : public ::testing::Test {
protected:
    QTemporaryDir dir;
    fs::path library = fs::path(dir.path().toStdString()) / "lib.dll";
    void SetUp() override { writeFile(library, largeLibrary()); }
};

TEST_F(ChangingFiles, FileCutShortInsideABatchGivesNoIconInsteadOfACrash)
{
    for (const off_t size : {off_t(0), off_t(4096), off_t(bw::MappedFile::kReadLimit + 100)}) {
        SCOPED_TRACE(size);
        const ChildResult r = inChild([&] {
            const bw::ExtractionBatch batch;
            if (bw::extractIcon(library, 0).isNull())
                return 10; // the intact file must give its icon
            shrink(library, size);
            int gotIcons = 0;
            for (int i = 0; i < 200; ++i) {
                gotIcons += bw::extractIcon(library, i).isNull() ? 0 : 1;
                if (i == 0 && size == 0 && bw::lastReadError() != bw::ReadError::FileDamaged)
                    return 13; // the mapping lost its bytes under the reader
            }
            if (size == 0 && gotIcons != 0)
                return 11;
            bw::releaseFileCache();
            return bw::iconCount(library) == 200 ? 12 : 0; // no longer the whole library
        });
        EXPECT_TRUE(r.exited) << "ended by signal " << r.signal;
        EXPECT_EQ(r.status, 0);
        writeFile(library, largeLibrary());
    }
}

TEST_F(ChangingFiles, CountingAFileCutShortWhileMappedGivesNothing)
{
    const ChildResult r = inChild([&] {
        bw::MappedFile file(library);
        if (!file.isOpen() || !file.isMapped())
            return 10;
        shrink(library, 0);
        const int count = bw::iconCount(file.reader());
        return count == 0 && file.damaged() ? 0 : 11;
    });
    EXPECT_TRUE(r.exited) << "ended by signal " << r.signal;
    EXPECT_EQ(r.status, 0);
}

TEST_F(ChangingFiles, ABatchOnOneThreadTrustsNothingOnAnother)
{
    const bw::ExtractionBatch batch; // a page being painted
    int before = 0;
    int after = 0;
    std::thread([&] {
        writeFile(library, libraryWithIcons(1));
        before = bw::iconCount(library);
        writeFile(library, libraryWithIcons(2));
        after = bw::iconCount(library);
    }).join();
    EXPECT_EQ(before, 1);
    EXPECT_EQ(after, 2);
}

// The painter's window without a window: icons straight from the files.
class FileHost final : public bw::PaintHost {
public:
    void setNumberPanel(const QString&) override {}
    void setCountPanel(const QString&) override {}
    void setRangePanel(const QString&) override {}
    void refreshNow(const QRect&) override {}
    QImage extractIcon(std::string_view path, int index) override { return bw::extractIcon(fs::path(std::string(path)), index); }
};

TEST_F(ChangingFiles, FileReplacedByAShorterOneBetweenTwoPaints)
{
    const ChildResult r = inChild([&] {
        bw::Catalogue catalogue(200);
        for (int i = 0; i < 200; ++i)
            catalogue.appendEntry(library.string(), static_cast<std::uint16_t>(i));
        bw::PageState page;
        QImage canvas(20 * bw::kCellPitch, 10 * bw::kCellPitch, QImage::Format_RGB32);
        bw::computeGrid(page, canvas.width(), canvas.height());
        FileHost host;
        bw::paintEntries(canvas, catalogue, page, Qt::gray, 1, 200, host);
        if (catalogue[200].defective)
            return 10;
        // Rewritten in place by another program: same inode, now two icons and shorter.
        fixtures::Bytes shorter = libraryWithIcons(2);
        shorter.resize(bw::MappedFile::kReadLimit + 10, 0);
        writeFile(library.string() + ".neu", shorter);
        shrink(library, 0);
        fs::copy_file(library.string() + ".neu", library, fs::copy_options::overwrite_existing);
        bw::paintEntries(canvas, catalogue, page, Qt::gray, 1, 200, host);
        return !catalogue[1].defective && catalogue[3].defective && catalogue[200].defective ? 0 : 11;
    });
    EXPECT_TRUE(r.exited) << "ended by signal " << r.signal;
    EXPECT_EQ(r.status, 0);
}

// Only the program's own mappings are mended: a fault anywhere else still ends the process.
TEST_F(ChangingFiles, OtherBusErrorsStillEndTheProcess)
{
    const ChildResult r = inChild([&] {
        bw::MappedFile keepsHandler(library); // installs the handler
        const int fd = ::open(library.c_str(), O_RDWR);
        auto* p = static_cast<volatile std::uint8_t*>(::mmap(nullptr, 8192, PROT_READ, MAP_SHARED, fd, 0));
        ::ftruncate(fd, 0);
        return p[4096] == 0 ? 20 : 21;
    });
    EXPECT_FALSE(r.exited && (r.status == 20 || r.status == 21));
}

} // namespace
