#pragma once

#include <cstdint>

namespace bw {

// Where the page stands: its grid, the first entry shown, and the entry and cell under the mouse.
struct PageState {
    int cellsAcross = 1;
    int cellsDown = 0;
    int pageCapacity = 0;
    std::int32_t firstVisible = 1;
    std::int32_t pointerEntry = 0;
    int pointerCell = 1;
};

} // namespace bw
