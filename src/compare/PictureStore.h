#pragma once

#include "PictureCapture.h"

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace bw {

// Every distinct picture of a comparison run, each kept once in its encoded form (see
// EncodedPicture), numbered from 0 in the order first seen.
class PictureStore {
public:
    explicit PictureStore(std::uint32_t background) : m_background(background) {}

    // The number of the picture, adding it unless an equal picture is stored already.
    std::uint32_t add(const EncodedPicture& picture);
    void reserve(std::size_t pictures)
    {
        m_records.reserve(pictures);
        m_byHash.reserve(pictures);
    }
    std::uint32_t size() const { return static_cast<std::uint32_t>(m_records.size()); }
    // Frees the lookup of equal pictures once nothing more will be added.
    void endAdding();

    void decode(std::uint32_t id, std::uint32_t* samples) const;
    int backgroundCount(std::uint32_t id) const { return m_records[id].backgroundCount; }
    // True when picture `id` differs from `reference` (kSampleCount samples) in fewer than
    // `threshold` samples. Stops as soon as the answer is certain either way.
    bool closerThan(const std::uint32_t* reference, std::uint32_t id, int threshold) const;

    // Bytes held for the pictures: encoded forms plus one record per picture.
    std::size_t storedBytes() const;

private:
    struct Record {
        const std::uint8_t* data;
        std::uint32_t length;
        std::uint16_t colours;
        std::uint16_t backgroundCount;
    };
    const std::uint8_t* keep(const std::vector<std::uint8_t>& bytes);

    std::uint32_t m_background;
    std::vector<Record> m_records;
    std::vector<std::unique_ptr<std::uint8_t[]>> m_chunks;
    std::size_t m_chunkUsed = 0;
    std::size_t m_chunkSize = 0;
    std::size_t m_bytesUsed = 0;
    std::unordered_multimap<std::uint64_t, std::uint32_t> m_byHash;
};

} // namespace bw
