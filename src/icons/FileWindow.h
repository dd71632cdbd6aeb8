#pragma once

#include "ByteReader.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

namespace bw {

// Parts of a regular file read into memory with pread, for parsers that look at a few headers of
// a large file: counting the icons of a library reads its headers, section table and resource
// directory, not the file. Mapping it instead would cost an munmap per file, and each munmap in a
// process with several threads interrupts every other core to flush its address cache.
//
// reader() stands for the whole file. A parser runs on it as on any reader; when it touches a
// byte that is not in memory it gets 0, and missing() names the first such byte. The caller then
// reads the part around it with load() and runs the parser again, until nothing is missing or
// the window would hold more than it may (the caller then reads the file another way).
class FileWindow {
public:
    // Bytes read around a missing byte: one page. The parts a count needs (a resource directory
    // and the type directory below it) lie close together, and every byte read is copied, so a
    // larger chunk costs more than the rare second read it saves.
    static constexpr std::uint64_t kChunk = 4 * 1024;
    // At most this much of one file in all.
    static constexpr std::uint64_t kMaxBytes = 256 * 1024;

    // The first `size` bytes of the open file `fd`, which the caller keeps and closes.
    FileWindow(int fd, std::uint64_t size) : m_fd(fd), m_size(size) {}

    ByteReader reader() const { return ByteReader(this, 0, m_size); }
    std::uint64_t size() const { return m_size; }

    // Reads `length` bytes at `offset` (clipped to the file). False when the window would grow
    // beyond kMaxBytes, or on a read error; a file that got shorter gives fewer bytes, and the
    // parser finds the rest missing again.
    bool load(std::uint64_t offset, std::uint64_t length);
    // Reads the aligned chunk around the first missing byte and forgets that it was missing.
    enum class Load { Done, Full, Failed }; // Failed: a read error, or the file got shorter
    Load loadMissing();

    std::optional<std::uint64_t> missing() const { return m_missing; }

private:
    friend class ByteReader;
    std::uint8_t byteAt(std::uint64_t offset) const;

    struct Chunk {
        std::uint64_t offset = 0;
        std::uint64_t size = 0;                // bytes read
        std::unique_ptr<std::uint8_t[]> bytes; // not cleared first: pread fills what is used
    };
    int m_fd = -1;
    std::uint64_t m_size = 0;
    std::uint64_t m_loaded = 0;
    std::vector<Chunk> m_chunks;
    mutable std::optional<std::uint64_t> m_missing;
};

} // namespace bw
