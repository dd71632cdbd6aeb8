#include "IconDirectory.h"

#include "IconImageDecoder.h"

#include <cstdlib>

namespace bw {
namespace {

// A width or height byte of 0 stands for 256.
int directoryEdge(std::uint8_t stored) { return stored == 0 ? 256 : stored; }

} // namespace

std::optional<std::size_t> chooseIconImage(const std::vector<IconCandidate>& candidates, ImagePick pick)
{
    std::optional<std::size_t> best;
    int bestDistance = 0;
    int bestBits = 0;
    int bestArea = 0;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const IconCandidate& c = candidates[i];
        const std::optional<int> bits = iconImageBitCount(c.data);
        if (!bits)
            return std::nullopt;
        const int area = c.width * c.height;
        // For the largest image, a larger area is a smaller distance.
        const int distance = pick == ImagePick::Largest ? -area : std::abs(c.width - kIconEdge) + std::abs(c.height - kIconEdge);
        const bool better = !best || distance < bestDistance
            || (distance == bestDistance && (*bits > bestBits || (*bits == bestBits && area > bestArea)));
        if (better) {
            best = i;
            bestDistance = distance;
            bestBits = *bits;
            bestArea = area;
        }
    }
    return best;
}

QImage scaleToIconSize(const QImage& picture)
{
    if (picture.isNull())
        return {};
    if (picture.width() == kIconEdge && picture.height() == kIconEdge)
        return picture.convertToFormat(QImage::Format_ARGB32);
    // Scaling straight alpha would bleed the colour of transparent pixels into the edges. An
    // opaque picture scales as it is, without a premultiplied copy of it.
    if (!picture.hasAlphaChannel())
        return picture.scaled(kIconEdge, kIconEdge, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
            .convertToFormat(QImage::Format_ARGB32);
    return picture.convertToFormat(QImage::Format_ARGB32_Premultiplied)
        .scaled(kIconEdge, kIconEdge, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_ARGB32);
}

QImage pictureFromCandidates(const std::vector<IconCandidate>& candidates, ImagePick pick)
{
    const std::optional<std::size_t> chosen = chooseIconImage(candidates, pick);
    if (!chosen)
        return {};
    const QImage picture = decodeIconImage(candidates[*chosen].data);
    if (pick == ImagePick::Largest)
        return picture.isNull() ? QImage() : picture.convertToFormat(QImage::Format_ARGB32);
    return scaleToIconSize(picture);
}

bool isIconFile(ByteReader file)
{
    const std::uint16_t reserved = file.u16(0);
    const std::uint16_t type = file.u16(2);
    const std::uint16_t count = file.u16(4);
    return file.ok() && reserved == 0 && (type == 1 || type == 2) && count > 0
        && file.contains(6, static_cast<std::uint64_t>(count) * 16);
}

std::optional<std::vector<IconCandidate>> iconFileCandidates(ByteReader file)
{
    if (!isIconFile(file))
        return std::nullopt;
    const std::uint16_t count = file.u16(4);
    std::vector<IconCandidate> candidates;
    candidates.reserve(count);
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::uint64_t entry = 6 + static_cast<std::uint64_t>(i) * 16;
        IconCandidate c;
        c.width = directoryEdge(file.u8(entry));
        c.height = directoryEdge(file.u8(entry + 1));
        const std::uint32_t bytes = file.u32(entry + 8);
        const std::uint32_t offset = file.u32(entry + 12);
        c.data = file.sub(offset, bytes);
        if (!file.ok() || !c.data.ok())
            return std::nullopt;
        candidates.push_back(c);
    }
    return candidates;
}

std::optional<std::vector<IconCandidate>> groupCandidates(ByteReader group, const IconLookup& lookupIcon)
{
    const std::uint16_t reserved = group.u16(0);
    const std::uint16_t type = group.u16(2);
    const std::uint16_t count = group.u16(4);
    if (!group.ok() || reserved != 0 || type != 1 || count == 0 || count > kMaxGroupImages || !group.contains(6, static_cast<std::uint64_t>(count) * 14))
        return std::nullopt;
    std::vector<IconCandidate> candidates;
    candidates.reserve(count);
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::uint64_t entry = 6 + static_cast<std::uint64_t>(i) * 14;
        IconCandidate c;
        c.width = directoryEdge(group.u8(entry));
        c.height = directoryEdge(group.u8(entry + 1));
        const std::optional<ByteReader> icon = lookupIcon(group.u16(entry + 12));
        if (!icon || !icon->ok())
            return std::nullopt;
        c.data = *icon;
        candidates.push_back(c);
    }
    return candidates;
}

} // namespace bw
