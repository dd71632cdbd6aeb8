#include "Catalogue.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <type_traits>

namespace bw {
namespace {

// Paths are packed into chunks of this size; a chunk never moves, so entries can point into it.
constexpr std::size_t kChunkBytes = 1 << 20;

} // namespace

// An empty entry is all zero bytes, so zeroed memory holds empty entries without a constructor.
static_assert(std::is_aggregate_v<IconEntry> && std::is_trivially_copyable_v<IconEntry>);

Catalogue::Catalogue(std::int32_t capacity)
    : m_capacity(std::max(capacity, 0))
    // calloc of a large block maps fresh pages, which the system zeroes on their first use: an
    // empty catalogue neither clears nor holds the memory of a million entries.
    , m_entries(static_cast<IconEntry*>(std::calloc(static_cast<std::size_t>(m_capacity) + 1, sizeof(IconEntry))))
{
    if (!m_entries)
        throw std::bad_alloc();
}

std::string_view Catalogue::storePath(std::string_view path)
{
    // Entries of one file are appended one after another: they share the previous copy.
    if (m_entryCount > 0) {
        const std::string_view previous = m_entries[static_cast<std::size_t>(m_entryCount)].path();
        if (previous == path)
            return previous;
    }
    if (m_chunks.empty() || m_chunkSize - m_chunkUsed < path.size()) {
        const std::size_t size = std::max(kChunkBytes, path.size());
        m_chunks.push_back(std::make_unique_for_overwrite<char[]>(size));
        m_chunkSize = size;
        m_chunkUsed = 0;
    }
    char* target = m_chunks.back().get() + m_chunkUsed;
    if (!path.empty())
        std::memcpy(target, path.data(), path.size());
    m_chunkUsed += path.size();
    return {target, path.size()};
}

void Catalogue::appendEntry(std::string_view path, std::uint16_t iconIndex)
{
    if (isFull())
        return;
    const std::string_view stored = storePath(path);
    IconEntry& e = m_entries[static_cast<std::size_t>(++m_entryCount)];
    e.pathData = stored.data();
    e.pathLength = static_cast<std::uint32_t>(stored.size());
    e.iconIndex = iconIndex;
    e.defective = 0;
    e.marked = 0;
}

void Catalogue::clearCatalogue()
{
    std::fill(m_entries.get() + 1, m_entries.get() + 1 + m_entryCount, IconEntry {});
    m_entryCount = 0;
    m_unreadableDirectories = 0;
    m_chunks.clear();
    m_chunkUsed = 0;
    m_chunkSize = 0;
}

void Catalogue::swapWith(Catalogue& other)
{
    std::swap(m_capacity, other.m_capacity);
    std::swap(m_entryCount, other.m_entryCount);
    std::swap(m_unreadableDirectories, other.m_unreadableDirectories);
    std::swap(m_entries, other.m_entries);
    std::swap(m_chunks, other.m_chunks);
    std::swap(m_chunkUsed, other.m_chunkUsed);
    std::swap(m_chunkSize, other.m_chunkSize);
}

} // namespace bw
