#include "Export.h"

#include "catalogue/Indexer.h"
#include "fileops/BitmapExport.h"
#include "fileops/IconFileWriter.h"
#include "icons/IconExtractor.h"
#include "support/Dialogs.h"
#include "support/Funky.h"
#include "support/SafeFile.h"

#include <QBuffer>

#include <dirent.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <filesystem>
#include <memory>
#include <system_error>

namespace bw {

ExportWay exportWayFor(std::string_view sourcePath, ExportFormat format)
{
    switch (format) {
    case ExportFormat::Original: return ExportWay::Original;
    case ExportFormat::Png: return ExportWay::Png;
    case ExportFormat::Bitmap: return ExportWay::ExtractedIcon;
    case ExportFormat::Icon: break;
    }
    const std::string source = fileExtensionLower(sourcePath);
    if (source == ".ico" || source == ".cur")
        return ExportWay::PlainCopy;
    if (source == ".bmp")
        return ExportWay::IconFromBitmap;
    return ExportWay::ExtractedIcon;
}

std::string exportBaseName(std::int32_t entryNumber, std::string_view sourcePath, std::uint16_t iconIndex)
{
    const std::size_t slash = sourcePath.rfind('/');
    const std::string_view fileName = slash == std::string_view::npos ? sourcePath : sourcePath.substr(slash + 1);
    // The name without the last four characters, an extension of three letters; the one type of
    // the list with a longer extension, ".icns", loses its five, so that "apfel.icns" gives "apfel".
    const std::size_t cut = fileExtensionLower(fileName) == ".icns" ? 5 : 4;
    const std::string_view base = fileName.size() > cut ? fileName.substr(0, fileName.size() - cut) : std::string_view();
    std::string name = std::to_string(entryNumber) + "_" + std::string(base);
    if (iconIndex > 0)
        name += "_" + std::to_string(iconIndex);
    return name;
}

void ReportLines::addPathLine(const QString& before, std::string_view path, const QString& after)
{
    addLine(before + pathText(path) + after);
}

namespace {

// "Nr: n..path..message", with the path's bytes kept for those who write bytes.
void reportEntry(ReportLines& report, std::int32_t n, std::string_view path, const QString& message)
{
    report.addPathLine(QStringLiteral("Nr: ") + QString::number(n) + QStringLiteral(".."), path, message);
}

} // namespace

ExportDirectory::ExportDirectory(std::string directory, Durability durability)
    : m_directory(withTrailingSlash(std::move(directory)))
    , m_durability(durability)
{
}

void ExportDirectory::learnExistingNames()
{
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(m_directory.c_str()), ::closedir);
    if (!dir)
        return; // nothing known: every name is tried on the disk
    while (const dirent* e = ::readdir(dir.get()))
        m_taken.insert(e->d_name);
}

std::string ExportDirectory::candidate(const std::string& base, std::string_view extension, std::uint64_t k, std::size_t keepTail) const
{
    const std::string counter = k == 0 ? std::string() : "_" + std::to_string(k);
    std::string name = base;
    const std::size_t length = base.size() + counter.size() + extension.size();
    if (length > kMaxFileNameBytes) {
        // Too long for the file system: shorten the source's part of the name (after "n_",
        // before "_index"), so the number, index, counter and extension all stay.
        const std::size_t head = std::min(base.find('_') + 1, base.size());
        const std::size_t tail = std::min(keepTail, base.size() - head);
        std::size_t end = base.size() - tail;
        std::size_t start = end - std::min(length - kMaxFileNameBytes, end - head);
        // Never leave half of a UTF-8 character: cut at the start of one.
        while (start > head && (static_cast<unsigned char>(base[start]) & 0xC0) == 0x80)
            --start;
        name = base.substr(0, start) + base.substr(end);
    }
    return name + counter + std::string(extension);
}

namespace {

using Outcome = ExportDirectory::Outcome;

CommandError cannotCreate(const std::string& target)
{
    return CommandError(QStringLiteral("Datei "), target, QStringLiteral(" kann nicht erstellt werden"));
}

// A full disk or a copy directory that takes no files fails every further entry the same way:
// the export ends at once with the cause, instead of one line per entry while each is encoded.
void stopOnDirectoryFault(const NewFile& file, const ExportDirectory& directory)
{
    std::string path = directory.path();
    if (path.size() > 1)
        path.pop_back(); // the directory as the user named it, without its trailing '/'
    switch (file.error()) {
    case ENOSPC:
    case EDQUOT:
        throw CommandError(QStringLiteral("Kein Platz mehr auf dem Datenträger des Kopierverzeichnisses "), path,
                           QStringLiteral(", das Kopieren wurde beendet."));
    case EROFS:
        throw CommandError(QStringLiteral("Das Kopierverzeichnis "), path,
                           QStringLiteral(" ist schreibgeschützt, das Kopieren wurde beendet."));
    case EACCES:
    case EPERM:
        throw CommandError(QStringLiteral("Zugriff verweigert: In das Kopierverzeichnis "), path,
                           QStringLiteral(" kann nicht geschrieben werden, das Kopieren wurde beendet."));
    default: break;
    }
}

// Puts the bytes into a new, still unnamed file: complete and on disk before it gets a name.
WriteResult prepare(NewFile& file, const QByteArray& bytes, bool syncNow)
{
    if (!file.isOpen())
        return WriteResult::CannotCreate;
    return file.write(bytes) && (!syncNow || file.sync()) ? WriteResult::Ok : WriteResult::WriteFailed;
}

// Names a complete new file with the first free name; the file system's answer decides.
struct Publisher {
    NewFile& file;
    WriteResult result = WriteResult::Ok;
    Outcome operator()(const std::string& path)
    {
        result = file.publish(std::filesystem::path(path));
        if (result == WriteResult::AlreadyExists)
            return Outcome::Taken;
        return result == WriteResult::Ok ? Outcome::Created : Outcome::Refused;
    }
};

} // namespace

// A complete file waiting for its sync and its name, with what its failure would say.
struct ExportDirectory::Waiting {
    std::unique_ptr<NewFile> file;
    std::int32_t entry = 0;
    std::string source;
    std::string base;
    std::string extension;
    std::size_t keepTail = 0;
    ReportLines* report = nullptr;
    QString failure; // the report line of a file that cannot be named; empty: that ends the export
};

namespace {

// Names a complete file with the first free name. One that is not on disk, or cannot be named,
// is a report line, or ends the export when the directory is at fault or the way has no line.
ExportOutcome nameFile(ExportDirectory& directory, ExportDirectory::Waiting& waiting)
{
    NewFile& file = *waiting.file;
    Publisher publisher {file};
    std::string target;
    if (file.error() == 0)
        target = directory.createUnique(waiting.base, waiting.extension, publisher, waiting.keepTail);
    if (file.error() == 0 && publisher.result == WriteResult::Ok)
        return {true, target};
    stopOnDirectoryFault(file, directory);
    if (waiting.failure.isEmpty())
        throw cannotCreate(target.empty() ? directory.path() + directory.candidate(waiting.base, waiting.extension, 0, waiting.keepTail)
                                          : target);
    reportEntry(*waiting.report, waiting.entry, waiting.source, waiting.failure);
    return {};
}

// The extension a file keeps when it is copied byte for byte: its own, where that names a
// picture file (a bitmap stored as "x.ico" stays ".ico", as viewers go by content); else the one
// its content has, so that an icon file saved as "x.exe" does not come out as a program's name.
std::string originalExtension(std::string_view sourcePath, const StoredIcon& stored)
{
    static constexpr std::array<std::string_view, 6> kPictureExtensions {".ico", ".cur", ".bmp", ".ani", ".icns", ".png"};
    const std::string own = fileExtensionLower(sourcePath);
    const auto ownOr = [&own](std::string_view byContent) {
        if (std::find(kPictureExtensions.begin(), kPictureExtensions.end(), own) != kPictureExtensions.end())
            return own;
        return std::string(byContent);
    };
    switch (stored.kind) {
    case IconSourceKind::Bitmap: return ownOr(".bmp");
    case IconSourceKind::AnimatedCursor: return ownOr(".ani");
    case IconSourceKind::AppleIcon: return ownOr(".icns");
    case IconSourceKind::Png: return ownOr(".png");
    case IconSourceKind::IconFile: return ownOr(stored.cursor ? ".cur" : ".ico");
    default: return ".ico"; // an icon group of a program or library, made into an icon file
    }
}

// A picture as a PNG with 8 bits for each of red, green, blue and alpha, at zlib's default level.
std::optional<QByteArray> encodePng(const QImage& picture)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (!picture.convertToFormat(QImage::Format_ARGB32).save(&buffer, "PNG"))
        return std::nullopt;
    return png;
}

// The length of "_index" at the end of an export's base name.
std::size_t indexSuffixLength(std::uint16_t iconIndex) { return iconIndex > 0 ? 1 + std::to_string(iconIndex).size() : 0; }

} // namespace

ExportOutcome exportEntry(const Catalogue& catalogue, std::int32_t n, ExportFormat format, ExportDirectory& directory, ReportLines& report,
                          const KeptPictures* kept)
{
    // The extension of the files written; an original's follows its kind (originalExtension).
    const std::string_view extension = format == ExportFormat::Bitmap ? ".bmp" : format == ExportFormat::Png ? ".png" : ".ico";
    const IconEntry& entry = catalogue[n];
    const std::string_view source = entry.path();
    const std::string base = exportBaseName(n, source, entry.iconIndex);
    const std::filesystem::path sourcePath {std::string(source)};
    ExportOutcome outcome;

    const std::size_t keepTail = indexSuffixLength(entry.iconIndex);
    auto owned = std::make_unique<NewFile>(std::filesystem::path(directory.path()));
    NewFile& file = *owned;
    if (!file.isOpen())
        stopOnDirectoryFault(file, directory);
    // In a batch the file is synced together with the others of its batch, before any is named.
    const bool syncNow = directory.syncs() && !directory.batches();
    // A failure of the new file ends the export when the directory is at fault, else it is a line.
    const auto failed = [&](const QString& failure) -> ExportOutcome {
        stopOnDirectoryFault(file, directory);
        reportEntry(report, n, source, failure);
        return {};
    };
    // Names the complete file with the first free name, now or after its batch's sync.
    const auto publish = [&](std::string_view targetExtension, const QString& failure) -> ExportOutcome {
        auto waiting = std::make_unique<ExportDirectory::Waiting>(ExportDirectory::Waiting {
            std::move(owned), n, std::string(source), base, std::string(targetExtension), keepTail, &report, failure});
        if (!directory.batches())
            return nameFile(directory, *waiting);
        directory.addToBatch(std::move(waiting));
        return {false, {}, true};
    };

    // A source that is gone or changed: the file on disk (if any) is not the icon shown, so only
    // the kept picture is written, made into an icon or bitmap as an extracted icon is.
    const std::optional<QImage> keptPicture = kept ? kept->disconnected(n) : std::nullopt;
    if (keptPicture && (format == ExportFormat::Original || format == ExportFormat::Png)) {
        reportEntry(report, n, source, kNotPresent);
        return outcome;
    }
    switch (keptPicture ? ExportWay::ExtractedIcon : exportWayFor(source, format)) {
    case ExportWay::PlainCopy: {
        switch (copyInto(file, sourcePath, syncNow)) {
        case CopyResult::Ok: break;
        case CopyResult::SourceUnreadable: reportEntry(report, n, source, kNotCopied); return outcome;
        default: return failed(kNotCopied);
        }
        return publish(extension, kNotCopied);
    }
    case ExportWay::IconFromBitmap: {
        const std::optional<QByteArray> bytes = encodeIcon16(extractIcon(sourcePath, entry.iconIndex));
        if (!bytes || prepare(file, *bytes, syncNow) != WriteResult::Ok)
            return failed(kNotCopied);
        return publish(extension, kNotCopied);
    }
    case ExportWay::Original: {
        const std::optional<StoredIcon> stored = storedIcon(sourcePath, entry.iconIndex);
        if (!stored) {
            reportEntry(report, n, source, kNotLoaded);
            return outcome;
        }
        if (prepare(file, stored->bytes, syncNow) != WriteResult::Ok)
            return failed(kNotCopied);
        return publish(originalExtension(source, *stored), kNotCopied);
    }
    case ExportWay::Png: {
        const QImage picture = extractLargestIcon(sourcePath, entry.iconIndex);
        if (picture.isNull()) {
            reportEntry(report, n, source, kNotLoaded);
            return outcome;
        }
        const std::optional<QByteArray> png = encodePng(picture);
        if (!png || prepare(file, *png, syncNow) != WriteResult::Ok)
            return failed(kNotSaved);
        return publish(extension, kNotSaved);
    }
    case ExportWay::ExtractedIcon: break;
    }

    const QImage icon = keptPicture ? *keptPicture : extractIcon(sourcePath, entry.iconIndex);
    if (icon.isNull()) {
        reportEntry(report, n, source, kNotLoaded);
        return outcome;
    }
    std::optional<QByteArray> bytes;
    if (format == ExportFormat::Bitmap) {
        bytes = encodeTemplateBitmap(renderOnTemplate(icon));
    } else {
        bytes = encodeIcon16(icon);
        if (!bytes) {
            reportEntry(report, n, source, kNotSaved);
            return outcome;
        }
    }
    if (!bytes || prepare(file, *bytes, syncNow) != WriteResult::Ok) {
        stopOnDirectoryFault(file, directory);
        throw cannotCreate(directory.path() + directory.candidate(base, extension, 0, keepTail));
    }
    return publish(extension, QString()); // a file of this way that cannot be named ends the export
}

ExportDirectory::~ExportDirectory()
{
    if (m_sync.valid())
        m_sync.wait(); // the worker holds the files of its batch until it ends
}

void ExportDirectory::nameInBatches(Named named) { m_named = std::move(named); }

void ExportDirectory::addToBatch(std::unique_ptr<Waiting> waiting)
{
    m_fillingBytes += waiting->file->size();
    m_filling.push_back(std::move(waiting));
    if (m_filling.size() < kBatchFiles && m_fillingBytes < kBatchBytes)
        return;
    nameSynced(); // the batch before, synced while this one was written
    startSync();
}

void ExportDirectory::startSync()
{
    m_syncing = std::move(m_filling);
    m_filling.clear();
    m_fillingBytes = 0;
    if (!syncs() || m_syncing.empty())
        return;
    std::vector<NewFile*> files;
    for (const std::unique_ptr<Waiting>& waiting : m_syncing)
        files.push_back(waiting->file.get());
    try {
        m_sync = std::async(std::launch::async, [files] { NewFile::syncTogether(files); });
    } catch (const std::system_error&) {
        NewFile::syncTogether(files); // no thread to be had: the same sync, waited for here
    }
}

void ExportDirectory::nameSynced()
{
    if (m_sync.valid())
        m_sync.get();
    const std::vector<std::unique_ptr<Waiting>> batch = std::move(m_syncing);
    m_syncing.clear();
    // In entry order, each checked by the file system, which never gives a taken name again.
    for (const std::unique_ptr<Waiting>& waiting : batch)
        if (const ExportOutcome outcome = nameFile(*this, *waiting); outcome.written)
            m_named(waiting->entry, outcome.target);
}

void ExportDirectory::flush()
{
    nameSynced();
    startSync();
    nameSynced();
}

void ExportDirectory::flushAfterError() noexcept
{
    try {
        flush();
    } catch (...) {
        // The error that ended the export is the one to tell.
    }
}

} // namespace bw
