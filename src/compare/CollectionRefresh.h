#pragma once

#include "catalogue/Collection.h"
#include "catalogue/TreeWalk.h"

#include <QRgb>
#include <QString>

#include <atomic>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>

namespace bw {

// "Sammlung auffrischen": a new read of a collection's directory that opens again only the files
// of directories whose modification time changed since the collection was saved (a file added,
// removed or renamed changes its directory's time). In the others, a file still of the stored
// size and modification time is counted as the collection stored it; one rewritten in place
// (which leaves its directory's time alone) is read again. The new catalogue is saved in the
// collection's place, each entry of an unchanged file keeping its stored facts and picture.
class CollectionRefresh {
public:
    // `opened`: the catalogue as opened from `collection`; both must outlive the refresh.
    CollectionRefresh(const Collection& collection, const Catalogue& opened);

    // The counter for the new read's TreeScanner; safe on its worker threads.
    IconCounter counter() const;
    // Writes `fresh` (the new read, which walked `directories`) in place of the collection file.
    QString save(const Catalogue& fresh, const std::vector<CollectionDirectory>& directories, QRgb background, int threads = 0) const;

    std::size_t unchangedDirectories() const { return m_unchanged.size(); }
    std::size_t changedDirectories() const { return m_changed; }

private:
    struct StoredFile {
        explicit StoredFile(std::int32_t firstEntry) : first(firstEntry) {}
        std::int32_t first; // its first entry in the opened catalogue
        std::int32_t count = 0;
        std::int64_t size = -1; // as stored with its first entry
        std::int64_t mtimeNs = -1;
        // Set by the counter where the file, in an unchanged directory, was found as stored:
        // saving then takes its entries as they are without looking at the file again.
        mutable std::atomic<bool> asStored {false};
    };
    bool inUnchangedDirectory(std::string_view path) const;
    const StoredFile* storedFile(std::string_view path) const;

    const Collection& m_collection;
    const Catalogue& m_opened;
    std::unordered_set<std::string> m_unchanged; // directory paths ending in '/'
    std::size_t m_changed = 0;
    std::unordered_map<std::string_view, StoredFile> m_files; // views into the opened catalogue
};

// Saves the catalogue of a read as a collection, its pictures drawn over `background` on
// `threads` threads (0: one per core). With `previous` (the collection the catalogue was opened
// from), an entry whose file is gone keeps what was stored there.
QString saveReadAsCollection(const std::filesystem::path& target, const Catalogue& catalogue, const ReadRecord& read, QRgb background,
                             SaveMode mode, int threads = 0, const Collection* previous = nullptr);

} // namespace bw
