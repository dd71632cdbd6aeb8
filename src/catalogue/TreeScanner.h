#pragma once

#include "catalogue/Catalogue.h"
#include "catalogue/Indexer.h"

#include <QString>

#include <cstdint>
#include <map>
#include <set>
#include <memory>
#include <string>
#include <vector>

namespace bw {

// What a read shows while it runs (the progress window) and how it learns of a cancel.
class ScanProgress {
public:
    virtual ~ScanProgress() = default;
    virtual void setCaption(const std::string& path) = 0;  // the file being looked at
    virtual void setSearchLabel(const QString& text) = 0;  // "Suche *.ico Dateien ."
    virtual void setCountLabel(const QString& text) = 0;   // "Symbole 17"
    virtual void addLine(const QString& text) = 0;         // a line of the progress list
    virtual void pumpMessages() = 0;
    virtual bool cancelled() = 0;
    // A file or directory whose path is longer than the system lets a program open: it is left
    // out, and said so once, as a line of the progress list (the command-line tool: on stderr).
    virtual void reportPathTooLong(const std::string& path);
};

// The line that says so.
QString pathTooLongLine(const std::string& path);

// Lines of the progress list stop once the catalogue holds this many entries.
inline constexpr std::int32_t kProgressLineLimit = 32000;

// Walks directory trees for the reading commands. Each file pattern is a walk of its own (all
// "*.ico" files of the tree, then all "*.cur" files, ...), depth-first, the matching files of a
// directory before its subdirectories. A directory is listed from the disk only once per reader,
// however many patterns walk it.
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

    // Reads each pattern in turn as scanTree does. Unless switched off, worker threads read the
    // trees ahead meanwhile (see ReadAhead), which only warms the cache.
    void scanTrees(const std::vector<std::string>& patterns, const std::vector<std::string>& skipRoots = {});
    void setReadAhead(bool on) { m_readAheadOn = on; }
    // Whether new scanners read ahead (on unless switched off, for measurements).
    static void setReadAheadDefault(bool on);

    // Number of files handed to the indexer.
    std::int64_t filesIndexed() const { return m_filesIndexed; }

private:
    struct Directory;
    Directory* directory(const std::string& path, std::uint64_t parentVolume);
    void walk(Directory& dir, const std::string& mask, const std::vector<std::string>& skipRoots);

    Catalogue& m_catalogue;
    IndexerHost& m_indexer;
    ScanProgress& m_progress;
    bool tooLong(const std::string& path);

    std::map<std::string, std::unique_ptr<Directory>> m_listed;
    std::set<std::string> m_tooLong; // reported already (each pattern walks the tree again)
    std::int64_t m_filesIndexed = 0;
    bool m_readAheadOn;
};

} // namespace bw
