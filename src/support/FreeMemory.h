#pragma once

#include <cstdlib>

namespace bw {

// For std::unique_ptr over memory from std::calloc or std::aligned_alloc, which std::free returns.
struct FreeMemory {
    void operator()(void* memory) const { std::free(memory); }
};

} // namespace bw
