#include "AppState.h"

namespace bw {

std::int32_t catalogueEntryCount()
{
    const AppState& s = appState();
    return s.catalogue ? s.catalogue->entryCount() : 0;
}

AppState& appState()
{
    static AppState state;
    return state;
}

PageState& pageState()
{
    static PageState state;
    return state;
}

} // namespace bw
