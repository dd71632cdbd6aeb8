#include "PageState.h"

namespace bw {

PageState& pageState()
{
    static PageState state;
    return state;
}

} // namespace bw
