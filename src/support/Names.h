#pragma once

#include <string>
#include <string_view>

namespace bw {

// What quotedName does with bytes that are not UTF-8: a terminal or a script gets them as they
// are; the screen gets them escaped, where they would otherwise show as replacement characters.
enum class NonUtf8 { Keep, Escape };

// A name as one line can hold it, as git quotes paths: its bytes as they are, unless it holds a
// control character, a double quote or a backslash (or, with Escape, a byte that is not UTF-8);
// then in double quotes with C escapes ("\n", "\t", "\344"). Valid UTF-8 (umlauts) stays as it is.
std::string quotedName(std::string_view name, NonUtf8 nonUtf8);
// True when quotedName gives the name back as it is (for writers that spare the copy).
bool isPlainName(std::string_view name, NonUtf8 nonUtf8);

} // namespace bw
