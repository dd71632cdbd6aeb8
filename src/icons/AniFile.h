#pragma once

#include "ByteReader.h"
#include "ReadError.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace bw {

// An animated cursor (RIFF "ACON"): an "anih" header, an optional "seq " chunk with the order in
// which frames are shown and an optional "rate" chunk, and a "LIST" of type "fram" whose "icon"
// chunks each hold a complete icon or cursor file.
struct AniCursor {
    std::vector<ByteReader> frames; // each an icon or cursor file, in stored order
    std::uint32_t firstShown = 0;   // the frame shown first: the first step of "seq ", else 0
};

// Real animated cursors have a few dozen frames; a file claiming more is refused before anything
// is allocated for them.
inline constexpr std::uint32_t kMaxAniFrames = 1024;

// Whether the file starts like an animated cursor: "RIFF", a size that fits the file, "ACON".
bool isAniFile(ByteReader file);

// The frames of an animated cursor; none when a chunk runs outside its parent, the file holds no
// frame or more than kMaxAniFrames, or the first frame shown is not a valid icon or cursor file.
std::optional<AniCursor> readAniCursor(ByteReader file);

} // namespace bw
