#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace bw {

// Counts the icons of one file: `name` in the open directory `directory`, whose whole path is
// `path`; where the walk does not hold the directory open, `directory` is AT_FDCWD and `name` the
// path. Worker threads call it, and one may still be inside it after the read has ended: it must
// hold everything it needs itself and touch no window.
using IconCounter = std::function<int(int directory, const char* name, const std::string& path)>;

// The work of a tree read that needs no window, done once on worker threads: every directory of
// the trees is listed once, and every library matching one of the read's masks has its icons
// counted once, however many of the masks match it and however often the read walks the tree.
//
// One reader takes the results in its own order, depth-first. The workers go in that order too,
// a directory's files before its subdirectories, and at most `window` directories ahead of what
// the reader has taken, so a huge tree never piles up unread results. What the reader asks for
// and no worker has begun, it does itself; with no workers the walk is a plain single-threaded
// one.
//
// Ending the walk stops the workers without waiting for them: each ends after the directory or
// file in hand, and holds nothing but the walk's shared state, so a worker stuck on a slow device
// never holds up the end of a read or of the program.
class TreeWalk {
public:
    // Workers a walk starts with, and up to how many it adds while they wait on the disk.
    static constexpr int kWorkers = 2;
    static constexpr int kMaxWorkers = 16;
    static constexpr int kWindow = 256;

    // A directory as listed once: its files matching one of the read's masks and all its
    // subdirectories, both sorted by their bytes.
    struct Directory {
        std::string path; // ends in '/'
        std::uint64_t volume = 0;
        std::int64_t mtimeNs = -1; // as listed
        bool recorded = false;     // in the reader's list of directories walked
        int error = 0;             // errno where it could not be listed (whole), else 0
        std::vector<std::string> files;
        std::vector<std::string> subdirectories;
        // Per subdirectory the directory the read enters, or null where it does not (a root
        // that is skipped, a path too long to open).
        std::vector<Directory*> entered;
        // Per file its icons as counted, once finished; never counted for names catalogued by name.
        std::vector<int> icons;
        // The masks (see maskBit) that match one of the files here, and those matching a file
        // anywhere below, once the reader has walked the whole tree; every mask until then. A
        // later walk for another mask passes by a tree without a file for it.
        std::uint64_t ownMasks = 0;
        std::uint64_t masksBelow = ~std::uint64_t {0};
    };

    // The bit of the mask at `index` in the masks the walk was made with; the last bit stands
    // for all masks from there on.
    static constexpr std::uint64_t maskBit(std::size_t index) { return std::uint64_t {1} << std::min<std::size_t>(index, 63); }

    // Reads waits in slices of this length; `keepWaiting` runs between them (to pump the
    // window's messages and learn of a cancel).
    static constexpr int kWaitSliceMs = 20;
    using KeepWaiting = std::function<bool()>;

    // The trees below `roots` (each ending in '/'), in that order. Subdirectories whose path is in
    // `skipRoots` are not entered.
    TreeWalk(const std::vector<std::string>& roots, const std::vector<std::string>& masks, const std::vector<std::string>& skipRoots,
             IconCounter counter, int workers = kWorkers, int window = kWindow);
    ~TreeWalk();
    TreeWalk(const TreeWalk&) = delete;
    TreeWalk& operator=(const TreeWalk&) = delete;

    // The start directory of one of the roots, not yet listed.
    Directory& root(const std::string& path);
    // Waits until the directory is listed; null when `keepWaiting` said to stop.
    Directory* listed(Directory& dir, const KeepWaiting& keepWaiting);
    // Waits until file `index` of a listed directory is counted; none when `keepWaiting` said to stop.
    std::optional<int> iconCount(Directory& dir, std::size_t index, const KeepWaiting& keepWaiting);

    // Waits until no worker thread of any walk runs.
    static void waitUntilNoWorkersRun();

    struct State; // shared with the workers

private:
    std::shared_ptr<State> m_state;
};

} // namespace bw
