#pragma once

#include "support/FreeMemory.h"

#include <QString>

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace bw {

// One icon found in a file: the file's path, the icon's index in it, and two flags.
struct IconEntry {
    const char* pathData = nullptr; // owned by the catalogue's path store
    std::uint32_t pathLength = 0;
    std::uint16_t iconIndex = 0;
    std::uint8_t defective = 0;
    std::uint8_t marked = 0;

    std::string_view path() const { return {pathData ? pathData : "", pathLength}; }
};

// The list of all icons of the last read, numbered from 1. Room for the full capacity is taken
// once, as zeroed memory that the system gives pages only where entries are written, so the list
// costs what it holds and never moves; appending stores nothing but the path text, and
// consecutive entries of one file share one copy of it. Nothing removes or moves a single entry;
// clear() empties the whole list.
class Catalogue {
public:
    static constexpr std::int32_t kDefaultCapacity = 1'000'000;

    explicit Catalogue(std::int32_t capacity = kDefaultCapacity);
    Catalogue(const Catalogue&) = delete;
    Catalogue& operator=(const Catalogue&) = delete;

    std::int32_t capacity() const { return m_capacity; }
    std::int32_t entryCount() const { return m_entryCount; }
    bool isFull() const { return m_entryCount >= m_capacity; }

    // Precondition: !isFull().
    void appendEntry(std::string_view path, std::uint16_t iconIndex);
    void clearCatalogue();
    // Exchanges the whole contents with another list of the same capacity (a list filled aside
    // takes the place of this one only once it is complete).
    void swapWith(Catalogue& other);

    // Directories the read that filled the list could not list: whatever they hold is missing.
    std::int32_t unreadableDirectories() const { return m_unreadableDirectories; }
    void noteUnreadableDirectory() { ++m_unreadableDirectories; }

    // Entry n, 1 <= n <= capacity (slots above entryCount read as empty).
    IconEntry& operator[](std::int32_t n) { return m_entries.get()[n]; }
    const IconEntry& operator[](std::int32_t n) const { return m_entries.get()[n]; }

private:
    std::string_view storePath(std::string_view path);

    std::int32_t m_capacity;
    std::int32_t m_entryCount = 0;
    std::int32_t m_unreadableDirectories = 0;
    std::unique_ptr<IconEntry[], FreeMemory> m_entries; // capacity + 1; index 0 unused, so entry n is m_entries[n]
    std::vector<std::unique_ptr<char[]>> m_chunks;
    std::size_t m_chunkUsed = 0;
    std::size_t m_chunkSize = 0;
};

// The refusal of the commands that need a catalogue with entries.
inline const QString kNothingLoaded = QStringLiteral("Keine Symbole geladen !");

} // namespace bw
