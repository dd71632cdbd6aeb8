#include "Names.h"

#include <algorithm>
#include <array>

namespace bw {
namespace {

constexpr bool isControl(unsigned char c) { return c < 0x20 || c == 0x7F; }
constexpr bool needsQuotes(unsigned char c) { return isControl(c) || c == '"' || c == '\\'; }
bool isContinuation(unsigned char c) { return (c & 0xC0) == 0x80; }

// The length of the well-formed UTF-8 sequence that begins at `at`, or 0 where none does
// (a stray continuation byte, a cut sequence, an overlong form, a surrogate, beyond U+10FFFF).
std::size_t utf8Length(std::string_view s, std::size_t at)
{
    const auto c = static_cast<unsigned char>(s[at]);
    if (c < 0x80)
        return 1;
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF; // the range of the second byte
    if (c >= 0xC2 && c <= 0xDF) {
        length = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        length = 3;
        if (c == 0xE0)
            low = 0xA0;
        else if (c == 0xED)
            high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        length = 4;
        if (c == 0xF0)
            low = 0x90;
        else if (c == 0xF4)
            high = 0x8F;
    } else {
        return 0;
    }
    if (s.size() - at < length)
        return 0;
    const auto second = static_cast<unsigned char>(s[at + 1]);
    if (second < low || second > high)
        return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (!isContinuation(static_cast<unsigned char>(s[at + i])))
            return 0;
    return length;
}

void appendOctal(std::string& out, unsigned char c)
{
    const char octal[]
        = {'\\', static_cast<char>('0' + (c >> 6)), static_cast<char>('0' + ((c >> 3) & 7)), static_cast<char>('0' + (c & 7))};
    out.append(octal, sizeof octal);
}

// needsQuotes of every byte, looked up: each name a command writes passes through isPlainName.
constexpr std::array<bool, 256> kNeedsQuotes = [] {
    std::array<bool, 256> table {};
    for (unsigned c = 0; c < table.size(); ++c)
        table[c] = needsQuotes(static_cast<unsigned char>(c));
    return table;
}();

} // namespace

bool isPlainName(std::string_view name, NonUtf8 nonUtf8)
{
    if (nonUtf8 == NonUtf8::Keep)
        return std::none_of(name.begin(), name.end(), [](char c) { return kNeedsQuotes[static_cast<unsigned char>(c)]; });
    for (std::size_t i = 0; i < name.size();) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c < 0x80) {
            if (kNeedsQuotes[c])
                return false;
            ++i;
            continue;
        }
        const std::size_t length = utf8Length(name, i);
        if (length == 0)
            return false;
        i += length;
    }
    return true;
}

std::string quotedName(std::string_view name, NonUtf8 nonUtf8)
{
    if (isPlainName(name, nonUtf8))
        return std::string(name);
    std::string quoted = "\"";
    for (std::size_t i = 0; i < name.size();) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c >= 0x80 && nonUtf8 == NonUtf8::Escape) {
            const std::size_t length = utf8Length(name, i);
            if (length == 0) {
                appendOctal(quoted, c);
                ++i;
            } else {
                quoted.append(name.substr(i, length));
                i += length;
            }
            continue;
        }
        ++i;
        switch (c) {
        case '\a': quoted += "\\a"; break;
        case '\b': quoted += "\\b"; break;
        case '\t': quoted += "\\t"; break;
        case '\n': quoted += "\\n"; break;
        case '\v': quoted += "\\v"; break;
        case '\f': quoted += "\\f"; break;
        case '\r': quoted += "\\r"; break;
        case '"': quoted += "\\\""; break;
        case '\\': quoted += "\\\\"; break;
        default:
            if (isControl(c))
                appendOctal(quoted, c);
            else
                quoted += static_cast<char>(c);
        }
    }
    quoted += '"';
    return quoted;
}

} // namespace bw
