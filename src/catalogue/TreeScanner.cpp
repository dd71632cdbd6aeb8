#include "TreeScanner.h"

#include "icons/IconExtractor.h"
#include "support/Funky.h"
#include "support/Wildcard.h"

#include <algorithm>
#include <atomic>
#include <climits>

namespace bw {

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
std::atomic<int> workersDefault {TreeWalk::kWorkers};
}

QString pathTooLongLine(const std::string& path) { return pathText(path) + QStringLiteral("..Pfad zu lang, wurde nicht gelesen."); }

void ScanProgress::reportPathTooLong(const std::string& path) { addLine(pathTooLongLine(path)); }

QString unreadableLine(const std::string& path) { return pathText(path) + QStringLiteral("..kann nicht gelesen werden."); }

void ScanProgress::reportUnreadable(const std::string& path) { addLine(unreadableLine(path)); }

void ScanProgress::addFileLine(const std::string& path) { addLine(pathText(path)); }

void TreeScanner::noteUnreadable(const TreeWalk::Directory& dir)
{
    if (m_unreadable.insert(dir.path).second) {
        m_catalogue.noteUnreadableDirectory();
        m_progress.reportUnreadable(dir.path);
    }
}

bool TreeScanner::tooLong(const std::string& path)
{
    if (path.size() < PATH_MAX)
        return false;
    if (m_tooLong.insert(path).second)
        m_progress.reportPathTooLong(path);
    return true;
}

void TreeScanner::setWorkersDefault(int workers) { workersDefault = workers; }

TreeScanner::TreeScanner(Catalogue& catalogue, IndexerHost& indexer, ScanProgress& progress)
    : m_catalogue(catalogue)
    , m_indexer(indexer)
    , m_progress(progress)
    , m_workers(workersDefault)
    , m_counter([](int directory, const char* name, const std::string& path) { return iconCountAt(directory, name, path); })
{
}

TreeScanner::~TreeScanner() = default;

bool TreeScanner::keepWaiting()
{
    m_progress.pumpMessages();
    return !m_progress.cancelled();
}

void TreeScanner::scanTree(const std::string& pattern, const std::vector<std::string>& skipRoots) { scanTrees({pattern}, skipRoots); }

void TreeScanner::scanTrees(const std::vector<std::string>& patterns, const std::vector<std::string>& skipRoots)
{
    std::vector<std::pair<std::string, std::string>> split;
    std::vector<std::string> roots;
    std::vector<std::string> masks;
    for (const std::string& pattern : patterns) {
        split.push_back(splitPattern(pattern));
        if (std::find(roots.begin(), roots.end(), split.back().first) == roots.end())
            roots.push_back(split.back().first);
        if (std::find(masks.begin(), masks.end(), split.back().second) == masks.end())
            masks.push_back(split.back().second);
    }
    TreeWalk treeWalk(roots, masks, skipRoots, m_counter, m_workers, m_window);
    m_walk = &treeWalk;
    const auto wait = [this] { return keepWaiting(); };
    for (const auto& [dir, mask] : split) {
        if (m_progress.cancelled())
            break;
        TreeWalk::Directory* start = treeWalk.listed(treeWalk.root(dir), wait);
        if (!start)
            break;
        if (start->error != 0)
            noteUnreadable(*start);
        m_searchLabel = QStringLiteral("Suche ") + pathText(mask) + QStringLiteral(" Dateien .");
        const auto maskIndex = static_cast<std::size_t>(std::find(masks.begin(), masks.end(), mask) - masks.begin());
        walk(*start, mask, TreeWalk::maskBit(maskIndex), skipRoots);
    }
    m_walk = nullptr;
}

bool TreeScanner::walk(TreeWalk::Directory& dir, const std::string& mask, std::uint64_t maskBit, const std::vector<std::string>& skipRoots)
{
    if (m_progress.cancelled())
        return false;
    m_progress.setSearchLabel(m_searchLabel);
    m_progress.pumpMessages();

    const auto wait = [this] { return keepWaiting(); };
    for (std::size_t i = 0; i < dir.files.size(); ++i) {
        const std::string& name = dir.files[i];
        if (!matchesWildcard(name, mask))
            continue;
        // One buffer for the paths of all files: the catalogue keeps its own copy.
        std::string& path = m_path;
        path.assign(dir.path).append(name);
        if (tooLong(path))
            continue;
        m_progress.setCaption(path);
        const std::int32_t count = m_catalogue.entryCount();
        if (count < kProgressLineLimit)
            m_progress.addFileLine(path);
        else if (count == kProgressLineLimit)
            m_progress.addLine(QStringLiteral("** Maximum der Listbox erreicht **"));
        if (m_progress.cancelled())
            return false;
        const std::optional<int> icons = m_walk->iconCount(dir, i, wait);
        if (!icons)
            return false;
        indexCountedFile(m_catalogue, path, *icons, m_indexer);
        ++m_filesIndexed;
        m_progress.setEntryCount(m_catalogue.entryCount());
    }

    std::uint64_t below = dir.ownMasks;

    for (std::size_t i = 0; i < dir.subdirectories.size(); ++i) {
        // The walk enters no directory that is skipped or too long: only those not entered need
        // their path to tell which.
        if (!dir.entered[i]) {
            const std::string path = dir.path + dir.subdirectories[i] + "/";
            // Another listed volume is read in its own turn; everything else below the start
            // (btrfs subvolumes, mounts the volume list leaves out) belongs to this read.
            if (std::find(skipRoots.begin(), skipRoots.end(), path) != skipRoots.end() || tooLong(path))
                continue;
        }
        // A tree walked whole before holds no file for this mask: nothing there to read or report.
        if (dir.entered[i] && (dir.entered[i]->masksBelow & maskBit) == 0) {
            below |= dir.entered[i]->masksBelow;
            continue;
        }
        TreeWalk::Directory* sub = dir.entered[i] ? m_walk->listed(*dir.entered[i], wait) : nullptr;
        if (!sub)
            return false;
        if (sub->error != 0)
            noteUnreadable(*sub);
        if (!walk(*sub, mask, maskBit, skipRoots) || m_progress.cancelled())
            return false;
        below |= sub->masksBelow;
    }
    dir.masksBelow = below;
    if (!dir.recorded && dir.error == 0 && dir.mtimeNs >= 0) {
        dir.recorded = true;
        m_walked.push_back({dir.path, dir.mtimeNs});
    }
    return true;
}

} // namespace bw
