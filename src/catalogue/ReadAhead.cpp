#include "ReadAhead.h"

#include "catalogue/DirectoryListing.h"
#include "catalogue/Indexer.h"
#include "icons/IconExtractor.h"
#include "icons/MappedFile.h"
#include "support/Wildcard.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace bw {
namespace {

struct Tree {
    std::vector<std::string> masks;
    std::vector<std::string> skipRoots;
};

struct Task {
    std::string path;
    std::uint64_t parentVolume = 0; // directories only
    bool isDirectory = false;
    std::shared_ptr<const Tree> tree;
};

} // namespace

struct ReadAhead::State {
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<Task> tasks; // the next task at the front
    int busy = 0;
    bool stopping = false;
    std::int64_t filesRead = 0;
    std::int64_t directoriesListed = 0;
};

namespace {

// Reads one file or lists one directory; a directory's files and subdirectories are queued in
// front of everything else, so the workers go depth-first in the read's order.
void run(ReadAhead::State& state, const Task& task)
{
    if (!task.isDirectory) {
        // What counting the file reads, nothing more: the headers and resource directory of a
        // library, however large the file.
        const MappedFile file{std::filesystem::path(task.path)};
        if (file.isOpen())
            (void)iconCount(file.reader());
        const std::lock_guard lock(state.mutex);
        ++state.filesRead;
        return;
    }
    const DirectoryListing listing = listDirectory(task.path, task.parentVolume);
    std::vector<Task> next;
    if (!task.tree->masks.empty()) {
        for (const std::string& name : listing.files) {
            if (isCataloguedByName(name))
                continue; // the read never opens it
            const bool wanted = std::any_of(task.tree->masks.begin(), task.tree->masks.end(),
                                            [&](const std::string& mask) { return matchesWildcard(name, mask); });
            if (wanted)
                next.push_back({task.path + name, 0, false, task.tree});
        }
    }
    const std::vector<std::string>& skip = task.tree->skipRoots;
    for (const std::string& name : listing.subdirectories) {
        std::string path = task.path + name + "/";
        if (std::find(skip.begin(), skip.end(), path) == skip.end())
            next.push_back({std::move(path), listing.volume, true, task.tree});
    }
    {
        const std::lock_guard lock(state.mutex);
        ++state.directoriesListed;
        if (state.stopping)
            return;
        state.tasks.insert(state.tasks.begin(), std::make_move_iterator(next.begin()), std::make_move_iterator(next.end()));
    }
    state.wake.notify_all();
}

void work(const std::shared_ptr<ReadAhead::State>& shared)
{
    // Below the read itself: on a machine with few cores the workers take only idle time.
    ::setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), 10);
    ReadAhead::State& state = *shared;
    std::unique_lock lock(state.mutex);
    for (;;) {
        state.wake.wait(lock, [&] { return state.stopping || !state.tasks.empty(); });
        if (state.stopping)
            return;
        const Task task = std::move(state.tasks.front());
        state.tasks.pop_front();
        ++state.busy;
        lock.unlock();
        run(state, task);
        lock.lock();
        if (--state.busy == 0 && state.tasks.empty())
            state.idle.notify_all();
    }
}

} // namespace

ReadAhead::ReadAhead(int threads)
    : m_state(std::make_shared<State>())
{
    for (int i = 0; i < threads; ++i)
        std::thread([state = m_state] { work(state); }).detach();
}

ReadAhead::~ReadAhead()
{
    {
        const std::lock_guard lock(m_state->mutex);
        m_state->stopping = true;
        m_state->tasks.clear();
    }
    m_state->wake.notify_all();
}

void ReadAhead::addTree(const std::string& root, const std::vector<std::string>& masks, const std::vector<std::string>& skipRoots)
{
    auto tree = std::make_shared<Tree>();
    tree->masks = masks;
    tree->skipRoots = skipRoots;
    {
        const std::lock_guard lock(m_state->mutex);
        m_state->tasks.push_back({root, 0, true, std::move(tree)});
    }
    m_state->wake.notify_one();
}

void ReadAhead::waitUntilDone()
{
    std::unique_lock lock(m_state->mutex);
    m_state->idle.wait(lock, [&] { return m_state->tasks.empty() && m_state->busy == 0; });
}

std::int64_t ReadAhead::filesRead() const
{
    const std::lock_guard lock(m_state->mutex);
    return m_state->filesRead;
}

std::int64_t ReadAhead::directoriesListed() const
{
    const std::lock_guard lock(m_state->mutex);
    return m_state->directoriesListed;
}

} // namespace bw
