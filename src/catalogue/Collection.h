#pragma once

#include "Catalogue.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class QSqlQuery;

namespace bw {

// A collection file: the catalogue of a read kept with each icon's picture, so that it can be
// opened, shown and compared while the files it came from are not there. It is an SQLite
// database (README: "Collection files"): a table `collection` with one row about the read, a table
// `entries` with one row per catalogue entry in catalogue order, a table `directories` with the
// modification time of every directory the read walked, and a table `roots` with the directories
// the read started from (files written before it had one start: the `directory` of `collection`).
inline constexpr int kCollectionFormat = 1;
inline constexpr char kCollectionSuffix[] = ".bwsammlung";

// What a collection says about the read it keeps.
struct CollectionInfo {
    int format = kCollectionFormat;
    std::string directory;          // the directory that was read, as bytes (the first of `roots`)
    std::vector<std::string> roots; // the directories the read started from, each ending in '/'
    QString types;                  // the file types read, "ico,cur,exe"
    QDateTime saved;                // when it was saved (UTC)
    std::uint32_t background = 0;   // the colour the pictures are drawn over, 0x00RRGGBB
};

// One entry's stored facts beyond its path and icon index.
struct CollectionEntry {
    std::int64_t fileSize = -1; // -1: the file could not be examined
    std::int64_t mtimeNs = 0;   // the file's modification time, ns since 1970
    std::uint8_t kind = 0;      // what the file holds (IconSourceKind)
    bool loaded = false;        // the icon could be drawn; else the picture is background alone
    std::uint16_t largestWidth = 0;
    std::uint16_t largestHeight = 0;
    QByteArray picture; // the 32 x 32 picture, packed (see CollectionPictures.h)
};

// A directory the read walked, with its modification time.
struct CollectionDirectory {
    std::string path;
    std::int64_t mtimeNs = 0;
};

// What a read started from, looked for and walked: what a collection of it keeps beside the
// catalogue and the pictures.
struct ReadRecord {
    std::vector<std::string> roots;               // each ending in '/'
    QString types;                                // "ico,cur,exe"
    std::vector<CollectionDirectory> directories; // with their times as the read listed them
};

// Gives the stored facts of entries first..last (a block of the catalogue, in order).
using CollectionFiller = std::function<void(std::int32_t first, std::int32_t last, std::vector<CollectionEntry>& out)>;

enum class SaveMode { NewOnly, Replace };

// Writes the catalogue as a collection: under a hidden temporary name in the target's directory,
// complete and synced, and only then named, so no torn file ever carries the name. NewOnly never
// replaces a file; Replace puts the new file in place of an existing one in one step. The empty
// string on success, else a German message (nothing was changed).
QString saveCollection(const std::filesystem::path& target, const CollectionInfo& info, const Catalogue& catalogue,
                       const std::vector<CollectionDirectory>& directories, const CollectionFiller& fill, SaveMode mode);

// Whether an entry's source file is still the one whose icon was stored.
enum class SourceState { Present, Missing, Changed };

// An opened collection: keeps the file open to fetch pictures and stored facts when asked.
class Collection {
public:
    // Opens the file and fills `catalogue` with its entries (cleared first); on any failure the
    // catalogue stays as it was and `error` says why in German.
    static std::unique_ptr<Collection> open(const std::filesystem::path& path, Catalogue& catalogue, QString& error);
    ~Collection();
    Collection(const Collection&) = delete;
    Collection& operator=(const Collection&) = delete;

    const CollectionInfo& info() const { return m_info; }
    const std::filesystem::path& path() const { return m_path; }
    std::int32_t entryCount() const { return m_entryCount; }

    // Entry n's stored facts, picture included; false when it cannot be read.
    bool entry(std::int32_t n, CollectionEntry& out) const;
    // Entry n's source file compared with what was stored (size and modification time).
    SourceState sourceState(std::int32_t n, std::string_view path) const;
    std::vector<CollectionDirectory> directories() const;
    // Each entry's stored file size and modification time, in order, without the pictures;
    // false when the file cannot be read on.
    bool stamps(const std::function<void(std::int32_t n, std::int64_t size, std::int64_t mtimeNs)>& each) const;

    // Reads the entries in order, one query for all: for work on the whole catalogue. It opens a
    // connection of its own, so that it may work on a thread of its own (the one that made it).
    class Reader {
    public:
        explicit Reader(const Collection& collection);
        ~Reader();
        Reader(const Reader&) = delete;
        Reader& operator=(const Reader&) = delete;
        // The next entry's facts; false at the end or when the file cannot be read on.
        bool next(CollectionEntry& out);

    private:
        QString m_connection;
        std::unique_ptr<QSqlQuery> m_query;
        std::int32_t m_next = 1;
    };

private:
    Collection() = default;
    std::filesystem::path m_path;
    QString m_connection;
    int m_fd = -1; // the file, held open: SQLite reads it through /proc/self/fd
    CollectionInfo m_info;
    std::int32_t m_entryCount = 0;
    std::unique_ptr<QSqlQuery> m_entryQuery;
};

// The file's modification time in ns, -1 when it cannot be examined; `size` is set alongside.
std::int64_t fileTimeNs(const std::string& path, std::int64_t* size = nullptr);

} // namespace bw
