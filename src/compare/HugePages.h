#pragma once

#include "support/FreeMemory.h"

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

namespace bw {

// The duplicate finder reads its pictures and tables at random, and with ordinary 4 KiB pages
// nearly every such read also misses the processor's table of page addresses. Large blocks it
// fills later are asked to be backed by 2 MiB pages where the system offers them; the request
// must come before the pages are first written, and is only a hint.
inline constexpr std::size_t kHugePage = std::size_t {2} << 20;

inline void adviseHugePages(const void* start, std::size_t bytes)
{
    const auto first = (reinterpret_cast<std::uintptr_t>(start) + kHugePage - 1) & ~(kHugePage - 1);
    const auto end = (reinterpret_cast<std::uintptr_t>(start) + bytes) & ~(kHugePage - 1);
    if (end > first)
        madvise(reinterpret_cast<void*>(first), end - first, MADV_HUGEPAGE); // NOLINT(performance-no-int-to-ptr)
}

using HugeBytes = std::unique_ptr<std::uint8_t[], FreeMemory>;

// `bytes` (rounded up to whole 2 MiB pages) aligned to a 2 MiB page, not yet written; null when
// there is no memory.
inline HugeBytes allocateHuge(std::size_t bytes)
{
    const std::size_t size = (bytes + kHugePage - 1) & ~(kHugePage - 1);
    HugeBytes block(static_cast<std::uint8_t*>(std::aligned_alloc(kHugePage, size)));
    if (block)
        adviseHugePages(block.get(), size);
    return block;
}

} // namespace bw
