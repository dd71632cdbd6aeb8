#pragma once

#include "catalogue/Catalogue.h"
#include "catalogue/Collection.h"
#include "catalogue/Indexer.h"
#include "catalogue/TreeWalk.h"

#include <QString>

#include <cstdint>
#include <set>
#include <string>
#include <vector>

namespace bw {

// What a read shows while it runs (the progress window) and how it learns of a cancel.
class ScanProgress {
public:
    virtual ~ScanProgress() = default;
    virtual void setCaption(const std::string& path) = 0; // the file being looked at
    virtual void setSearchLabel(const QString& text) = 0; // "Suche *.ico Dateien ."
    virtual void setEntryCount(std::int32_t entries) = 0; // shown as "Symbole 17"
    virtual void addLine(const QString& text) = 0;        // a line of the progress list
    // The line of a file being read: its path. Made into text here; a progress that shows no
    // list (the command-line tool) leaves that out, as it costs more than the read of a small file.
    virtual void addFileLine(const std::string& path);
    virtual void pumpMessages() = 0;
    virtual bool cancelled() = 0;
    // A file or directory whose path is longer than the system lets a program open: it is left
    // out, and said so once, as a line of the progress list (the command-line tool: on stderr).
    virtual void reportPathTooLong(const std::string& path);
    // A directory that cannot be listed (no permission, gone, a disk error): its files are
    // missing from the read, and that is said once, as a line of the progress list.
    virtual void reportUnreadable(const std::string& path);
};

// The lines that say so.
QString pathTooLongLine(const std::string& path);
QString unreadableLine(const std::string& path);

// Lines of the progress list stop once the catalogue holds this many entries.
inline constexpr std::int32_t kProgressLineLimit = 32000;

// Walks directory trees for the reading commands. Each file pattern is a walk of its own (all
// "*.ico" files of the tree, then all "*.cur" files, ...), depth-first, the matching files of a
// directory before its subdirectories. Worker threads list the directories and count the icons of
// the libraries meanwhile (see TreeWalk), each once however many patterns walk them; the
// catalogue and the progress window are filled here alone, in the order of the patterns.
//
// Only regular files (or links to them) whose names do not begin with '.' are read; directories
// whose names begin with '.', links to directories and pseudo file systems are never entered.
class TreeScanner {
public:
    TreeScanner(Catalogue& catalogue, IndexerHost& indexer, ScanProgress& progress);
    ~TreeScanner();

    // Reads every file matching a pattern "directory/mask" in the directory and below it.
    // Subdirectories whose path (ending in '/') is in skipRoots are not entered: the roots of the
    // other volumes that a read of all volumes reads in their own turn.
    void scanTree(const std::string& pattern, const std::vector<std::string>& skipRoots = {});

    // Reads each pattern in turn as scanTree does, in one walk of the trees.
    void scanTrees(const std::vector<std::string>& patterns, const std::vector<std::string>& skipRoots = {});

    // Worker threads of the walk and how many directories they may go ahead of the read; with no
    // workers the read does everything itself, one thing at a time.
    void setWorkers(int workers, int window = TreeWalk::kWindow)
    {
        m_workers = workers;
        m_window = window;
    }
    // The workers of new scanners (for measurements).
    static void setWorkersDefault(int workers);
    // How the workers count the icons of a file (iconCount unless replaced, for tests).
    void setIconCounter(IconCounter counter) { m_counter = std::move(counter); }

    // Number of files handed to the indexer.
    std::int64_t filesIndexed() const { return m_filesIndexed; }
    // Every directory the reads walked whole, with its modification time as it was listed: a
    // collection of the read keeps them, and a change made after the listing shows as a change.
    const std::vector<CollectionDirectory>& walkedDirectories() const { return m_walked; }

private:
    // Reads the files matching `mask` (whose bit is `maskBit`) in the tree; false when the read
    // ended before the whole tree was walked.
    bool walk(TreeWalk::Directory& dir, const std::string& mask, std::uint64_t maskBit, const std::vector<std::string>& skipRoots);
    bool keepWaiting();
    bool tooLong(const std::string& path);
    void noteUnreadable(const TreeWalk::Directory& dir);

    Catalogue& m_catalogue;
    IndexerHost& m_indexer;
    ScanProgress& m_progress;
    TreeWalk* m_walk = nullptr; // during a read
    QString m_searchLabel;      // of the pattern being walked
    std::string m_path;         // of the file being read

    std::set<std::string> m_tooLong;    // reported already (each pattern walks the tree again)
    std::set<std::string> m_unreadable; // the same
    std::int64_t m_filesIndexed = 0;
    std::vector<CollectionDirectory> m_walked;
    int m_workers;
    int m_window = TreeWalk::kWindow;
    IconCounter m_counter;
};

} // namespace bw
