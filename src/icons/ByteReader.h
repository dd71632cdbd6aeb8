#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

namespace bw {

// Every byte read from an untrusted file goes through this reader. It is a window on memory the
// caller owns; reads outside the window yield 0 and mark the reader failed, so a parser can read
// a whole header and check ok() once instead of testing every field. Offsets are 64-bit, so
// offset + length arithmetic on 32-bit fields from the file cannot wrap.
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
        return m_data[offset];
    }
    std::uint16_t u16(std::uint64_t offset)
    {
        if (!contains(offset, 2))
            return fail(), 0;
        return static_cast<std::uint16_t>(m_data[offset] | (m_data[offset + 1] << 8));
    }
    std::uint32_t u32(std::uint64_t offset)
    {
        if (!contains(offset, 4))
            return fail(), 0;
        return static_cast<std::uint32_t>(m_data[offset]) | (static_cast<std::uint32_t>(m_data[offset + 1]) << 8)
            | (static_cast<std::uint32_t>(m_data[offset + 2]) << 16) | (static_cast<std::uint32_t>(m_data[offset + 3]) << 24);
    }
    std::int32_t i32(std::uint64_t offset) { return static_cast<std::int32_t>(u32(offset)); }
    std::uint32_t u32be(std::uint64_t offset)
    {
        if (!contains(offset, 4))
            return fail(), 0;
        return (static_cast<std::uint32_t>(m_data[offset]) << 24) | (static_cast<std::uint32_t>(m_data[offset + 1]) << 16)
            | (static_cast<std::uint32_t>(m_data[offset + 2]) << 8) | static_cast<std::uint32_t>(m_data[offset + 3]);
    }

    // True when the bytes at offset equal the given literal (without its terminating zero).
    template <std::size_t N> bool matches(std::uint64_t offset, const char (&literal)[N]) const
    {
        if (!contains(offset, N - 1))
            return false;
        for (std::size_t i = 0; i + 1 < N; ++i)
            if (m_data[offset + i] != static_cast<std::uint8_t>(literal[i]))
                return false;
        return true;
    }

    // A reader on a part of this one; a range outside the window gives a failed, empty reader.
    ByteReader sub(std::uint64_t offset, std::uint64_t length) const
    {
        if (!contains(offset, length))
            return failed();
        return ByteReader(m_data + offset, length);
    }
    // From offset to the end of the window.
    ByteReader tail(std::uint64_t offset) const { return offset <= m_size ? sub(offset, m_size - offset) : failed(); }

    // Raw access, for handing a range that was checked as a whole to a decoder (Qt's PNG and BMP
    // readers, or a row of pixels).
    const std::uint8_t* data() const { return m_data; }

private:
    const std::uint8_t* m_data = nullptr;
    std::uint64_t m_size = 0;
    bool m_ok = true;
};

} // namespace bw
