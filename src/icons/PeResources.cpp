#include "PeResources.h"

#include "IconDirectory.h"
#include "ReadError.h"
#include "ResourceOrder.h"

#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

namespace bw {
namespace {

constexpr std::uint32_t kRtIcon = 3;
constexpr std::uint32_t kRtGroupIcon = 14;
constexpr std::uint32_t kHighBit = 0x80000000u;

// The headers of a PE image as far as they are read, offsets in bytes from the start of each: the
// DOS header's offset of "PE\0\0"; the COFF header after it; the optional header after that,
// whose magic (32 or 64 bits) moves the count of data directories (RVA and size each) and the
// directories that follow it; then the section table.
constexpr std::uint64_t kPeOffsetAt = 0x3C, kSignatureSize = 4;
constexpr std::uint64_t kSectionCountAt = 2, kOptionalSizeAt = 16, kCoffHeaderSize = 20;
constexpr std::uint16_t kPe32Magic = 0x10B, kPe32PlusMagic = 0x20B;
constexpr std::uint64_t kPe32DirectoryCountAt = 92, kPe32PlusDirectoryCountAt = 108, kDirectoryCountSize = 4, kDataDirectorySize = 8;
constexpr std::uint32_t kResourceDirectoryIndex = 2;
constexpr std::uint64_t kSectionHeaderSize = 40, kVirtualAddressAt = 12, kRawSizeAt = 16, kRawOffsetAt = 20;
// A resource directory: the counts of named and numbered entries in its header, then the entries
// (name or id, then the target: a subdirectory with the high bit set, else a data entry of the
// data's RVA and size).
constexpr std::uint64_t kNamedCountAt = 12, kIdCountAt = 14, kResourceDirHeaderSize = 16;
constexpr std::uint64_t kResourceEntrySize = 8, kTargetAt = 4, kDataSizeAt = 4;

// The parts of a PE image the resource reader needs: where the section table is and the bytes of
// the resource section from the resource directory onwards. A file that is refused leaves the
// reason in lastReadError().
class PeImage {
public:
    static std::optional<PeImage> open(ByteReader file)
    {
        PeImage pe;
        pe.m_file = file;
        if (!file.matches(0, "MZ"))
            return refuse(ReadError::NotPe), std::nullopt;
        const std::uint32_t peOffset = file.u32(kPeOffsetAt);
        if (!file.ok() || !file.matches(peOffset, "PE\0\0"))
            return refuse(ReadError::NotPe), std::nullopt;
        const std::uint64_t coff = static_cast<std::uint64_t>(peOffset) + kSignatureSize;
        pe.m_sectionCount = file.u16(coff + kSectionCountAt);
        const std::uint16_t optionalSize = file.u16(coff + kOptionalSizeAt);
        const std::uint64_t optional = coff + kCoffHeaderSize;
        const std::uint16_t magic = file.u16(optional);
        std::uint64_t countAt = 0;
        std::uint64_t directoriesAt = 0;
        if (magic == kPe32Magic) {
            countAt = kPe32DirectoryCountAt;
            directoriesAt = kPe32DirectoryCountAt + kDirectoryCountSize;
        } else if (magic == kPe32PlusMagic) {
            countAt = kPe32PlusDirectoryCountAt;
            directoriesAt = kPe32PlusDirectoryCountAt + kDirectoryCountSize;
        } else {
            return refuse(ReadError::BadOptionalHeader), std::nullopt;
        }
        const std::uint32_t directoryCount = file.u32(optional + countAt);
        // The resource directory must be one of the directories and lie inside the optional header.
        if (!file.ok() || directoryCount <= kResourceDirectoryIndex
            || directoriesAt + (kResourceDirectoryIndex + 1) * kDataDirectorySize > optionalSize)
            return refuse(ReadError::BadOptionalHeader), std::nullopt;
        const std::uint32_t resourceRva = file.u32(optional + directoriesAt + kResourceDirectoryIndex * kDataDirectorySize);
        pe.m_sectionTable = optional + optionalSize;
        if (!file.ok())
            return refuse(ReadError::BadOptionalHeader), std::nullopt;
        if (resourceRva == 0)
            return refuse(ReadError::NoResourceSection), std::nullopt;
        if (!file.contains(pe.m_sectionTable, pe.m_sectionCount * kSectionHeaderSize))
            return refuse(ReadError::SectionTableOutside), std::nullopt;
        pe.m_resources = pe.mapRva(resourceRva);
        if (!pe.m_resources.ok() || pe.m_resources.size() < kResourceDirHeaderSize)
            return refuse(ReadError::ResourcesOutside), std::nullopt;
        return pe;
    }

    ByteReader resources() const { return m_resources; }

    // The file bytes behind an RVA: to the end of the section's raw data, or exactly `size` bytes.
    ByteReader mapRva(std::uint32_t rva, std::optional<std::uint32_t> size = std::nullopt) const
    {
        ByteReader file = m_file;
        for (std::uint32_t i = 0; i < m_sectionCount; ++i) {
            const std::uint64_t s = m_sectionTable + i * kSectionHeaderSize;
            const std::uint32_t virtualAddress = file.u32(s + kVirtualAddressAt);
            const std::uint32_t rawSize = file.u32(s + kRawSizeAt);
            const std::uint32_t rawOffset = file.u32(s + kRawOffsetAt);
            if (!file.ok())
                break;
            if (rva < virtualAddress || rva - virtualAddress >= rawSize)
                continue;
            const std::uint64_t delta = rva - virtualAddress;
            const std::uint64_t available = rawSize - delta;
            if (size && *size > available)
                break;
            return m_file.sub(rawOffset + delta, size ? *size : available);
        }
        return ByteReader::failed();
    }

private:
    ByteReader m_file;
    ByteReader m_resources;
    std::uint64_t m_sectionTable = 0;
    std::uint32_t m_sectionCount = 0;
};

// A resource directory inside the resource section: its entries.
struct Directory {
    std::uint64_t entries = 0;
    std::uint32_t count = 0;
};

std::optional<Directory> readDirectory(ByteReader rsrc, std::uint64_t offset)
{
    const std::uint32_t named = rsrc.u16(offset + kNamedCountAt);
    const std::uint32_t ids = rsrc.u16(offset + kIdCountAt);
    Directory d {offset + kResourceDirHeaderSize, named + ids};
    if (!rsrc.ok() || !rsrc.contains(d.entries, d.count * kResourceEntrySize))
        return refuse(ReadError::DirectoryOutside), std::nullopt;
    return d;
}

// The subdirectory of a type (RT_ICON, RT_GROUP_ICON) below the root; an empty one when the file
// has no resources of that type.
std::optional<Directory> typeDirectory(ByteReader rsrc, std::uint32_t type)
{
    const std::optional<Directory> root = readDirectory(rsrc, 0);
    if (!root)
        return std::nullopt;
    for (std::uint32_t i = 0; i < root->count; ++i) {
        const std::uint64_t e = root->entries + i * kResourceEntrySize;
        const std::uint32_t name = rsrc.u32(e);
        const std::uint32_t target = rsrc.u32(e + kTargetAt);
        if (name == type) { // a named type never equals a small id: its high bit is set
            if (!(target & kHighBit))
                return refuse(ReadError::BadDirectoryEntry), std::nullopt;
            return readDirectory(rsrc, target & ~kHighBit);
        }
    }
    return Directory {};
}

// The language directory below a name entry. The tree has exactly three levels (type, name,
// language); anything deeper is refused, so a directory pointing back at an ancestor cannot make
// the reader loop.
std::optional<Directory> languagesOf(const PeImage& pe, std::uint64_t nameEntry)
{
    ByteReader rsrc = pe.resources();
    const std::uint32_t target = rsrc.u32(nameEntry + kTargetAt);
    if (!rsrc.ok())
        return refuse(ReadError::DirectoryOutside), std::nullopt;
    if (!(target & kHighBit))
        return refuse(ReadError::BadDirectoryEntry), std::nullopt;
    const std::optional<Directory> languages = readDirectory(rsrc, target & ~kHighBit);
    if (!languages)
        return std::nullopt;
    if (languages->count == 0)
        return refuse(ReadError::BadDirectoryEntry), std::nullopt;
    return languages;
}

std::uint32_t languageAt(const PeImage& pe, const Directory& languages, std::uint32_t i)
{
    ByteReader rsrc = pe.resources();
    return rsrc.u32(languages.entries + i * kResourceEntrySize);
}

// The data of the language at position `i` of a language directory.
std::optional<ByteReader> languageData(const PeImage& pe, const Directory& languages, std::uint32_t i)
{
    ByteReader rsrc = pe.resources();
    const std::uint32_t dataEntry = rsrc.u32(languages.entries + i * kResourceEntrySize + kTargetAt);
    if (rsrc.ok() && (dataEntry & kHighBit))
        return refuse(ReadError::TooDeep), std::nullopt;
    const std::uint32_t rva = rsrc.u32(dataEntry);
    const std::uint32_t size = rsrc.u32(dataEntry + kDataSizeAt);
    if (!rsrc.ok())
        return refuse(ReadError::DirectoryOutside), std::nullopt;
    ByteReader data = pe.mapRva(rva, size);
    if (!data.ok())
        return refuse(ReadError::DataOutside), std::nullopt;
    return data;
}

// The data of a name entry in the given language, or in its first language where it has not
// that one (an icon shared by the variants of a group is often stored once).
std::optional<ByteReader> entryData(const PeImage& pe, std::uint64_t nameEntry, std::optional<std::uint32_t> language = std::nullopt)
{
    const std::optional<Directory> languages = languagesOf(pe, nameEntry);
    if (!languages)
        return std::nullopt;
    std::uint32_t chosen = 0;
    for (std::uint32_t i = 0; language && i < languages->count; ++i)
        if (languageAt(pe, *languages, i) == *language) {
            chosen = i;
            break;
        }
    return languageData(pe, *languages, chosen);
}

// Finds RT_ICON entries by id. Ids are stored ascending in well-formed files, so a binary search
// finds them; the first miss sorts an index of the whole directory once, so that a file with
// unsorted ids costs one sort per extraction instead of a scan per image.
class IconFinder {
public:
    IconFinder(const PeImage& pe, const Directory& icons) : m_pe(pe), m_icons(icons) {}

    std::optional<ByteReader> find(std::uint16_t id, std::optional<std::uint32_t> language = std::nullopt)
    {
        if (!m_indexed) {
            if (const std::optional<std::uint32_t> i = binarySearch(id))
                return entryData(m_pe, entryAt(*i), language);
            buildIndex();
        }
        const auto it = std::lower_bound(m_index.begin(), m_index.end(), std::pair<std::uint32_t, std::uint32_t>(id, 0));
        if (it == m_index.end() || it->first != id)
            return std::nullopt;
        return entryData(m_pe, entryAt(it->second), language);
    }

private:
    std::uint64_t entryAt(std::uint32_t i) const { return m_icons.entries + i * kResourceEntrySize; }
    std::uint32_t idAt(std::uint32_t i) const
    {
        ByteReader rsrc = m_pe.resources();
        return rsrc.u32(entryAt(i));
    }

    std::optional<std::uint32_t> binarySearch(std::uint16_t id) const
    {
        std::uint32_t lo = 0;
        std::uint32_t hi = m_icons.count;
        while (lo < hi) {
            const std::uint32_t mid = lo + (hi - lo) / 2;
            const std::uint32_t name = idAt(mid);
            if (name == id)
                return mid;
            if ((name & kHighBit) || name < id)
                lo = mid + 1;
            else
                hi = mid;
        }
        return std::nullopt;
    }

    // (id, position) of every numeric entry; the first of equal ids wins, as a scan would find it.
    void buildIndex()
    {
        m_indexed = true;
        m_index.reserve(m_icons.count);
        for (std::uint32_t i = 0; i < m_icons.count; ++i) {
            const std::uint32_t name = idAt(i);
            if (!(name & kHighBit) && name <= 0xFFFF)
                m_index.emplace_back(name, i);
        }
        std::sort(m_index.begin(), m_index.end());
    }

    const PeImage& m_pe;
    Directory m_icons;
    bool m_indexed = false;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> m_index;
};

} // namespace

bool isPeFile(ByteReader file)
{
    const std::uint32_t peOffset = file.u32(kPeOffsetAt);
    return file.matches(0, "MZ") && file.ok() && file.matches(peOffset, "PE\0\0");
}

int peGroupIconCount(ByteReader file)
{
    clearReadError();
    const std::optional<PeImage> pe = PeImage::open(file);
    if (!pe)
        return 0;
    const std::optional<Directory> groups = typeDirectory(pe->resources(), kRtGroupIcon);
    return groups ? static_cast<int>(groups->count) : 0;
}

namespace {

// The name entry of the group at `index` in the shell's order, inside the resource section.
std::optional<std::uint64_t> groupEntryAt(const PeImage& pe, const Directory& groups, int index, PeGroupMemo* memo)
{
    ByteReader rsrc = pe.resources();
    if (index < 0 || static_cast<std::uint32_t>(index) >= groups.count)
        return refuse(ReadError::NoSuchIcon), std::nullopt;

    // Well-formed directories store named entries first and ids ascending, which is already the
    // shell's order; only other files need sorting.
    auto entryAt = [&](std::uint32_t i) { return groups.entries + static_cast<std::uint64_t>(i) * kResourceEntrySize; };
    bool ordered = true;
    if (memo && memo->shellOrder) {
        ordered = *memo->shellOrder;
    } else {
        std::uint32_t previous = 0;
        bool seenId = false;
        for (std::uint32_t i = 0; i < groups.count && ordered; ++i) {
            const std::uint32_t name = rsrc.u32(entryAt(i));
            const bool named = (name & kHighBit) != 0;
            ordered = named ? !seenId : (!seenId || name >= previous);
            seenId = seenId || !named;
            previous = name;
        }
        if (memo)
            memo->shellOrder = ordered;
    }
    if (ordered)
        return entryAt(static_cast<std::uint32_t>(index));
    std::vector<ResourceRef> refs;
    refs.reserve(groups.count);
    for (std::uint32_t i = 0; i < groups.count; ++i) {
        const std::uint32_t name = rsrc.u32(entryAt(i));
        refs.push_back({(name & kHighBit) != 0, name, entryAt(i)});
    }
    orderResources(refs);
    return refs[static_cast<std::size_t>(index)].entryOffset;
}

// The group at `index` of a file: its name entry and its language directory.
struct FoundGroup {
    PeImage pe;
    std::uint64_t entry = 0;
    std::optional<Directory> languages;
};

std::optional<FoundGroup> findGroup(ByteReader file, int index, PeGroupMemo* memo)
{
    clearReadError();
    std::optional<PeImage> pe = PeImage::open(file);
    if (!pe)
        return std::nullopt;
    const std::optional<Directory> groups = typeDirectory(pe->resources(), kRtGroupIcon);
    const std::optional<std::uint64_t> entry = groups ? groupEntryAt(*pe, *groups, index, memo) : std::nullopt;
    std::optional<Directory> languages = entry ? languagesOf(*pe, *entry) : std::nullopt;
    if (!languages)
        return std::nullopt;
    return FoundGroup {std::move(*pe), *entry, languages};
}

// The variants of the group at `index`: the first language, or every language.
std::optional<std::vector<PeGroupVariant>> groupVariants(ByteReader file, int index, PeGroupMemo* memo, bool allLanguages)
{
    const std::optional<FoundGroup> found = findGroup(file, index, memo);
    if (!found)
        return std::nullopt;
    const PeImage& pe = found->pe;
    const Directory& languages = *found->languages;
    const std::optional<Directory> icons = typeDirectory(pe.resources(), kRtIcon);
    if (!icons)
        return std::nullopt;
    IconFinder finder(pe, *icons);
    std::vector<PeGroupVariant> variants;
    const std::uint32_t count = allLanguages ? std::min(languages.count, kMaxGroupLanguages) : 1;
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint32_t language = languageAt(pe, languages, i);
        const std::optional<ByteReader> group = languageData(pe, languages, i);
        if (!group)
            return std::nullopt;
        // A group names its images by id; the image in the group's own language is taken first.
        auto candidates = groupCandidates(*group, [&](std::uint16_t id) { return finder.find(id, language); });
        if (!candidates)
            return std::nullopt;
        variants.push_back({language, std::move(*candidates)});
    }
    return variants;
}

} // namespace

std::optional<std::vector<IconCandidate>> peGroupCandidates(ByteReader file, int index, PeGroupMemo* memo)
{
    std::optional<std::vector<PeGroupVariant>> variants = groupVariants(file, index, memo, false);
    if (!variants)
        return std::nullopt;
    return std::move(variants->front().candidates);
}

std::optional<std::vector<PeGroupVariant>> peGroupVariants(ByteReader file, int index, PeGroupMemo* memo)
{
    return groupVariants(file, index, memo, true);
}

std::optional<PeGroupName> peGroupName(ByteReader file, int index, PeGroupMemo* memo)
{
    const std::optional<FoundGroup> found = findGroup(file, index, memo);
    if (!found)
        return std::nullopt;
    const PeImage& pe = found->pe;
    ByteReader rsrc = pe.resources();
    const Directory& languages = *found->languages;
    PeGroupName group;
    const std::uint32_t name = rsrc.u32(found->entry);
    if (name & kHighBit) {
        // A counted string of UTF-16 code units, at its offset in the resource section.
        const std::uint64_t at = name & ~kHighBit;
        const std::uint16_t length = rsrc.u16(at);
        if (!rsrc.contains(at + 2, length * 2ULL))
            return refuse(ReadError::DirectoryOutside), std::nullopt;
        group.name.emplace();
        for (std::uint16_t i = 0; i < length; ++i)
            group.name->push_back(static_cast<char16_t>(rsrc.u16(at + 2 + i * 2ULL)));
    } else {
        group.number = name;
    }
    for (std::uint32_t i = 0; i < std::min(languages.count, kMaxGroupLanguages); ++i)
        group.languages.push_back(languageAt(pe, languages, i));
    if (!rsrc.ok())
        return refuse(ReadError::DirectoryOutside), std::nullopt;
    return group;
}

QImage peGroupIcon(ByteReader file, int index, ImagePick pick, PeGroupMemo* memo)
{
    const auto candidates = peGroupCandidates(file, index, memo);
    return candidates ? pictureFromCandidates(*candidates, pick) : QImage();
}

} // namespace bw
