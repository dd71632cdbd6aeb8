#pragma once

#include "ByteReader.h"

#include <filesystem>
#include <memory>
#include <vector>

namespace bw {

// The bytes of a regular file for the parsers. A small file is read into memory with one read;
// a larger one is memory-mapped, so that parsers touch only the pages they read: counting the
// icons of a 100 MB library reads its headers and resource directory, nothing more. Anything
// that is not a regular file (FIFO, device, socket, directory) is refused without blocking.
//
// A mapped file may shrink, be rewritten or fail on its device while it is read. The kernel
// reports a read of a page that no longer has data with SIGBUS; a process-wide handler then puts
// a page of zeros in its place, so the read goes on with zeros and the file is marked damaged().
// Callers throw away whatever they read from a damaged file. Faults outside these mappings go to
// the handler that was there before.
class MappedFile {
public:
    // Files up to this size are read, not mapped: one read costs less than mmap, the page faults
    // and munmap, and such a file can never fault.
    static constexpr std::uint64_t kReadLimit = 64 * 1024;

    MappedFile() = default;
    explicit MappedFile(const std::filesystem::path& path);
    // The first `size` bytes of an open regular file; the caller keeps and closes `fd`.
    MappedFile(int fd, std::uint64_t size);
    ~MappedFile();
    MappedFile(const MappedFile&) = delete;
    MappedFile& operator=(const MappedFile&) = delete;
    MappedFile(MappedFile&& other) noexcept;
    MappedFile& operator=(MappedFile&& other) noexcept;

    bool isOpen() const { return m_open; }
    ByteReader reader() const { return ByteReader(m_data, m_size); }
    std::uint64_t size() const { return m_size; }
    bool isMapped() const { return m_guard != nullptr; }

    // True once a read of the mapping found no data behind it (file cut short, I/O error).
    bool damaged() const;

    struct Guard; // a mapping as the SIGBUS handler knows it

private:
    void release();

    const std::uint8_t* m_data = nullptr;
    std::uint64_t m_size = 0;
    std::vector<std::uint8_t> m_bytes; // the content of a small file
    Guard* m_guard = nullptr;          // the registered mapping of a large file
    bool m_open = false;
};

} // namespace bw
