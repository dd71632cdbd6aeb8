#pragma once

#include "NeighbourIndex.h"
#include "PictureCapture.h"

#include "catalogue/Catalogue.h"

#include <QByteArray>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace bw {

class StoredPictures;

// One entry's picture as captured by a worker.
struct CapturedPicture {
    bool loaded = false;
    QByteArray packed; // as kept, for a queue over stored pictures
    Samples samples {};
    EncodedPicture encoded;
    std::vector<std::uint32_t> blockHashes; // of the first blocks of the queue's layout
};

// Loads, draws and encodes the pictures of entries first..last on worker threads, a bounded
// distance ahead of the reader, and hands them out strictly in entry order. The reader must not
// change the catalogue's entries (their flags excepted) while the queue lives.
class CaptureQueue {
public:
    // `layout` (may have no blocks) must outlive the queue; the first `hashedBlocks` of its
    // blocks are hashed.
    CaptureQueue(const Catalogue& catalogue, std::int32_t first, std::int32_t last, IconLoader loader, QRgb background,
                 const BlockLayout& layout, int hashedBlocks, int threads);
    // Takes the pictures from `stored` instead: the reader's thread reads them ahead in entry
    // order, and the workers (one per core) only unpack and hash them.
    CaptureQueue(const Catalogue& catalogue, std::int32_t first, std::int32_t last, StoredPictures& stored, QRgb background,
                 const BlockLayout& layout, int hashedBlocks, int threads);
    ~CaptureQueue();
    CaptureQueue(const CaptureQueue&) = delete;
    CaptureQueue& operator=(const CaptureQueue&) = delete;

    // Entry n's picture; n must follow the previous call's n. Valid until the next call.
    const CapturedPicture& take(std::int32_t n);

private:
    CaptureQueue(const Catalogue& catalogue, std::int32_t first, std::int32_t last, IconLoader loader, StoredPictures* stored,
                 QRgb background, const BlockLayout& layout, int hashedBlocks, int workers);
    void work();
    void capture(std::int32_t n, CapturedPicture& slot);
    void readAhead(std::unique_lock<std::mutex>& lock);

    static constexpr std::int32_t kWindow = 256;
    // Workers take this many consecutive entries at a time, so that hand-overs (and the sleeping
    // and waking that go with them) are rare compared with the work.
    static constexpr std::int32_t kChunk = 16;
    // A stored picture takes a few microseconds to unpack: runs of 64 keep hand-overs rare.
    static constexpr std::int32_t kStoredWindow = 1024;
    static constexpr std::int32_t kStoredChunk = 64;
    const Catalogue& m_catalogue;
    const std::int32_t m_last;
    IconLoader m_loader;
    StoredPictures* const m_stored;
    QRgb m_background;
    const BlockLayout& m_layout;
    const int m_hashedBlocks;
    const std::int32_t m_window;
    const std::int32_t m_chunk;
    std::vector<CapturedPicture> m_slots;
    std::vector<std::int32_t> m_readyFor; // the entry each slot holds once it is complete
    std::mutex m_mutex;
    std::condition_variable m_workAvailable;
    std::condition_variable m_pictureReady;
    std::int32_t m_next;     // the next entry a worker takes
    std::int32_t m_read;     // entries below this have their stored pictures read (all, without them)
    std::int32_t m_released; // entries below this have been read and their slots may be reused
    bool m_stop = false;
    bool m_readerWaiting = false;
    int m_idleWorkers = 0;
    std::vector<std::thread> m_workers;
};

// Cores to work on: all unless `requested` is positive.
int captureThreads(int requested);
// Worker threads for a capture unless `requested` is positive: four per core (at most 16), since
// a worker mostly waits for its file when the files are not in memory yet; on a cold disk 8
// workers on 2 cores captured 300,000 icon files in 16 s against 29 s with 2, and as fast as 2
// when the files were in memory.
int captureWorkers(int requested);

} // namespace bw
