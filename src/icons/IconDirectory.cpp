#include "IconDirectory.h"

#include "IconImageDecoder.h"
#include "ReadError.h"

#include <cstdlib>
#include <cstring>

namespace bw {
namespace {

// A width or height byte of 0 stands for 256.
int directoryEdge(std::uint8_t stored) { return stored == 0 ? 256 : stored; }

// The size of an image: as its directory entry states it, except where a byte of 0 can only say
// "256 or more": there the image's own header tells (a PNG of 512 is larger than one of 256).
void takeSize(IconCandidate& c, std::uint8_t width, std::uint8_t height)
{
    c.width = directoryEdge(width);
    c.height = directoryEdge(height);
    if (width != 0 && height != 0)
        return;
    const ReadError before = lastReadError();
    if (const std::optional<QSize> own = iconImageSize(c.data)) {
        c.width = width == 0 ? own->width() : c.width;
        c.height = height == 0 ? own->height() : c.height;
    }
    refuse(before); // an unreadable header is the decoder's to report, when it is chosen
}

} // namespace

std::optional<std::size_t> chooseIconImage(const std::vector<IconCandidate>& candidates, ImagePick pick, int edge)
{
    if (candidates.empty())
        return refuse(ReadError::BadGroupHeader), std::nullopt;
    std::optional<std::size_t> best;
    int bestDistance = 0;
    int bestBits = 0;
    int bestArea = 0;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const IconCandidate& c = candidates[i];
        const std::optional<int> bits = iconImageBitCount(c.data); // says why it refuses
        if (!bits)
            return std::nullopt;
        const int area = c.width * c.height;
        // For the largest image, a larger area is a smaller distance.
        const int distance = pick == ImagePick::Largest ? -area : std::abs(c.width - edge) + std::abs(c.height - edge);
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

QImage scaleToEdge(const QImage& picture, int edge)
{
    if (picture.isNull() || edge <= 0)
        return {};
    if (picture.width() == edge && picture.height() == edge)
        return picture.convertToFormat(QImage::Format_ARGB32);
    // Scaling straight alpha would bleed the colour of transparent pixels into the edges. An
    // opaque picture scales as it is, without a premultiplied copy of it.
    if (!picture.hasAlphaChannel())
        return picture.scaled(edge, edge, Qt::IgnoreAspectRatio, Qt::SmoothTransformation).convertToFormat(QImage::Format_ARGB32);
    return picture.convertToFormat(QImage::Format_ARGB32_Premultiplied)
        .scaled(edge, edge, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_ARGB32);
}

QImage pictureFromCandidates(const std::vector<IconCandidate>& candidates, ImagePick pick, int edge)
{
    clearReadError();
    const std::optional<std::size_t> chosen = chooseIconImage(candidates, pick, edge);
    if (!chosen)
        return {};
    const QImage picture = decodeIconImage(candidates[*chosen].data);
    if (pick == ImagePick::Largest)
        return picture.isNull() ? QImage() : picture.convertToFormat(QImage::Format_ARGB32);
    return scaleToEdge(picture, edge);
}

ReadError iconFileHeaderCheck(ByteReader file)
{
    const std::uint16_t reserved = file.u16(0);
    const std::uint16_t type = file.u16(kIconDirTypeAt);
    const std::uint16_t count = file.u16(kIconDirCountAt);
    if (!file.ok() || reserved != 0 || (type != kIconType && type != kCursorType) || count == 0)
        return ReadError::UnknownFormat;
    return file.contains(kIconDirHeaderSize, count * kIconFileEntrySize) ? ReadError::None : ReadError::DirectoryOutside;
}

std::optional<std::vector<IconCandidate>> iconFileCandidates(ByteReader file)
{
    clearReadError();
    if (const ReadError header = iconFileHeaderCheck(file); header != ReadError::None)
        return refuse(header), std::nullopt;
    const std::uint16_t count = file.u16(kIconDirCountAt);
    std::vector<IconCandidate> candidates;
    candidates.reserve(count);
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::uint64_t entry = kIconDirHeaderSize + i * kIconFileEntrySize;
        IconCandidate c;
        const std::uint32_t bytes = file.u32(entry + kIconEntryBytesAt);
        const std::uint32_t offset = file.u32(entry + kIconFileEntryOffsetAt);
        c.data = file.sub(offset, bytes);
        c.entry = file.sub(entry, kIconFileEntrySize);
        if (!file.ok() || !c.data.ok())
            return refuse(ReadError::DataOutside), std::nullopt;
        takeSize(c, file.u8(entry), file.u8(entry + kIconEntryHeightAt));
        candidates.push_back(c);
    }
    return candidates;
}

std::optional<std::vector<IconCandidate>> groupCandidates(ByteReader group, const IconLookup& lookupIcon)
{
    clearReadError();
    const std::uint16_t reserved = group.u16(0);
    const std::uint16_t type = group.u16(kIconDirTypeAt);
    const std::uint16_t count = group.u16(kIconDirCountAt);
    if (!group.ok() || reserved != 0 || type != kIconType || count == 0)
        return refuse(ReadError::BadGroupHeader), std::nullopt;
    if (count > kMaxGroupImages)
        return refuse(ReadError::TooManyImages), std::nullopt;
    if (!group.contains(kIconDirHeaderSize, count * kGroupEntrySize))
        return refuse(ReadError::BadGroupHeader), std::nullopt;
    std::vector<IconCandidate> candidates;
    candidates.reserve(count);
    for (std::uint16_t i = 0; i < count; ++i) {
        const std::uint64_t entry = kIconDirHeaderSize + i * kGroupEntrySize;
        IconCandidate c;
        const std::optional<ByteReader> icon = lookupIcon(group.u16(entry + kGroupEntryIdAt));
        if (!icon || !icon->ok()) {
            // A lookup that found the image but could not read it has said why.
            if (lastReadError() == ReadError::None)
                refuse(icon ? ReadError::DataOutside : ReadError::MissingImage);
            return std::nullopt;
        }
        c.data = *icon;
        c.entry = group.sub(entry, kGroupEntrySize);
        takeSize(c, group.u8(entry), group.u8(entry + kIconEntryHeightAt));
        candidates.push_back(c);
    }
    return candidates;
}

std::optional<QByteArray> iconFileOfGroup(const std::vector<IconCandidate>& candidates)
{
    clearReadError();
    if (candidates.empty())
        return refuse(ReadError::BadGroupHeader), std::nullopt;
    if (candidates.size() > kMaxGroupImages)
        return refuse(ReadError::TooManyImages), std::nullopt;
    // The bytes each image keeps, and the file's size, checked before anything is allocated.
    std::vector<std::uint64_t> lengths;
    lengths.reserve(candidates.size());
    std::uint64_t total = kIconDirHeaderSize + kIconFileEntrySize * candidates.size();
    for (const IconCandidate& c : candidates) {
        ByteReader entry = c.entry;
        const std::uint32_t stated = entry.u32(kIconEntryBytesAt);
        if (!entry.ok() || entry.size() < kIconEntryBytesAt + sizeof stated)
            return refuse(ReadError::BadGroupHeader), std::nullopt;
        const std::uint64_t length = stated > 0 && stated <= c.data.size() ? stated : c.data.size();
        lengths.push_back(length);
        total += length;
        if (total > kMaxGroupFileBytes)
            return refuse(ReadError::TooLarge), std::nullopt;
    }
    QByteArray file(static_cast<qsizetype>(total), Qt::Uninitialized);
    auto* out = reinterpret_cast<std::uint8_t*>(file.data());
    const auto put16 = [](std::uint8_t* at, std::uint16_t v) {
        at[0] = static_cast<std::uint8_t>(v);
        at[1] = static_cast<std::uint8_t>(v >> 8);
    };
    const auto put32 = [&](std::uint8_t* at, std::uint64_t v) {
        put16(at, static_cast<std::uint16_t>(v));
        put16(at + 2, static_cast<std::uint16_t>(v >> 16));
    };
    put16(out, 0);
    put16(out + kIconDirTypeAt, kIconType);
    put16(out + kIconDirCountAt, static_cast<std::uint16_t>(candidates.size()));
    std::uint64_t offset = kIconDirHeaderSize + kIconFileEntrySize * candidates.size();
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        std::uint8_t* entry = out + kIconDirHeaderSize + kIconFileEntrySize * i;
        std::memcpy(entry, candidates[i].entry.data(), kIconEntryImageInfoSize);
        put32(entry + kIconEntryBytesAt, lengths[i]);
        put32(entry + kIconFileEntryOffsetAt, offset);
        if (lengths[i] > 0)
            std::memcpy(out + offset, candidates[i].data.data(), lengths[i]);
        offset += lengths[i];
    }
    return file;
}

} // namespace bw
