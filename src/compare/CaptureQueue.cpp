#include "CaptureQueue.h"

#include "DuplicateFinder.h"

#include <algorithm>

namespace bw {

int captureThreads(int requested)
{
    if (requested > 0)
        return requested;
    return std::max(1, static_cast<int>(std::thread::hardware_concurrency()));
}

int captureWorkers(int requested)
{
    if (requested > 0)
        return requested;
    return std::min(16, 4 * captureThreads(0));
}

CaptureQueue::CaptureQueue(const Catalogue& catalogue, std::int32_t first, std::int32_t last, IconLoader loader, QRgb background,
                           const BlockLayout& layout, int hashedBlocks, int threads)
    : CaptureQueue(catalogue, first, last, std::move(loader), nullptr, background, layout, hashedBlocks, captureWorkers(threads))
{
}

// Unpacking needs no waiting for files: a worker per core keeps up.
CaptureQueue::CaptureQueue(const Catalogue& catalogue, std::int32_t first, std::int32_t last, StoredPictures& stored, QRgb background,
                           const BlockLayout& layout, int hashedBlocks, int threads)
    : CaptureQueue(catalogue, first, last, {}, &stored, background, layout, hashedBlocks, captureThreads(threads))
{
}

CaptureQueue::CaptureQueue(const Catalogue& catalogue, std::int32_t first, std::int32_t last, IconLoader loader, StoredPictures* stored,
                           QRgb background, const BlockLayout& layout, int hashedBlocks, int workers)
    : m_catalogue(catalogue)
    , m_last(last)
    , m_loader(std::move(loader))
    , m_stored(stored)
    , m_background(background)
    , m_layout(layout)
    , m_hashedBlocks(std::min(hashedBlocks, layout.blocks()))
    , m_window(stored ? kStoredWindow : kWindow)
    , m_chunk(stored ? kStoredChunk : kChunk)
    , m_slots(static_cast<std::size_t>(m_window))
    , m_readyFor(static_cast<std::size_t>(m_window), 0)
    , m_next(first)
    , m_read(stored ? first : last + 1)
    , m_released(first)
{
    const auto count = static_cast<int>(std::min<std::int64_t>(workers, std::max<std::int64_t>(1, std::int64_t {last} - first + 1)));
    for (int t = 0; t < count; ++t)
        m_workers.emplace_back([this] { work(); });
}

CaptureQueue::~CaptureQueue()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_workAvailable.notify_all();
    for (std::thread& worker : m_workers)
        worker.join();
}

void CaptureQueue::work()
{
    for (;;) {
        std::int32_t first;
        std::int32_t last;
        {
            std::unique_lock lock(m_mutex);
            ++m_idleWorkers;
            m_workAvailable.wait(lock, [this] { return m_stop || (m_next < m_read && m_next + m_chunk <= m_released + m_window); });
            --m_idleWorkers;
            if (m_stop)
                return;
            first = m_next;
            last = std::min({m_last, m_read - 1, first + m_chunk - 1});
            m_next = last + 1;
        }
        for (std::int32_t n = first; n <= last; ++n)
            capture(n, m_slots[static_cast<std::size_t>(n % m_window)]);
        bool wake;
        {
            std::lock_guard lock(m_mutex);
            for (std::int32_t n = first; n <= last; ++n)
                m_readyFor[static_cast<std::size_t>(n % m_window)] = n;
            wake = m_readerWaiting;
        }
        if (wake)
            m_pictureReady.notify_one();
    }
}

void CaptureQueue::capture(std::int32_t n, CapturedPicture& slot)
{
    if (m_stored) {
        slot.loaded = slot.loaded && m_stored->unpack(slot.packed, slot.samples, slot.encoded);
        if (!slot.loaded) {
            slot.samples.fill(m_background & 0xFFFFFFu);
            encodePicture(slot.samples, m_background & 0xFFFFFFu, slot.encoded);
        }
    } else {
        const IconEntry& entry = m_catalogue[n];
        QImage icon;
        try {
            icon = m_loader(entry.path(), entry.iconIndex);
        } catch (...) {
            icon = QImage(); // an icon that cannot be had counts as one that cannot be loaded
        }
        slot.loaded = !icon.isNull();
        capturePicture(icon, m_background, slot.samples);
        encodePicture(slot.samples, m_background & 0xFFFFFFu, slot.encoded);
    }
    slot.blockHashes.resize(static_cast<std::size_t>(m_hashedBlocks));
    m_layout.hashBlocks(slot.samples, 0, m_hashedBlocks, slot.blockHashes.data());
}

// Stored pictures are asked for on the taking thread, in entry order, as StoredPictures wants.
// Once half the window has been taken, it is filled up again, in runs of a chunk that the
// workers start on at once.
void CaptureQueue::readAhead(std::unique_lock<std::mutex>& lock)
{
    if (m_read > m_last || m_read - m_released >= m_window / 2)
        return;
    const std::int32_t end = std::min(m_last + 1, m_released + m_window);
    while (m_read < end) {
        const std::int32_t from = m_read;
        const std::int32_t to = std::min(end, from + m_chunk);
        lock.unlock(); // the workers touch only the slots of entries below m_read
        for (std::int32_t n = from; n < to; ++n) {
            CapturedPicture& slot = m_slots[static_cast<std::size_t>(n % m_window)];
            slot.loaded = m_stored->read(n, slot.packed);
        }
        lock.lock();
        m_read = to;
        if (m_idleWorkers > 0)
            m_workAvailable.notify_one();
    }
}

const CapturedPicture& CaptureQueue::take(std::int32_t n)
{
    std::unique_lock lock(m_mutex);
    if (n > m_released) {
        m_released = n; // the slots of earlier entries are free again
        if (m_idleWorkers > 0 && m_next + m_chunk <= m_released + m_window)
            m_workAvailable.notify_all();
    }
    if (m_stored)
        readAhead(lock);
    const std::size_t slot = static_cast<std::size_t>(n % m_window);
    if (m_readyFor[slot] != n) {
        m_readerWaiting = true;
        m_pictureReady.wait(lock, [&] { return m_readyFor[slot] == n; });
        m_readerWaiting = false;
    }
    return m_slots[slot];
}

} // namespace bw
