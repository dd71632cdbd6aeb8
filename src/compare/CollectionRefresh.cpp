#include "CollectionRefresh.h"

#include "CaptureQueue.h"
#include "CollectionPictures.h"

#include "icons/IconExtractor.h"
#include "support/Funky.h"

#include <sys/stat.h>

#include <vector>

namespace bw {

CollectionRefresh::CollectionRefresh(const Collection& collection, const Catalogue& opened) : m_collection(collection), m_opened(opened)
{
    for (const CollectionDirectory& d : collection.directories()) {
        if (fileTimeNs(d.path) == d.mtimeNs)
            m_unchanged.insert(d.path);
        else
            ++m_changed;
    }
    for (std::int32_t n = 1; n <= opened.entryCount(); ++n) {
        const auto [it, added] = m_files.try_emplace(opened[n].path(), n);
        ++it->second.count;
    }
    // Without its stored size and time (a file that cannot be read on) a file is read again.
    collection.stamps([this](std::int32_t n, std::int64_t size, std::int64_t mtimeNs) {
        if (n < 1 || n > m_opened.entryCount())
            return;
        const auto it = m_files.find(m_opened[n].path());
        if (it != m_files.end() && it->second.first == n) {
            it->second.size = size;
            it->second.mtimeNs = mtimeNs;
        }
    });
}

namespace {

// Whether the file `name` in the open `directory` (or at `path` without one) has the size and
// modification time given: one status call, where reading it would open and parse it.
bool hasStamp(int directory, const char* name, const std::string& path, std::int64_t size, std::int64_t mtimeNs)
{
    struct stat st {};
    if ((directory >= 0 ? ::fstatat(directory, name, &st, 0) : ::stat(path.c_str(), &st)) != 0)
        return false;
    return st.st_size == size && static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec == mtimeNs;
}

} // namespace

bool CollectionRefresh::inUnchangedDirectory(std::string_view path) const
{
    const std::size_t slash = path.rfind('/');
    return slash != std::string_view::npos && m_unchanged.count(std::string(path.substr(0, slash + 1))) > 0;
}

const CollectionRefresh::StoredFile* CollectionRefresh::storedFile(std::string_view path) const
{
    const auto it = m_files.find(path);
    return it == m_files.end() ? nullptr : &it->second;
}

IconCounter CollectionRefresh::counter() const
{
    return [this](int directory, const char* name, const std::string& path) {
        if (inUnchangedDirectory(path))
            if (const StoredFile* stored = storedFile(path); stored && hasStamp(directory, name, path, stored->size, stored->mtimeNs)) {
                stored->asStored.store(true, std::memory_order_relaxed);
                return static_cast<int>(stored->count);
            }
        return iconCountAt(directory, name, std::filesystem::path(path));
    };
}

QString CollectionRefresh::save(const Catalogue& fresh, const std::vector<CollectionDirectory>& directories, QRgb background,
                                int threads) const
{
    const bool samePictures = m_collection.info().background == (background & 0xFFFFFFu);
    const int workers = captureWorkers(threads);
    // An entry keeps what is stored when its file is unchanged: found so by the counter, or with
    // the size and time stored. The rest are examined on worker threads.
    const CollectionFiller fill = [&](std::int32_t first, std::int32_t last, std::vector<CollectionEntry>& out) {
        std::vector<std::int32_t> examine;
        for (std::int32_t n = first; n <= last; ++n) {
            const IconEntry& e = fresh[n];
            const StoredFile* stored = samePictures ? storedFile(e.path()) : nullptr;
            CollectionEntry& target = out[static_cast<std::size_t>(n - first)];
            if (stored && e.iconIndex < stored->count && m_collection.entry(stored->first + e.iconIndex, target)) {
                if (stored->asStored.load(std::memory_order_relaxed))
                    continue;
                std::int64_t size = -1;
                if (fileTimeNs(std::string(e.path()), &size) == target.mtimeNs && size == target.fileSize)
                    continue;
            }
            examine.push_back(n);
        }
        onWorkers(workers, examine.size(), [&](std::size_t k) {
            const IconEntry& e = fresh[examine[k]];
            out[static_cast<std::size_t>(examine[k] - first)] = examineEntry(e.path(), e.iconIndex, background);
        });
    };
    CollectionInfo info = m_collection.info();
    info.saved = QDateTime::currentDateTimeUtc();
    info.background = background & 0xFFFFFFu;
    return saveCollection(m_collection.path(), info, fresh, directories, fill, SaveMode::Replace);
}

QString saveReadAsCollection(const std::filesystem::path& target, const Catalogue& catalogue, const ReadRecord& read, QRgb background,
                             SaveMode mode, int threads, const Collection* previous)
{
    CollectionInfo info;
    info.roots = read.roots;
    info.directory = read.roots.empty() ? std::string() : read.roots.front();
    info.types = read.types;
    info.saved = QDateTime::currentDateTimeUtc();
    info.background = background & 0xFFFFFFu;
    return saveCollection(target, info, catalogue, read.directories, examiningFiller(catalogue, background, threads, previous), mode);
}

} // namespace bw
