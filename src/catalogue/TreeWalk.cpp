#include "TreeWalk.h"

#include "catalogue/DirectoryListing.h"
#include "catalogue/Indexer.h"
#include "support/Funky.h"
#include "support/Wildcard.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace bw {
namespace {

// A place in the read's order: the indices of the steps from the root (files first, then
// subdirectories); comparing them in order of their elements is comparing places depth-first.
using Key = std::vector<std::uint32_t>;

enum class Work : std::uint8_t { Pending, Busy, Done, None };

std::atomic<int> liveWorkers {0};

struct Node;
using Awaited = std::pair<const Node*, std::size_t>; // a file's index, or kListing
constexpr std::size_t kListing = SIZE_MAX;

struct Node : TreeWalk::Directory {
    Key key;
    std::uint64_t parentVolume = 0;
    Work listing = Work::Pending;
    bool taken = false; // by the reader (and read by it alone): no longer ahead of it
    // Per file; the reader looks at it without the lock, so a count once done is read at once.
    std::unique_ptr<std::atomic<Work>[]> counting;
    // The first file not counted nor begun while the directory is in the queue of files.
    std::size_t nextFile = 0;
    // The directory this one was found in (none for a start), and this one while it stays open
    // for its subdirectories still to be opened and its files still to be counted (counted down
    // as each is).
    Node* parent = nullptr;
    int descriptor = -1;
    std::atomic<std::size_t> stillNeeded {0};
};

// Directories a walk keeps open at once for their subdirectories: far below any descriptor limit;
// beyond it a directory's subdirectories are opened by their paths.
constexpr int kMaxHeldDescriptors = 128;

Key childKey(const Key& parent, std::size_t index)
{
    Key key;
    key.reserve(parent.size() + 1);
    key.assign(parent.begin(), parent.end());
    key.push_back(static_cast<std::uint32_t>(index));
    return key;
}

// Whether `key` comes before the place of child `index` of `parent`, without making that key.
bool before(const Key& key, const Key& parent, std::size_t index)
{
    const std::size_t common = std::min(key.size(), parent.size());
    for (std::size_t i = 0; i < common; ++i)
        if (key[i] != parent[i])
            return key[i] < parent[i];
    if (key.size() <= parent.size())
        return true;
    return key[parent.size()] < index;
}

// The queues hold the keys of their nodes, which never move.
struct KeyOrder {
    bool operator()(const Key* a, const Key* b) const { return *a < *b; }
};

} // namespace

// A mask as the workers match it against every name of the tree: the common "*.ext" as a plain
// comparison of the name's end, anything else as a wildcard.
struct Mask {
    std::string text;
    bool suffixOnly = false; // "*" and then no wildcard
    std::string suffix;      // what follows the '*' then, in lower case

    explicit Mask(const std::string& mask)
        : text(mask)
        , suffixOnly(mask.starts_with('*') && mask.find_first_of("*?", 1) == std::string::npos)
    {
        if (suffixOnly)
            for (std::size_t i = 1; i < mask.size(); ++i)
                suffix.push_back(asciiLower(mask[i]));
    }
    bool matches(std::string_view name) const
    {
        if (!suffixOnly)
            return matchesWildcard(name, text);
        // Compared from the end: most names of a tree differ from an extension in its last
        // letter, while nearly all share its dot.
        if (name.size() < suffix.size())
            return false;
        const std::size_t offset = name.size() - suffix.size();
        for (std::size_t i = suffix.size(); i-- > 0;)
            if (asciiLower(name[offset + i]) != suffix[i])
                return false;
        return true;
    }
};

struct TreeWalk::State {
    std::mutex mutex;
    std::condition_variable work; // workers wait here
    std::condition_variable done; // the reader waits here
    std::vector<Mask> masks;
    // Every name of the tree is matched against the masks: a suffix mask only with names ending
    // in its last letter (in lower case), the others with every name.
    std::array<std::vector<std::uint32_t>, 256> suffixMasksByLastLetter;
    std::vector<std::uint32_t> otherMasks;
    std::vector<std::string> skipRoots;
    IconCounter counter;
    int window = kWindow;
    std::deque<Node> nodes; // never moved
    // The start directories: where one lies in another's tree, the walk of that tree takes it
    // as it is rather than listing it again.
    std::vector<Node*> roots;
    std::map<const Key*, Node*, KeyOrder> directories; // not listed nor begun, in the read's order
    // Listed directories with files not counted nor begun, each at the place of its nextFile.
    std::map<const Key*, Node*, KeyOrder> files;
    int ahead = 0; // directories begun or listed that the reader has not taken yet
    int idle = 0;  // workers waiting for work
    int workers = 0;
    bool stopping = false;
    std::atomic<int> heldDescriptors {0};
    // What the reader waits for: a directory's listing or one of its files' counts. Workers wake
    // it only when they finish that, not on each thing done.
    Awaited awaited {nullptr, 0};

    ~State()
    {
        // Directories left open by a walk that ended before their subdirectories were listed.
        for (const Node& node : nodes)
            if (node.descriptor >= 0)
                ::close(node.descriptor);
    }
};

namespace {

using State = TreeWalk::State;
using Lock = std::unique_lock<std::mutex>;

// The directory of `path`, queued to be listed. Under the lock.
Node* nodeFor(State& s, std::string&& path, Node* parent, Key key)
{
    for (Node* root : s.roots)
        if (root->path == path)
            return root;
    Node& node = s.nodes.emplace_back();
    node.path = std::move(path);
    node.parent = parent;
    if (parent)
        node.parentVolume = parent->volume;
    node.key = std::move(key);
    s.directories.emplace(&node.key, &node);
    return &node;
}

// Moves a directory's place in the queue of files past the files counted or begun; it leaves the
// queue with its last file. Under the lock.
void skipTakenFiles(State& s, Node& node)
{
    while (node.nextFile < node.files.size() && node.counting[node.nextFile].load(std::memory_order_relaxed) != Work::Pending)
        ++node.nextFile;
    if (node.nextFile == node.files.size())
        s.files.erase(&node.key);
}

bool isRoot(const State& s, const std::string& path)
{
    return std::any_of(s.roots.begin(), s.roots.end(), [&](const Node* root) { return root->path == path; });
}

// The bits (see maskBit) of the masks matching `name`; with `firstOnly`, of the first found.
std::uint64_t matchingMasks(const State& s, std::string_view name, bool firstOnly)
{
    std::uint64_t bits = 0;
    const auto match = [&](const std::vector<std::uint32_t>& indices) {
        for (const std::uint32_t m : indices)
            if (s.masks[m].matches(name)) {
                bits |= TreeWalk::maskBit(m);
                if (firstOnly)
                    return;
            }
    };
    if (!name.empty())
        match(s.suffixMasksByLastLetter[static_cast<unsigned char>(asciiLower(name.back()))]);
    if (bits == 0 || !firstOnly)
        match(s.otherMasks);
    return bits;
}

bool wanted(std::string_view name, const void* state) { return matchingMasks(*static_cast<const State*>(state), name, true) != 0; }

// Once a directory's subdirectories are all opened and its files counted, it need not stay open.
void doneWithDescriptor(State& s, Node& parent)
{
    if (parent.stillNeeded.fetch_sub(1) != 1 || parent.descriptor < 0)
        return;
    ::close(parent.descriptor);
    parent.descriptor = -1;
    --s.heldDescriptors;
}

// Wakes as many waiting workers as there is new work for.
void wakeWorkers(State& s, std::size_t work)
{
    if (work >= static_cast<std::size_t>(s.idle))
        s.work.notify_all();
    else
        for (std::size_t i = 0; i < work; ++i)
            s.work.notify_one();
}

// Lists a directory taken off the queue: called and returns with the lock held, lists without it.
void list(State& s, Node& node, Lock& lock)
{
    node.listing = Work::Busy;
    ++s.ahead;
    // Workers count a directory's files soon after it is listed, so it is held open for them;
    // a read without workers counts them only when its walk comes to them, perhaps in a later
    // pattern, and would hold every directory open till then.
    const bool holdForFiles = s.workers > 0;
    ListingOptions options;
    options.keepFile = wanted;
    options.context = &s;
    Node* parent = node.parent;
    // The parent stays open until this directory is (see doneWithDescriptor).
    if (parent && parent->descriptor >= 0) {
        options.parentDescriptor = parent->descriptor;
        options.name = std::string_view(node.path).substr(parent->path.size(), node.path.size() - parent->path.size() - 1);
    }
    options.keepOpen = ++s.heldDescriptors <= kMaxHeldDescriptors;
    if (!options.keepOpen)
        --s.heldDescriptors;
    lock.unlock();
    DirectoryListing listing = listDirectory(node.path, node.parentVolume, options);
    if (parent)
        doneWithDescriptor(s, *parent);

    // No one looks at a directory being listed, so all of it that takes time (memory, paths, keys)
    // is made before the lock is taken again; the roots and skipRoots never change.
    node.volume = listing.volume;
    node.mtimeNs = listing.mtimeNs;
    node.error = listing.error;
    node.files = std::move(listing.files);
    node.subdirectories = std::move(listing.subdirectories);
    node.icons.assign(node.files.size(), 0);
    for (const std::string& file : node.files)
        node.ownMasks |= matchingMasks(s, file, false);
    node.counting = std::make_unique<std::atomic<Work>[]>(node.files.size());
    std::size_t counts = 0;
    node.nextFile = node.files.size();
    for (std::size_t i = node.files.size(); i-- > 0;) {
        const bool counted = !isCataloguedByName(node.files[i]) && node.path.size() + node.files[i].size() < PATH_MAX;
        node.counting[i].store(counted ? Work::Pending : Work::None, std::memory_order_relaxed);
        if (counted) {
            ++counts;
            node.nextFile = i;
        }
    }
    struct Child {
        std::size_t index;
        std::string path;
        Key key;
    };
    std::vector<Child> children;
    std::size_t unopened = 0;
    node.entered.assign(node.subdirectories.size(), nullptr);
    for (std::size_t i = 0; i < node.subdirectories.size(); ++i) {
        std::string path;
        path.reserve(node.path.size() + node.subdirectories[i].size() + 1);
        path.append(node.path).append(node.subdirectories[i]).push_back('/');
        if (path.size() >= PATH_MAX || std::find(s.skipRoots.begin(), s.skipRoots.end(), path) != s.skipRoots.end())
            continue;
        unopened += isRoot(s, path) ? 0 : 1;
        children.push_back({i, std::move(path), childKey(node.key, node.files.size() + i)});
    }
    node.stillNeeded = unopened + (holdForFiles ? counts : 0);
    // Kept open only while subdirectories are still to be opened or files counted from it.
    if (listing.descriptor >= 0 && node.stillNeeded == 0) {
        ::close(listing.descriptor);
        listing.descriptor = -1;
    }
    node.descriptor = listing.descriptor;
    if (options.keepOpen && node.descriptor < 0)
        --s.heldDescriptors;

    lock.lock();
    if (counts > 0)
        s.files.emplace(&node.key, &node);
    for (Child& child : children)
        node.entered[child.index] = nodeFor(s, std::move(child.path), &node, std::move(child.key));
    node.listing = Work::Done;
    if (s.awaited == Awaited {&node, kListing})
        s.done.notify_one();
    wakeWorkers(s, counts + children.size());
}

// Counts a file taken off the queue; the lock as for list.
void count(State& s, Node& node, std::size_t index, Lock& lock)
{
    node.counting[index] = Work::Busy;
    std::string path;
    path.reserve(node.path.size() + node.files[index].size());
    path.append(node.path).append(node.files[index]);
    const bool held = s.workers > 0; // as when the directory was listed (see list)
    lock.unlock();
    // Opened in the directory while it is held open: the system then looks up one name, not the
    // whole path. The directory stays open until this count is done.
    const int fd = held ? node.descriptor : -1;
    const int icons = fd >= 0 ? s.counter(fd, node.files[index].c_str(), path) : s.counter(AT_FDCWD, path.c_str(), path);
    if (held)
        doneWithDescriptor(s, node);
    lock.lock();
    node.icons[index] = icons;
    node.counting[index].store(Work::Done, std::memory_order_release);
    if (s.awaited == Awaited {&node, index})
        s.done.notify_one();
}

// Takes the earliest work in the read's order and does it, a directory only while the window has
// room; false when there is none. Under the lock, as list and count.
bool doEarliest(State& s, Lock& lock)
{
    const auto file = s.files.begin();
    const auto dir = s.directories.begin();
    if (dir != s.directories.end() && s.ahead < s.window
        && (file == s.files.end() || before(*dir->first, *file->first, file->second->nextFile))) {
        Node& node = *dir->second;
        s.directories.erase(dir);
        list(s, node, lock);
        return true;
    }
    if (file == s.files.end())
        return false;
    Node& node = *file->second;
    const std::size_t index = node.nextFile;
    node.counting[index] = Work::Busy;
    skipTakenFiles(s, node);
    count(s, node, index, lock);
    return true;
}

void startWorker(const std::shared_ptr<State>& shared);

// Whether this thread has waited on the disk since it last asked.
bool readFromDisk()
{
    thread_local long blocksRead = 0;
    struct rusage usage {};
    if (::getrusage(RUSAGE_THREAD, &usage) != 0 || usage.ru_inblock == blocksRead)
        return false;
    blocksRead = usage.ru_inblock;
    return true;
}

// A cold disk answers one request at a time per thread: while the workers wait on it, more of
// them keep more requests in flight. On a warm cache more threads than cores only cost time, so
// a walk starts with few and adds one whenever a task took long because it read from the disk.
void growIfWaitingOnDisk(const std::shared_ptr<State>& shared, std::chrono::steady_clock::duration took)
{
    State& s = *shared;
    if (took < std::chrono::milliseconds(1) || s.workers >= TreeWalk::kMaxWorkers || s.stopping || s.idle > 0
        || (s.files.empty() && s.directories.empty()) || !readFromDisk())
        return;
    startWorker(shared);
}

void work(std::shared_ptr<State> shared)
{
    State& s = *shared;
    Lock lock(s.mutex);
    for (;;) {
        ++s.idle;
        s.work.wait(lock, [&] { return s.stopping || !s.files.empty() || (!s.directories.empty() && s.ahead < s.window); });
        --s.idle;
        if (s.stopping)
            return;
        const auto began = std::chrono::steady_clock::now();
        doEarliest(s, lock);
        growIfWaitingOnDisk(shared, std::chrono::steady_clock::now() - began);
    }
}

// Under the lock.
void startWorker(const std::shared_ptr<State>& shared)
{
    ++shared->workers;
    liveWorkers.fetch_add(1);
    std::thread([state = shared]() mutable {
        work(std::move(state));
        liveWorkers.fetch_sub(1);
        liveWorkers.notify_all();
    }).detach();
}

// Waits until `ready`, doing the work itself when no worker has begun it; false when
// `keepWaiting` said to stop. While a worker has it in hand, the reader does the next work of the
// walk rather than sleep: a sleep and a wake cost more than listing a directory from the cache.
template <typename Ready, typename DoIt>
bool await(State& s, Lock& lock, const TreeWalk::KeepWaiting& keepWaiting, Awaited awaited, Ready ready, DoIt doIt)
{
    using Clock = std::chrono::steady_clock;
    const auto slice = std::chrono::milliseconds(TreeWalk::kWaitSliceMs);
    auto until = Clock::now() + slice;
    while (!ready()) {
        if (!doIt() && (s.stopping || !doEarliest(s, lock))) {
            s.awaited = awaited;
            s.done.wait_until(lock, until);
            s.awaited = {nullptr, 0};
        }
        if (Clock::now() >= until) {
            lock.unlock();
            const bool go = keepWaiting();
            lock.lock();
            if (!go)
                return false;
            until = Clock::now() + slice;
        }
    }
    return true;
}

} // namespace

TreeWalk::TreeWalk(const std::vector<std::string>& roots, const std::vector<std::string>& masks, const std::vector<std::string>& skipRoots,
                   IconCounter counter, int workers, int window)
    : m_state(std::make_shared<State>())
{
    State& s = *m_state;
    for (const std::string& mask : masks) {
        const auto index = static_cast<std::uint32_t>(s.masks.size());
        const Mask& added = s.masks.emplace_back(mask);
        if (added.suffixOnly && !added.suffix.empty())
            s.suffixMasksByLastLetter[static_cast<unsigned char>(added.suffix.back())].push_back(index);
        else
            s.otherMasks.push_back(index);
    }
    s.skipRoots = skipRoots;
    s.counter = std::move(counter);
    s.window = std::max(window, 1);
    for (std::size_t i = 0; i < roots.size(); ++i)
        s.roots.push_back(nodeFor(s, std::string(roots[i]), nullptr, Key {static_cast<std::uint32_t>(i)}));
    const std::lock_guard lock(s.mutex);
    for (int i = 0; i < workers; ++i)
        startWorker(m_state);
}

TreeWalk::~TreeWalk()
{
    {
        const std::lock_guard lock(m_state->mutex);
        m_state->stopping = true;
        m_state->directories.clear();
        m_state->files.clear();
    }
    m_state->work.notify_all();
}

TreeWalk::Directory& TreeWalk::root(const std::string& path)
{
    const std::lock_guard lock(m_state->mutex);
    for (Node* node : m_state->roots)
        if (node->path == path)
            return *node;
    throw std::out_of_range("not a root of the walk: " + path);
}

TreeWalk::Directory* TreeWalk::listed(Directory& dir, const KeepWaiting& keepWaiting)
{
    State& s = *m_state;
    Node& node = static_cast<Node&>(dir);
    // Taken once, a directory stays as listed: each further pattern walks it without the lock.
    if (node.taken)
        return &node;
    Lock lock(s.mutex);
    const bool ok = await(
        s, lock, keepWaiting, {&node, kListing}, [&] { return node.listing == Work::Done; },
        [&] {
            if (node.listing != Work::Pending)
                return false;
            s.directories.erase(&node.key);
            list(s, node, lock);
            return true;
        });
    if (!ok)
        return nullptr;
    if (!node.taken) {
        node.taken = true;
        if (s.ahead-- == s.window)
            s.work.notify_one();
    }
    return &node;
}

std::optional<int> TreeWalk::iconCount(Directory& dir, std::size_t index, const KeepWaiting& keepWaiting)
{
    State& s = *m_state;
    Node& node = static_cast<Node&>(dir);
    const auto finished = [&] {
        const Work state = node.counting[index].load(std::memory_order_acquire);
        return state == Work::Done || state == Work::None;
    };
    if (finished())
        return node.icons[index];
    Lock lock(s.mutex);
    const bool ok = await(s, lock, keepWaiting, {&node, index}, finished, [&] {
        if (node.counting[index] != Work::Pending)
            return false;
        node.counting[index] = Work::Busy;
        if (index == node.nextFile)
            skipTakenFiles(s, node);
        count(s, node, index, lock);
        return true;
    });
    if (!ok)
        return std::nullopt;
    return node.icons[index];
}

void TreeWalk::waitUntilNoWorkersRun()
{
    for (int n = liveWorkers.load(); n != 0; n = liveWorkers.load())
        liveWorkers.wait(n);
}

} // namespace bw
