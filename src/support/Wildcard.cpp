#include "Wildcard.h"

#include "Funky.h"

namespace bw {
bool matchesWildcard(std::string_view name, std::string_view pattern)
{
    // Greedy matching that backtracks only to the last '*': linear in practice, never exponential.
    std::size_t n = 0, p = 0;
    std::size_t starP = std::string_view::npos, starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || asciiLower(pattern[p]) == asciiLower(name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starP = p++;
            starN = n;
        } else if (starP != std::string_view::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*')
        ++p;
    return p == pattern.size();
}

bool matchesAnyWildcard(std::string_view name, std::string_view patterns)
{
    std::size_t start = 0;
    while (start <= patterns.size()) {
        const std::size_t end = patterns.find(';', start);
        const std::string_view one = patterns.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
        if (!one.empty() && matchesWildcard(name, one))
            return true;
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    return false;
}

} // namespace bw
