#pragma once

#include <string_view>

namespace bw {

// '*' matches any run of characters, '?' one character; ASCII letters match without regard to
// case; nothing else is special.
bool matchesWildcard(std::string_view name, std::string_view pattern);

// Several patterns separated by ';' ("*.ico;*.dll"): true when any matches.
bool matchesAnyWildcard(std::string_view name, std::string_view patterns);

} // namespace bw
