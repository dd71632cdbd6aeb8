#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

namespace bw {

class FileWindow;

// Every byte read from an untrusted file goes through this reader. It is a window on memory the
// caller owns; reads outside the window yield 0 and mark the reader failed, so a parser can read
// a whole header and check ok() once instead of testing every field. Offsets are 64-bit, so
// offset + length arithmetic on 32-bit fields from the file cannot wrap.
//
// A reader may also stand for a range of a file of which only some parts were read into memory
// (a FileWindow): bounds are those of the file, and a read of a part not in memory gives 0 and
// tells the window which byte it lacked, so that the caller can read it and parse again.
class ByteReader {
public:
    ByteReader() = default;
    ByteReader(const std::uint8_t* data, std::uint64_t size) : m_data(data), m_size(size) {}

    // An empty reader that is already failed: what a lookup gives when the bytes are not there.
    static ByteReader failed()
    {
        ByteReader r;
        r.m_ok = false;
        return r;
    }

    std::uint64_t size() const { return m_size; }
    bool ok() const { return m_ok; }
    void fail() { m_ok = false; }

    bool contains(std::uint64_t offset, std::uint64_t length) const { return offset <= m_size && length <= m_size - offset; }

    std::uint8_t u8(std::uint64_t offset)
    {
        if (!contains(offset, 1))
            return fail(), 0;
        return at(offset);
    }
    std::uint16_t u16(std::uint64_t offset)
    {
        if (!contains(offset, 2))
            return fail(), 0;
        return static_cast<std::uint16_t>(at(offset) | (at(offset + 1) << 8));
    }
    std::uint32_t u32(std::uint64_t offset)
    {
        if (!contains(offset, 4))
            return fail(), 0;
        return static_cast<std::uint32_t>(at(offset)) | (static_cast<std::uint32_t>(at(offset + 1)) << 8)
            | (static_cast<std::uint32_t>(at(offset + 2)) << 16) | (static_cast<std::uint32_t>(at(offset + 3)) << 24);
    }
    std::int32_t i32(std::uint64_t offset) { return static_cast<std::int32_t>(u32(offset)); }
    std::uint32_t u32be(std::uint64_t offset)
    {
        if (!contains(offset, 4))
            return fail(), 0;
        return (static_cast<std::uint32_t>(at(offset)) << 24) | (static_cast<std::uint32_t>(at(offset + 1)) << 16)
            | (static_cast<std::uint32_t>(at(offset + 2)) << 8) | static_cast<std::uint32_t>(at(offset + 3));
    }

    // True when the bytes at offset equal the given literal (without its terminating zero).
    template <std::size_t N> bool matches(std::uint64_t offset, const char (&literal)[N]) const
    {
        if (!contains(offset, N - 1))
            return false;
        for (std::size_t i = 0; i + 1 < N; ++i)
            if (at(offset + i) != static_cast<std::uint8_t>(literal[i]))
                return false;
        return true;
    }

    // A reader on a part of this one; a range outside the window gives a failed, empty reader.
    ByteReader sub(std::uint64_t offset, std::uint64_t length) const
    {
        if (!contains(offset, length))
            return failed();
        if (m_window)
            return ByteReader(m_window, m_origin + offset, length);
        return ByteReader(m_data + offset, length);
    }
    // From offset to the end of the window.
    ByteReader tail(std::uint64_t offset) const { return offset <= m_size ? sub(offset, m_size - offset) : failed(); }

    // Raw access, for handing a range that was checked as a whole to a decoder (Qt's PNG and BMP
    // readers, or a row of pixels). A reader on a file window has none: it is for headers only.
    const std::uint8_t* data() const { return m_data; }

private:
    friend class FileWindow;
    ByteReader(const FileWindow* window, std::uint64_t origin, std::uint64_t size) : m_size(size), m_window(window), m_origin(origin) {}

    std::uint8_t at(std::uint64_t offset) const { return m_data ? m_data[offset] : windowByte(m_window, m_origin + offset); }
    static std::uint8_t windowByte(const FileWindow* window, std::uint64_t fileOffset);

    const std::uint8_t* m_data = nullptr;
    std::uint64_t m_size = 0;
    bool m_ok = true;
    const FileWindow* m_window = nullptr; // set instead of m_data for a reader on a file window
    std::uint64_t m_origin = 0;           // the file offset of this reader's offset 0 in the window
};

} // namespace bw
