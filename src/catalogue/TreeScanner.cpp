#include "TreeScanner.h"

#include "catalogue/DirectoryListing.h"
#include "catalogue/ReadAhead.h"
#include "support/Funky.h"
#include "support/Wildcard.h"

#include <algorithm>
#include <atomic>

#include <climits>

namespace bw {

// One directory as listed once.
struct TreeScanner::Directory : DirectoryListing {
    std::string path; // ends in '/'
};

namespace {

// "dir/mask" split into the directory (ending in '/') and the mask.
std::pair<std::string, std::string> splitPattern(const std::string& pattern)
{
    const std::size_t slash = pattern.rfind('/');
    if (slash == std::string::npos)
        return {withTrailingSlash(std::string()), pattern};
    return {withTrailingSlash(pattern.substr(0, slash + 1)), pattern.substr(slash + 1)};
}

} // namespace

namespace {
std::atomic<bool> readAheadDefault {true};
}

QString pathTooLongLine(const std::string& path) { return pathText(path) + QStringLiteral("..Pfad zu lang, wurde nicht gelesen."); }

void ScanProgress::reportPathTooLong(const std::string& path) { addLine(pathTooLongLine(path)); }

bool TreeScanner::tooLong(const std::string& path)
{
    if (path.size() < PATH_MAX)
        return false;
    if (m_tooLong.insert(path).second)
        m_progress.reportPathTooLong(path);
    return true;
}

void TreeScanner::setReadAheadDefault(bool on) { readAheadDefault = on; }

TreeScanner::TreeScanner(Catalogue& catalogue, IndexerHost& indexer, ScanProgress& progress)
    : m_catalogue(catalogue)
    , m_indexer(indexer)
    , m_progress(progress)
    , m_readAheadOn(readAheadDefault)
{
}

TreeScanner::~TreeScanner() = default;

TreeScanner::Directory* TreeScanner::directory(const std::string& path, std::uint64_t parentVolume)
{
    auto found = m_listed.find(path);
    if (found != m_listed.end())
        return found->second.get();

    auto dir = std::make_unique<Directory>();
    dir->path = path;
    static_cast<DirectoryListing&>(*dir) = listDirectory(path, parentVolume);
    Directory* raw = dir.get();
    m_listed.emplace(path, std::move(dir));
    return raw;
}

void TreeScanner::scanTree(const std::string& pattern, const std::vector<std::string>& skipRoots)
{
    if (m_progress.cancelled())
        return;
    const auto [dir, mask] = splitPattern(pattern);
    Directory* start = directory(dir, 0);
    walk(*start, mask, skipRoots);
}


void TreeScanner::scanTrees(const std::vector<std::string>& patterns, const std::vector<std::string>& skipRoots)
{
    std::unique_ptr<ReadAhead> readAhead;
    if (m_readAheadOn && !patterns.empty()) {
        // One walk ahead per start directory, with every mask the read has for it.
        std::vector<std::pair<std::string, std::vector<std::string>>> trees;
        for (const std::string& pattern : patterns) {
            std::pair<std::string, std::string> split = splitPattern(pattern);
            const std::string& dir = split.first;
            auto tree = std::find_if(trees.begin(), trees.end(), [&](const auto& t) { return t.first == dir; });
            if (tree == trees.end())
                trees.emplace_back(dir, std::vector<std::string>{split.second});
            else
                tree->second.push_back(split.second);
        }
        readAhead = std::make_unique<ReadAhead>();
        for (const auto& [dir, masks] : trees)
            readAhead->addTree(dir, masks, skipRoots);
    }
    for (const std::string& pattern : patterns)
        scanTree(pattern, skipRoots);
}

void TreeScanner::walk(Directory& dir, const std::string& mask, const std::vector<std::string>& skipRoots)
{
    if (m_progress.cancelled())
        return;
    m_progress.setSearchLabel(QStringLiteral("Suche ") + pathText(mask) + QStringLiteral(" Dateien ."));
    m_progress.pumpMessages();

    for (const std::string& name : dir.files) {
        if (!matchesWildcard(name, mask))
            continue;
        const std::string path = dir.path + name;
        if (tooLong(path))
            continue;
        m_progress.setCaption(path);
        const std::int32_t count = m_catalogue.entryCount();
        if (count < kProgressLineLimit)
            m_progress.addLine(pathText(path));
        else if (count == kProgressLineLimit)
            m_progress.addLine(QStringLiteral("** Maximum der Listbox erreicht **"));
        if (m_progress.cancelled())
            return;
        indexFile(m_catalogue, path, m_indexer);
        ++m_filesIndexed;
        m_progress.setCountLabel(QStringLiteral("Symbole ") + QString::number(m_catalogue.entryCount()));
    }

    for (const std::string& name : dir.subdirectories) {
        const std::string path = dir.path + name + "/";
        // Another listed volume is read in its own turn; everything else below the start (btrfs
        // subvolumes, mounts the volume list leaves out) belongs to this read.
        if (std::find(skipRoots.begin(), skipRoots.end(), path) != skipRoots.end() || tooLong(path))
            continue;
        Directory* sub = directory(path, dir.volume);
        walk(*sub, mask, skipRoots);
        if (m_progress.cancelled())
            return;
    }
}

} // namespace bw
