#include "FileWindow.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace bw {

std::uint8_t ByteReader::windowByte(const FileWindow* window, std::uint64_t fileOffset) { return window->byteAt(fileOffset); }

std::uint8_t FileWindow::byteAt(std::uint64_t offset) const
{
    // A handful of chunks at most, the one read last usually the one asked for.
    for (auto it = m_chunks.rbegin(); it != m_chunks.rend(); ++it)
        if (offset >= it->offset && offset - it->offset < it->size)
            return it->bytes[offset - it->offset];
    if (!m_missing)
        m_missing = offset;
    return 0;
}

bool FileWindow::load(std::uint64_t offset, std::uint64_t length)
{
    if (offset >= m_size)
        return true;
    length = std::min(length, m_size - offset);
    if (m_loaded + length > kMaxBytes)
        return false;
    Chunk chunk {offset, 0, std::make_unique_for_overwrite<std::uint8_t[]>(length)};
    std::uint64_t done = 0;
    while (done < length) {
        const ssize_t n = ::pread(m_fd, chunk.bytes.get() + done, length - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        done += static_cast<std::uint64_t>(n);
    }
    chunk.size = done;
    m_loaded += length;
    m_chunks.push_back(std::move(chunk));
    return true;
}

FileWindow::Load FileWindow::loadMissing()
{
    if (!m_missing)
        return Load::Done;
    const std::uint64_t wanted = *m_missing;
    m_missing.reset();
    const std::uint64_t start = wanted - wanted % kChunk;
    if (m_loaded + std::min(kChunk, m_size - start) > kMaxBytes)
        return Load::Full;
    if (!load(start, kChunk))
        return Load::Failed;
    const Chunk& last = m_chunks.back();
    return wanted - last.offset < last.size ? Load::Done : Load::Failed;
}

} // namespace bw
