#include "AniFile.h"

#include "IconDirectory.h"

namespace bw {
namespace {

// RIFF chunks: a four-letter id, a 32-bit little-endian size, the data, padded to an even length.
struct Chunk {
    std::uint64_t at = 0; // the data's offset in the file
    std::uint32_t size = 0;
};

// Calls `visit(id, chunk)` for each chunk between `begin` and `end`; false when a chunk runs
// past `end`. Every chunk takes at least 8 bytes, so the walk ends within the file's length.
template <typename Visit> bool forEachChunk(ByteReader file, std::uint64_t begin, std::uint64_t end, Visit&& visit)
{
    std::uint64_t at = begin;
    while (at + 8 <= end) {
        const std::uint64_t idAt = at;
        const Chunk chunk {at + 8, file.u32(at + 4)};
        if (!file.ok() || chunk.size > end - chunk.at)
            return false;
        if (!visit(idAt, chunk))
            return true;
        at = chunk.at + chunk.size + (chunk.size & 1);
    }
    return true;
}

} // namespace

bool isAniFile(ByteReader file)
{
    const std::uint32_t riffSize = file.u32(4);
    return file.matches(0, "RIFF") && file.matches(8, "ACON") && file.ok() && riffSize >= 4;
}

std::optional<AniCursor> readAniCursor(ByteReader file)
{
    if (!isAniFile(file))
        return refuse(ReadError::UnknownFormat), std::nullopt;
    // Writers disagree on whether the RIFF size counts a pad byte; a size past the end is
    // cut to the file, as the chunks themselves are checked.
    const std::uint64_t end = std::min<std::uint64_t>(file.size(), 8 + static_cast<std::uint64_t>(file.u32(4)));
    AniCursor ani;
    std::optional<Chunk> sequence;
    std::optional<Chunk> frameList;
    bool header = false;
    const bool wellFormed = forEachChunk(file, 12, end, [&](std::uint64_t id, const Chunk& chunk) {
        if (file.matches(id, "anih"))
            header = chunk.size >= 36;
        else if (file.matches(id, "seq "))
            sequence = chunk;
        else if (file.matches(id, "LIST") && chunk.size >= 4 && file.matches(chunk.at, "fram") && !frameList)
            frameList = chunk;
        return true;
    });
    if (!wellFormed || !header || !frameList)
        return refuse(ReadError::BadChunk), std::nullopt;

    // Counted before they are kept, so that a crafted list of a million empty chunks costs a
    // walk, not an allocation.
    std::uint32_t frameCount = 0;
    const std::uint64_t listEnd = frameList->at + frameList->size;
    const auto isFrame = [&](std::uint64_t id) { return file.matches(id, "icon"); };
    if (!forEachChunk(file, frameList->at + 4, listEnd, [&](std::uint64_t id, const Chunk&) {
            frameCount += isFrame(id) ? 1 : 0;
            return frameCount <= kMaxAniFrames;
        }))
        return refuse(ReadError::BadChunk), std::nullopt;
    if (frameCount == 0)
        return refuse(ReadError::BadChunk), std::nullopt;
    if (frameCount > kMaxAniFrames)
        return refuse(ReadError::TooManyImages), std::nullopt;
    ani.frames.reserve(frameCount);
    forEachChunk(file, frameList->at + 4, listEnd, [&](std::uint64_t id, const Chunk& chunk) {
        if (isFrame(id))
            ani.frames.push_back(file.sub(chunk.at, chunk.size));
        return true;
    });

    if (sequence && sequence->size >= 4) {
        ani.firstShown = file.u32(sequence->at);
        if (ani.firstShown >= ani.frames.size())
            return refuse(ReadError::BadChunk), std::nullopt;
    }
    if (const ReadError frame = iconFileHeaderCheck(ani.frames[ani.firstShown]); frame != ReadError::None)
        return refuse(frame), std::nullopt;
    return ani;
}

} // namespace bw
