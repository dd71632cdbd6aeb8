#include "CaptureQueue.h"

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
    : m_catalogue(catalogue)
    , m_last(last)
    , m_loader(std::move(loader))
    , m_background(background)
    , m_layout(layout)
    , m_hashedBlocks(std::min(hashedBlocks, layout.blocks()))
    , m_slots(kWindow)
    , m_readyFor(kWindow, 0)
    , m_next(first)
    , m_released(first)
{
    const auto count
        = static_cast<int>(std::min<std::int64_t>(captureWorkers(threads), std::max<std::int64_t>(1, std::int64_t {last} - first + 1)));
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
            m_workAvailable.wait(lock, [this] { return m_stop || (m_next <= m_last && m_next + kChunk <= m_released + kWindow); });
            --m_idleWorkers;
            if (m_stop)
                return;
            first = m_next;
            last = std::min(m_last, first + kChunk - 1);
            m_next = last + 1;
        }
        for (std::int32_t n = first; n <= last; ++n) {
            CapturedPicture& slot = m_slots[static_cast<std::size_t>(n % kWindow)];
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
            slot.blockHashes.resize(static_cast<std::size_t>(m_hashedBlocks));
            m_layout.hashBlocks(slot.samples, 0, m_hashedBlocks, slot.blockHashes.data());
        }
        bool wake;
        {
            std::lock_guard lock(m_mutex);
            for (std::int32_t n = first; n <= last; ++n)
                m_readyFor[static_cast<std::size_t>(n % kWindow)] = n;
            wake = m_readerWaiting;
        }
        if (wake)
            m_pictureReady.notify_one();
    }
}

const CapturedPicture& CaptureQueue::take(std::int32_t n)
{
    std::unique_lock lock(m_mutex);
    if (n > m_released) {
        m_released = n; // the slots of earlier entries are free again
        if (m_idleWorkers > 0 && m_next + kChunk <= m_released + kWindow)
            m_workAvailable.notify_all();
    }
    const std::size_t slot = static_cast<std::size_t>(n % kWindow);
    if (m_readyFor[slot] != n) {
        m_readerWaiting = true;
        m_pictureReady.wait(lock, [&] { return m_readyFor[slot] == n; });
        m_readerWaiting = false;
    }
    return m_slots[slot];
}

} // namespace bw
