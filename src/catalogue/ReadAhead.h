#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace bw {

// Reads ahead of a tree read in worker threads: lists the directories of the tree and reads the
// headers of the files the read will open, in the read's own order (depth-first, a directory's
// files before its subdirectories), so that on a cold disk the read finds them in the page cache
// and several requests are in flight at once instead of one. It only warms the cache: the read
// lists and counts everything itself, so what it finds and the order of it never depend on how
// far ahead the workers are.
class ReadAhead {
public:
    static constexpr int kThreads = 4;

    explicit ReadAhead(int threads = kThreads);
    // Stops the workers without waiting for them: one that is stuck on a slow device must not
    // hold up the end of the read. Each ends after its current file.
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // Queues the tree below `root` (ending in '/'), after the trees queued before. Files matching
    // one of `masks` are read, except ".ico" and ".cur" files, which a read never opens; with no
    // masks only the directories are listed.
    // Subdirectories whose path is in `skipRoots` are not entered, as in the read.
    void addTree(const std::string& root, const std::vector<std::string>& masks, const std::vector<std::string>& skipRoots);

    // Waits until every queued tree has been read ahead (for tests and measurements).
    void waitUntilDone();
    // Files and directories the workers have read so far.
    std::int64_t filesRead() const;
    std::int64_t directoriesListed() const;

    struct State; // shared with the workers, which may outlive this object

private:
    std::shared_ptr<State> m_state;
};

} // namespace bw
