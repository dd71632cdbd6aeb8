#include "NeResources.h"

#include "IconDirectory.h"
#include "ReadError.h"
#include "ResourceOrder.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace bw {
namespace {

constexpr std::uint16_t kRtIcon = 0x8003;
constexpr std::uint16_t kRtGroupIcon = 0x800E;
constexpr std::uint16_t kIntegerId = 0x8000;
// Offsets in bytes: the DOS header's offset of "NE"; in the NE header, those of the resource table
// and of the resident names after it, which end it. The resource table: the alignment shift, then
// a TYPEINFO record per type (type id, count of its resources, reserved), each followed by a
// NAMEINFO record per resource (offset and length in units of the alignment, flags, id, reserved).
constexpr std::uint64_t kNeOffsetAt = 0x3C, kResourceTableAt = 0x24, kResidentNamesAt = 0x26;
constexpr std::uint64_t kTypeInfosAt = 2, kTypeCountAt = 2, kTypeInfoSize = 8;
constexpr std::uint64_t kLengthAt = 2, kIdAt = 6, kNameInfoSize = 12;
// Looking up images times icons beyond this many steps builds an index of the icons by id.
constexpr std::uint64_t kMostScanSteps = 65536;
// Offsets are stored in units of 1 << shift; real files use 4 to 9. A larger shift only serves to
// point far outside the file.
constexpr std::uint16_t kMaxAlignShift = 16;

struct NeResourceTable {
    ByteReader file;
    ByteReader table; // from the alignment shift up to the resident-name table
    std::uint16_t shift = 0;
    std::vector<ResourceRef> groups;  // NAMEINFO offsets inside `table`
    std::vector<std::uint64_t> icons; // NAMEINFO offsets of RT_ICON
};

std::optional<NeResourceTable> readResourceTable(ByteReader file)
{
    if (!file.matches(0, "MZ"))
        return refuse(ReadError::NotNe), std::nullopt;
    const std::uint32_t neOffset = file.u32(kNeOffsetAt);
    if (!file.ok() || !file.matches(neOffset, "NE"))
        return refuse(ReadError::NotNe), std::nullopt;
    const std::uint16_t resourceTable = file.u16(neOffset + kResourceTableAt);
    const std::uint16_t residentNames = file.u16(neOffset + kResidentNamesAt);
    if (!file.ok() || residentNames <= resourceTable)
        return refuse(ReadError::ResourceTableOutside), std::nullopt;

    NeResourceTable t;
    t.file = file;
    t.table = file.sub(static_cast<std::uint64_t>(neOffset) + resourceTable, residentNames - resourceTable);
    t.shift = t.table.u16(0);
    if (!t.table.ok())
        return refuse(ReadError::ResourceTableOutside), std::nullopt;
    if (t.shift > kMaxAlignShift)
        return refuse(ReadError::BadAlignShift), std::nullopt;

    // Each TYPEINFO record moves the position forward and the table is at most 64 KiB, so the
    // walk ends even when the terminating zero is missing.
    std::uint64_t pos = kTypeInfosAt;
    for (;;) {
        const std::uint16_t type = t.table.u16(pos);
        if (!t.table.ok())
            return refuse(ReadError::TypeTableOutside), std::nullopt;
        if (type == 0)
            break;
        const std::uint16_t count = t.table.u16(pos + kTypeCountAt);
        const std::uint64_t names = pos + kTypeInfoSize;
        if (!t.table.contains(names, count * kNameInfoSize))
            return refuse(ReadError::TypeTableOutside), std::nullopt;
        for (std::uint16_t i = 0; i < count; ++i) {
            const std::uint64_t n = names + i * kNameInfoSize;
            if (type == kRtGroupIcon) {
                const std::uint16_t id = t.table.u16(n + kIdAt);
                t.groups.push_back({(id & kIntegerId) == 0, static_cast<std::uint32_t>(id & ~kIntegerId), n});
            } else if (type == kRtIcon) {
                t.icons.push_back(n);
            }
        }
        pos = names + count * kNameInfoSize;
    }
    orderResources(t.groups);
    return t;
}

std::optional<ByteReader> resourceData(const NeResourceTable& t, std::uint64_t nameInfo)
{
    ByteReader table = t.table;
    const std::uint64_t offset = static_cast<std::uint64_t>(table.u16(nameInfo)) << t.shift;
    const std::uint64_t length = static_cast<std::uint64_t>(table.u16(nameInfo + kLengthAt)) << t.shift;
    ByteReader data = t.file.sub(offset, length);
    if (!table.ok() || !data.ok())
        return refuse(ReadError::DataOutside), std::nullopt;
    return data;
}

// The resource table of a file that has a group at `index`.
std::optional<NeResourceTable> tableWithGroup(ByteReader file, int index)
{
    clearReadError();
    std::optional<NeResourceTable> t = readResourceTable(file);
    if (t && (index < 0 || static_cast<std::size_t>(index) >= t->groups.size()))
        return refuse(ReadError::NoSuchIcon), std::nullopt;
    return t;
}

} // namespace

bool isNeFile(ByteReader file)
{
    const std::uint32_t neOffset = file.u32(kNeOffsetAt);
    return file.matches(0, "MZ") && file.ok() && file.matches(neOffset, "NE");
}

int neGroupIconCount(ByteReader file)
{
    clearReadError();
    const std::optional<NeResourceTable> t = readResourceTable(file);
    return t ? static_cast<int>(t->groups.size()) : 0;
}

std::optional<std::vector<IconCandidate>> neGroupCandidates(ByteReader file, int index)
{
    const std::optional<NeResourceTable> t = tableWithGroup(file, index);
    if (!t)
        return std::nullopt;
    const std::optional<ByteReader> group = resourceData(*t, t->groups[static_cast<std::size_t>(index)].entryOffset);
    if (!group)
        return std::nullopt;
    // Each image of the group is looked up by id. A handful of images is found by scanning the
    // table; when images times icons would make that slow, an index sorted by id is built once.
    // Either way the first of equal ids wins.
    ByteReader table = t->table;
    const auto idOf = [&table](std::uint64_t nameInfo) { return table.u16(nameInfo + kIdAt); };
    ByteReader groupHeader = *group;
    std::vector<std::pair<std::uint16_t, std::uint64_t>> byId;
    const std::uint16_t images = groupHeader.u16(kIconDirCountAt);
    const bool plausible = images <= kMaxGroupImages && groupHeader.contains(kIconDirHeaderSize, images * kGroupEntrySize);
    if (plausible && images * t->icons.size() > kMostScanSteps) {
        byId.reserve(t->icons.size());
        for (std::uint64_t n : t->icons)
            byId.emplace_back(idOf(n), n);
        std::stable_sort(byId.begin(), byId.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    }
    const auto lookup = [&](std::uint16_t id) -> std::optional<ByteReader> {
        const std::uint16_t wanted = static_cast<std::uint16_t>(id | kIntegerId);
        if (byId.empty()) {
            for (std::uint64_t n : t->icons)
                if (idOf(n) == wanted)
                    return resourceData(*t, n);
            return std::nullopt;
        }
        const auto it = std::lower_bound(byId.begin(), byId.end(), wanted,
                                         [](const auto& entry, std::uint16_t value) { return entry.first < value; });
        if (it == byId.end() || it->first != wanted)
            return std::nullopt;
        return resourceData(*t, it->second);
    };
    return groupCandidates(*group, lookup);
}

std::optional<NeGroupName> neGroupName(ByteReader file, int index)
{
    const std::optional<NeResourceTable> t = tableWithGroup(file, index);
    if (!t)
        return std::nullopt;
    const ResourceRef& ref = t->groups[static_cast<std::size_t>(index)];
    if (!ref.named)
        return NeGroupName {ref.id, std::nullopt};
    // A named resource's id is the offset of its name in the table: a length byte, then the name.
    ByteReader table = t->table;
    const std::uint8_t length = table.u8(ref.id);
    ByteReader text = table.sub(ref.id + 1ULL, length);
    if (!table.ok() || !text.ok())
        return refuse(ReadError::ResourceTableOutside), std::nullopt;
    std::string name;
    for (std::uint8_t i = 0; i < length; ++i)
        name.push_back(static_cast<char>(text.u8(i)));
    return NeGroupName {0, std::move(name)};
}

QImage neGroupIcon(ByteReader file, int index, ImagePick pick)
{
    const auto candidates = neGroupCandidates(file, index);
    return candidates ? pictureFromCandidates(*candidates, pick) : QImage();
}

} // namespace bw
