#include "AppState.h"

namespace bw {

std::int32_t catalogueEntryCount(const AppState& state) { return state.catalogue ? state.catalogue->entryCount() : 0; }

std::int32_t catalogueEntryCount() { return catalogueEntryCount(appState()); }

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
