#pragma once

#include "catalogue/Catalogue.h"
#include "support/ExportFormat.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>

namespace bw {

// The longest file name the file systems of Linux take, in bytes.
inline constexpr std::size_t kMaxFileNameBytes = 255;

// Where the lines of a copy report go: the report window's list, the command-line tool's stderr,
// or a test's list.
class ReportLines {
public:
    virtual ~ReportLines() = default;
    virtual void addLine(const QString& line) = 0;
    // A line about a file: before + the path + after. Windows show the path as text; the
    // command-line tool writes its bytes.
    virtual void addPathLine(const QString& before, std::string_view path, const QString& after);
};

// How an entry is exported, chosen by the source's extension and the format.
enum class ExportWay {
    PlainCopy,      // icon or cursor file as an icon: the file byte for byte
    IconFromBitmap, // bitmap as an icon: the icon made from the picture
    ExtractedIcon,  // everything else: the extracted icon as an icon file or an 8-bit bitmap
    Original,       // the icon as stored (storedIcon), under ".ico", ".cur" or ".bmp"
    Png,            // the largest image of the icon, at its own size, as a 32-bit RGBA PNG
};
ExportWay exportWayFor(std::string_view sourcePath, ExportFormat format);

// The name an export starts from: entry number, "_", the source's file name without its last four
// characters (empty when it has four or fewer), and "_" + the icon index when that is above 0.
std::string exportBaseName(std::int32_t entryNumber, std::string_view sourcePath, std::uint16_t iconIndex);

// The copy directory as a place for new files. Each new file is created exclusively under the
// first free name of base, base_1, base_2, ..., so a file that exists is never touched, whoever
// wrote it. Names known to be taken (listed once, or found taken) are remembered for the life of
// the object, so a loop that exports into a directory already full of earlier exports does not
// try them again for every entry.
class ExportDirectory {
public:
    // How the new files reach the disk before they get their names.
    enum class Durability {
        Synced,   // the program's way: a name never appears before the file's bytes are on disk
        Unsynced, // left to the kernel's writeback; only for measuring what the syncs cost
    };
    explicit ExportDirectory(std::string directory, Durability durability = Durability::Synced); // ends in '/'
    ~ExportDirectory(); // files still waiting for their names vanish
    ExportDirectory(const ExportDirectory&) = delete;
    ExportDirectory& operator=(const ExportDirectory&) = delete;
    const std::string& path() const { return m_directory; }
    bool syncs() const { return m_durability == Durability::Synced; }

    // For loops over many entries, where a sync of each file would cost more than the rest of the
    // work: the new files wait unnamed, complete, in a batch (at most kBatchFiles files or
    // kBatchBytes bytes) that is made durable as a whole on a worker thread while the next one is
    // written, and is named, in the order of its entries, when its sync has ended. named(entry,
    // target) hears of each file when it has its name: only then is it written. flush() must end
    // the loop however it ends (done, cancelled, or ended by an error: then flushAfterError()).
    using Named = std::function<void(std::int32_t entry, const std::string& target)>;
    void nameInBatches(Named named);
    bool batches() const { return static_cast<bool>(m_named); }
    // Syncs the waiting files and names them. Throws as exportEntry does when the directory fails.
    void flush();
    // The same after an error has ended the export: the files written before it get their names;
    // a further error is dropped, the first one is the one to tell.
    void flushAfterError() noexcept;
    static constexpr std::size_t kBatchFiles = 128;
    static constexpr std::size_t kBatchBytes = 8 << 20;

    struct Waiting; // a complete file waiting for its sync and its name
    // Takes a complete, not yet synced file into the batch (exportEntry does this).
    void addToBatch(std::unique_ptr<Waiting> waiting);

    // Lists the directory once, so that taken names are known without trying them. Optional: for
    // loops over many entries.
    void learnExistingNames();

    enum class Outcome { Created, Taken, Refused };
    // Calls create(path) for base + T, then base_1 + T, ... while it answers Taken (the name
    // exists); returns the path of the call that answered Created or Refused.
    template <typename Create>
    std::string createUnique(const std::string& base, std::string_view extension, Create&& create, std::size_t keepTail = 0);

    // Name k of the search: base, "_" + k above 0, and the extension. A name longer than a file
    // name may be loses bytes from the middle of base (after its first "_" and before its last
    // keepTail bytes) until it fits.
    std::string candidate(const std::string& base, std::string_view extension, std::uint64_t k, std::size_t keepTail = 0) const;

private:
    std::string m_directory;
    Durability m_durability;
    std::unordered_set<std::string> m_taken; // file names known to exist
    Named m_named;
    std::vector<std::unique_ptr<Waiting>> m_filling; // the batch being written
    std::size_t m_fillingBytes = 0;
    std::vector<std::unique_ptr<Waiting>> m_syncing; // the batch whose sync runs on the worker
    std::future<void> m_sync;
    void startSync();  // hands the batch being written to the worker
    void nameSynced(); // waits for the worker's sync, then names its batch
};

// The outcome of one export, for callers that list what was written (the command-line tool).
struct ExportOutcome {
    bool written = false;
    std::string target;   // the file written, when written
    bool waiting = false; // complete, unnamed in the directory's batch: ExportDirectory::Named tells when written
};

// Entries whose source file is gone, or is no longer the file their icon was taken from (those of
// an opened collection). Such an entry is exported from its kept 32 x 32 picture where that is
// enough ("Icon" and "Bitmap"); the ways that need the file itself report it as gone.
class KeptPictures {
public:
    virtual ~KeptPictures() = default;
    // Entry n's kept picture when its source is gone or changed (null when none was kept);
    // nothing while the source is the file it was.
    virtual std::optional<QImage> disconnected(std::int32_t n) const = 0;
};

// Writes entry n of the catalogue into the directory in the format given.
// Failures become report lines "Nr: n..path..message"; a bitmap or icon file that cannot be
// created in the extracted-icon way throws CommandError("Datei <target> kann nicht erstellt
// werden"), which ends the calling command. The original and PNG ways only report: no icon is
// "GELADEN", an original not written "KOPIERT", a PNG not written "GESPEICHERT". With `kept`, an
// entry it names is written from its kept picture, or reported "nicht mehr vorhanden".
ExportOutcome exportEntry(const Catalogue& catalogue, std::int32_t n, ExportFormat format, ExportDirectory& directory, ReportLines& report,
                          const KeptPictures* kept = nullptr);

// The three report messages, with their leading dots.
inline const QString kNotCopied = QStringLiteral("..Icon kann nicht KOPIERT werden .");
inline const QString kNotLoaded = QStringLiteral("..Icon kann nicht GELADEN werden .");
inline const QString kNotSaved = QStringLiteral("..Icon kann nicht GESPEICHERT werden .");
// An entry whose source file is gone or changed, for commands that need the file itself.
inline const QString kNotPresent = QStringLiteral("..ist nicht mehr vorhanden.");

template <typename Create>
std::string ExportDirectory::createUnique(const std::string& base, std::string_view extension, Create&& create, std::size_t keepTail)
{
    for (std::uint64_t k = 0;; ++k) {
        const std::string name = candidate(base, extension, k, keepTail);
        if (m_taken.contains(name))
            continue;
        const std::string full = m_directory + name;
        const Outcome outcome = create(full);
        if (outcome == Outcome::Created) {
            m_taken.insert(name);
            return full;
        }
        if (outcome == Outcome::Refused)
            return full;
        m_taken.insert(name); // taken meanwhile: remember it and try the next counter
    }
}

} // namespace bw
