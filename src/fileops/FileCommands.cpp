#include "FileCommands.h"

#include "app/AppState.h"
#include "app/IconFrm.h"
#include "app/MainU.h"
#include "fileops/Export.h"
#include "fileops/IconFileWriter.h"
#include "fileops/KopierpfadFrm.h"
#include "fileops/MeldungFrm.h"
#include "icons/IconExtractor.h"
#include "support/Dialogs.h"
#include "support/Funky.h"
#include "support/Sound.h"
#include "view/PageState.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace bw {
namespace {

const QString kNothingLoaded = QStringLiteral("Keine Symbole geladen !");

std::int32_t entryCount()
{
    const AppState& s = appState();
    return s.catalogue ? s.catalogue->entryCount() : 0;
}

bool refreshDue(std::int64_t intervalMs) { return tickCount() - lastRefreshTick >= intervalMs; }

// Collects the lines of a single export: they go into the (hidden) report list as well, and are
// shown to the user, since a single command has no window of its own to show them in.
class SingleExportLines final : public ReportLines {
public:
    explicit SingleExportLines(TMeldungF& window) : m_window(window) {}
    void addLine(const QString& line) override
    {
        m_window.addLine(line);
        lines.append(line);
    }
    QStringList lines;

private:
    TMeldungF& m_window;
};

// Leaves the report window's pictures where the export left them.
struct ScratchPictures {
    ExportScratch scratch;
    ScratchPictures()
    {
        scratch.icon = appState().scratchIcon;
        scratch.bitmap = appState().scratchBitmap;
    }
    ~ScratchPictures()
    {
        appState().scratchIcon = scratch.icon;
        appState().scratchBitmap = scratch.bitmap;
    }
};

} // namespace

void copyPointerEntry(TIconF& main, const QString& extension)
{
    (void)main;
    runCommand([&] {
        const std::int32_t n = pageState().pointerEntry;
        if (n < 1 || n > entryCount())
            return; // an empty cell behind the last entry
        TMeldungF& report = *windows().MeldungF;
        SingleExportLines lines(report);
        ScratchPictures pictures;
        ExportDirectory directory(appState().copyDirectory);
        exportEntry(*appState().catalogue, n, extension.toStdString(), directory, lines, pictures.scratch);
        report.flushLines();
        if (!lines.lines.isEmpty())
            dialogs().message(lines.lines.join(kLineBreak), kAppTitle);
    });
}

void copyAllEntries(TIconF& main)
{
    runCommand([&] {
        const std::int32_t count = entryCount();
        if (count == 0) {
            dialogs().message(kNothingLoaded, kAppTitle);
            return;
        }
        TMeldungF& report = *windows().MeldungF;
        report.show();
        report.setWindowTitle(QStringLiteral("Alle Icons Kopieren"));
        report.Label1->setText(QString());
        report.clearList();
        const TMeldungF::Loop loop(report);
        ScratchPictures pictures;
        ExportDirectory directory(appState().copyDirectory);
        directory.learnExistingNames();
        const auto status = [count](std::int32_t done) {
            return QString::number(done) + QStringLiteral(" von ") + QString::number(count) + QStringLiteral(" Icons kopiert");
        };
        std::int32_t copied = 0;
        for (std::int32_t e = 1; e <= count; ++e) {
            exportEntry(*appState().catalogue, e, ".ico", directory, report, pictures.scratch);
            copied = e;
            if (refreshDue(1000)) {
                report.refresh(status(e));
                lastRefreshTick = tickCount();
            }
            if (report.cancelRequested)
                break;
        }
        report.Label1->setText(status(copied));
        report.flushLines();
        repaintCurrentPage(main);
        PlayWav(QStringLiteral("fertig"), 0);
    });
}

void copyMarkedEntries(TIconF& main)
{
    runCommand([&] {
        TMeldungF& report = *windows().MeldungF;
        report.clearList();
        report.show();
        const TMeldungF::Loop loop(report);
        lastRefreshTick = tickCount();
        const std::int32_t count = entryCount();
        const auto status = [count](std::int32_t copied) {
            return QString::number(copied) + QStringLiteral(" aus ") + QString::number(count) + QStringLiteral(" Icons kopiert");
        };
        ScratchPictures pictures;
        ExportDirectory directory(appState().copyDirectory);
        directory.learnExistingNames();
        std::int32_t copied = 0;
        for (std::int32_t e = 1; e <= count; ++e) {
            if ((*appState().catalogue)[e].marked) {
                exportEntry(*appState().catalogue, e, ".ico", directory, report, pictures.scratch);
                ++copied;
            }
            if (refreshDue(500)) {
                report.refresh(status(copied));
                lastRefreshTick = tickCount();
            }
            if (report.cancelRequested)
                break;
        }
        report.Label1->setText(status(copied));
        report.flushLines();
        repaintCurrentPage(main);
    });
}

void chooseCopyDirectory(TIconF&) { windows().KopierpfadF->exec(); }

void bitmapToIcon(TIconF&)
{
    runCommand([] {
        const std::optional<QString> source = dialogs().openPicture(QStringLiteral("Speicher BMP as ICO"), QStringLiteral("*.bmp"));
        if (!source)
            return;
        AppState& s = appState();
        s.scratchIcon = extractIcon(std::filesystem::path(QFile::encodeName(*source).toStdString()), 0);
        std::optional<QString> target = dialogs().savePicture(QStringLiteral("*.ico"), QStringLiteral("ico"));
        if (!target)
            return;
        if (QFileInfo(*target).suffix().isEmpty())
            *target += QStringLiteral(".ico");
        // The icon is checked before the file is touched, and the file is replaced in one step,
        // so a failure never leaves an empty or half-written file, nor loses the one that was there.
        const std::optional<QByteArray> bytes = encodeIcon16(s.scratchIcon);
        if (!bytes)
            throw CommandError(QStringLiteral("Ungültiges Symbol"));
        QSaveFile file(*target);
        if (!file.open(QIODevice::WriteOnly) || file.write(*bytes) != bytes->size() || !file.commit())
            throw CommandError(QStringLiteral("Datei %1 kann nicht erstellt werden").arg(*target));
    });
}

} // namespace bw
