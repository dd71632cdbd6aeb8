#pragma once

#include "ByteReader.h"
#include "IconDirectory.h"

#include <QImage>

namespace bw {

// Group icons (RT_GROUP_ICON) of a 32- or 64-bit Portable Executable.
bool isPeFile(ByteReader file);
int peGroupIconCount(ByteReader file);
QImage peGroupIcon(ByteReader file, int index, ImagePick pick = ImagePick::IconSize);
// Every image of the group at `index` (its bytes inside `file`); none when the group is unreadable.
std::optional<std::vector<IconCandidate>> peGroupCandidates(ByteReader file, int index);

} // namespace bw
