#pragma once

#include "ByteReader.h"
#include "IconDirectory.h"
#include "ReadError.h"

#include <QImage>

#include <string>

namespace bw {

// Group icons of a 16-bit New Executable (Windows 3.x programs and .icl icon libraries). A call
// that gives nothing leaves the reason in lastReadError().
bool isNeFile(ByteReader file);
int neGroupIconCount(ByteReader file);
QImage neGroupIcon(ByteReader file, int index, ImagePick pick = ImagePick::IconSize);
// Every image of the group at `index` (its bytes inside `file`); none when the group is unreadable.
std::optional<std::vector<IconCandidate>> neGroupCandidates(ByteReader file, int index);

// What the group at `index` is stored under: its resource number, or its name (8-bit text).
struct NeGroupName {
    std::uint32_t number = 0;
    std::optional<std::string> name; // set for a named group
};
std::optional<NeGroupName> neGroupName(ByteReader file, int index);

} // namespace bw
