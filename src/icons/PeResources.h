#pragma once

#include "ByteReader.h"
#include "IconDirectory.h"
#include "ReadError.h"

#include <QImage>

#include <string>

namespace bw {

// What reading a file's group directory found out that holds for every group of it: kept by a
// caller that reads the same unchanged bytes again, so that exporting every icon of a library
// with thousands of groups does not check the order of all of them for each one. A new file
// needs a new (empty) memo.
struct PeGroupMemo {
    std::optional<bool> shellOrder; // whether the stored order is already the shell's
};

// Group icons (RT_GROUP_ICON) of a 32- or 64-bit Portable Executable. A call that gives nothing
// leaves the reason in lastReadError().
bool isPeFile(ByteReader file);
int peGroupIconCount(ByteReader file);
QImage peGroupIcon(ByteReader file, int index, ImagePick pick = ImagePick::IconSize, PeGroupMemo* memo = nullptr);
// Every image of the group at `index` (its bytes inside `file`); none when the group is unreadable.
std::optional<std::vector<IconCandidate>> peGroupCandidates(ByteReader file, int index, PeGroupMemo* memo = nullptr);

// A group stored in several languages counts once (in its first language), but each language
// may hold other images. Every variant of the group at `index`, the first language first; each
// image is taken in the variant's own language where the file has it. At most
// kMaxGroupLanguages variants.
inline constexpr std::uint32_t kMaxGroupLanguages = 64;
struct PeGroupVariant {
    std::uint32_t language = 0;
    std::vector<IconCandidate> candidates;
};
std::optional<std::vector<PeGroupVariant>> peGroupVariants(ByteReader file, int index, PeGroupMemo* memo = nullptr);

// What the group at `index` is stored under: its resource number, or its name, and the languages
// it is stored in (the first one shown; at most kMaxGroupLanguages).
struct PeGroupName {
    std::uint32_t number = 0;
    std::optional<std::u16string> name; // set for a named group
    std::vector<std::uint32_t> languages;
};
std::optional<PeGroupName> peGroupName(ByteReader file, int index, PeGroupMemo* memo = nullptr);

} // namespace bw
