#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

namespace bw {

// One entry of a resource name directory, as found in an executable.
struct ResourceRef {
    bool named = false;
    std::uint32_t id = 0;          // numeric id (unused when named)
    std::uint64_t entryOffset = 0; // where the entry is stored, format-specific
};

// Group icons are numbered the way the shell enumerates them: named entries first, in the order
// they are stored, then numeric ids ascending (stored order among equal ids).
inline void orderResources(std::vector<ResourceRef>& refs)
{
    auto firstId = std::stable_partition(refs.begin(), refs.end(), [](const ResourceRef& r) { return r.named; });
    std::stable_sort(firstId, refs.end(), [](const ResourceRef& a, const ResourceRef& b) { return a.id < b.id; });
}

} // namespace bw
