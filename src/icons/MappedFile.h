#pragma once

#include "ByteReader.h"

#include <filesystem>

namespace bw {

// A read-only memory map of a regular file, so that parsers touch only the pages they read:
// counting the icons of a 100 MB library reads its headers and resource directory, nothing more.
// Anything that is not a regular file (FIFO, device, socket, directory) is refused without
// blocking.
class MappedFile {
public:
    MappedFile() = default;
    explicit MappedFile(const std::filesystem::path& path);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;

    bool isOpen() const { return m_open; }
    ByteReader reader() const { return ByteReader(m_data, m_size); }
    std::uint64_t size() const { return m_size; }

private:
    void release();

    const std::uint8_t* m_data = nullptr;
    std::uint64_t m_size = 0;
    void* m_mapping = nullptr;
    bool m_open = false;
};

} // namespace bw
