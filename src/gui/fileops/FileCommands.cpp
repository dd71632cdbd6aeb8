#include "FileCommands.h"

#include "fileops/Export.h"
#include "fileops/IconFileWriter.h"
#include "gui/catalogue/CollectionCommands.h"
#include "gui/fileops/KopierpfadFrm.h"
#include "gui/fileops/MeldungFrm.h"
#include "gui/support/Sound.h"
#include "gui/widgets/AppState.h"
#include "gui/widgets/MainWindowAccess.h"
#include "icons/IconExtractor.h"
#include "support/Dialogs.h"
#include "support/Funky.h"
#include "support/Pacer.h"
#include "support/SafeFile.h"
#include "view/PageState.h"

#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMimeData>

namespace bw {
namespace {

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

} // namespace

void copyPointerEntry(AppState& state, std::int32_t entry, TMeldungF& report, ExportFormat format)
{
    runCommand([&] {
        if (!isCatalogueEntry(state, entry))
            return; // an empty cell behind the last entry
        SingleExportLines lines(report);
        ExportDirectory directory(state.copyDirectory);
        const CollectionKeptPictures kept(state);
        exportEntry(*state.catalogue, entry, format, directory, lines, &kept);
        report.flushLines();
        if (!lines.lines.isEmpty())
            dialogs().message(lines.lines.join(kLineBreak), kAppTitle);
    });
}

namespace {

// The loop of the copy commands: exports every entry that `chosen` accepts, shows `status` as the
// pacer allows, and stops after the entry during whose refresh "Abbrechen" was pressed.
// Returns the entries passed and the files written. An export that ends the loop (a full disk)
// still leaves the status line with what was written before its message is shown.
struct CopyCounts {
    std::int32_t passed = 0;
    std::int32_t written = 0;
};
template <typename Chosen, typename Status>
CopyCounts copyLoop(AppState& state, TMeldungF& report, std::int32_t count, Pacer& pacer, Chosen chosen, Status status)
{
    const TMeldungF::Loop loop(report);
    ExportDirectory directory(state.copyDirectory);
    directory.learnExistingNames();
    const CollectionKeptPictures kept(state);
    CopyCounts counts;
    // A file counts once it has its name, which in a long copy comes after its batch's sync.
    directory.nameInBatches([&counts](std::int32_t, const std::string&) { ++counts.written; });
    try {
        for (std::int32_t e = 1; e <= count; ++e) {
            if (chosen(e))
                exportEntry(*state.catalogue, e, state.copyFormat, directory, report, &kept);
            counts.passed = e;
            if (pacer.due()) {
                directory.flush(); // the status names every file written so far, and "Abbrechen" stops after them
                report.refresh(status(counts));
                pacer.refreshed();
            }
            if (report.cancelRequested)
                break;
        }
        directory.flush(); // done or cancelled: what was written gets its name
    } catch (const CommandError&) {
        directory.flushAfterError();
        report.Label1->setText(status(counts));
        throw;
    }
    report.Label1->setText(status(counts));
    return counts;
}

} // namespace

namespace {

// Reports an entry whose icon cannot be read (or whose source is gone), in the report list and
// in a message.
void reportNotLoaded(const IconEntry& entry, std::int32_t n, TMeldungF& report, const QString& why = kNotLoaded)
{
    SingleExportLines lines(report);
    lines.addPathLine(QStringLiteral("Nr: ") + QString::number(n) + QStringLiteral(".."), entry.path(), why);
    report.flushLines();
    dialogs().message(lines.lines.join(kLineBreak), kAppTitle);
}

} // namespace

void copyPointerEntryToClipboard(const AppState& state, std::int32_t n, TMeldungF& report)
{
    runCommand([&] {
        if (!isCatalogueEntry(state, n))
            return; // an empty cell behind the last entry
        const IconEntry& entry = (*state.catalogue)[n];
        // An entry whose source is gone or changed gives the picture the page shows: its stored one.
        const std::optional<QImage> kept = CollectionKeptPictures(state).disconnected(n);
        const QImage picture = kept ? *kept : extractLargestIcon(std::filesystem::path(std::string(entry.path())), entry.iconIndex);
        if (picture.isNull()) {
            reportNotLoaded(entry, n, report);
            return;
        }
        // Image editors look for "image/png"; Qt's own image type is offered as well.
        auto* data = new QMimeData;
        data->setImageData(picture);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        if (picture.convertToFormat(QImage::Format_ARGB32).save(&buffer, "PNG"))
            data->setData(QStringLiteral("image/png"), png);
        QGuiApplication::clipboard()->setMimeData(data);
    });
}

void copyPointerReferenceToClipboard(const AppState& state, std::int32_t n, TMeldungF& report)
{
    runCommand([&] {
        if (!isCatalogueEntry(state, n))
            return;
        const IconEntry& entry = (*state.catalogue)[n];
        if (isDisconnected(state, n)) {
            reportNotLoaded(entry, n, report, kNotPresent); // another file's groups would name another icon
            return;
        }
        const std::string path(entry.path());
        const std::optional<IconOrigin> origin = iconOrigin(std::filesystem::path(path), entry.iconIndex);
        if (!origin) {
            reportNotLoaded(entry, n, report);
            return;
        }
        QGuiApplication::clipboard()->setText(iconReference(QFile::decodeName(QByteArray::fromStdString(path)), *origin));
    });
}

void copyAllEntries(AppState& state, TMeldungF& report, MainWindowAccess& main)
{
    runCommand([&] {
        const std::int32_t count = catalogueEntryCount(state);
        if (count == 0) {
            dialogs().message(kNothingLoaded, kAppTitle);
            return;
        }
        report.show();
        report.setWindowTitle(QStringLiteral("Alle Icons Kopieren"));
        report.Label1->setText(QString());
        report.clearList();
        Pacer pacer(1000);
        copyLoop(
            state, report, count, pacer, [](std::int32_t) { return true; },
            [count](const CopyCounts& c) {
                return QString::number(c.written) + QStringLiteral(" von ") + QString::number(count) + QStringLiteral(" Icons kopiert");
            });
        main.repaintPage();
        PlayWav(QStringLiteral("fertig"), 0);
    });
}

void copyMarkedEntries(AppState& state, TMeldungF& report, MainWindowAccess& main)
{
    runCommand([&] {
        report.clearList();
        report.show();
        Pacer pacer(500);
        pacer.refreshed(); // the first refresh comes after a whole interval
        const std::int32_t count = catalogueEntryCount(state);
        const auto marked = [&state](std::int32_t e) { return (*state.catalogue)[e].marked != 0; };
        copyLoop(state, report, count, pacer, marked, [count](const CopyCounts& c) {
            return QString::number(c.written) + QStringLiteral(" aus ") + QString::number(count) + QStringLiteral(" Icons kopiert");
        });
        main.repaintPage();
    });
}

void chooseCopyDirectory(AppState& state, TKopierpfadF& chooser, MainWindowAccess& main)
{
    if (const std::optional<std::string> chosen = chooser.choose(state.copyDirectory)) {
        state.copyDirectory = *chosen;
        main.setCopyDirectoryPanel(pathText(*chosen));
    }
}

void bitmapToIcon()
{
    runCommand([&] {
        const std::optional<QString> source = dialogs().openPicture(QStringLiteral("Speicher BMP as ICO"), QStringLiteral("*.bmp"));
        if (!source)
            return;
        const QImage icon = extractIcon(std::filesystem::path(QFile::encodeName(*source).toStdString()), 0);
        std::optional<QString> target = dialogs().savePicture(QStringLiteral("*.ico"), QStringLiteral("ico"));
        if (!target)
            return;
        if (QFileInfo(*target).suffix().isEmpty())
            *target += QStringLiteral(".ico");
        // The icon is checked before the file is touched, and the file is replaced in one step,
        // so a failure never leaves an empty or half-written file, nor loses the one that was there.
        const std::optional<QByteArray> bytes = encodeIcon16(icon);
        if (!bytes)
            throw CommandError(QStringLiteral("Ungültiges Symbol"));
        if (!replaceFile(std::filesystem::path(QFile::encodeName(*target).toStdString()), *bytes))
            throw CommandError(QStringLiteral("Datei %1 kann nicht erstellt werden").arg(*target));
    });
}

} // namespace bw
