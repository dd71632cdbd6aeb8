#pragma once

#include "DuplicateFinder.h"
#include "PictureCapture.h"

#include "catalogue/Collection.h"

#include <QByteArray>
#include <QImage>

#include <condition_variable>
#include <functional>
#include <mutex>
#include <string_view>
#include <thread>
#include <vector>

namespace bw {

// A collection keeps each picture as the duplicate finder encodes it (EncodedPicture), behind a
// six-byte head: colours (2 bytes, little-endian), mainBits, escapes | form << 2, backgroundCount
// (2 bytes).
QByteArray packPicture(const EncodedPicture& picture);
// The samples of a packed picture over `background` (the collection's); false when the bytes
// cannot be a picture. Whatever the bytes say, nothing outside them is read.
bool unpackPicture(const QByteArray& packed, std::uint32_t background, Samples& samples);
// The same, also giving the encoded picture as stored, with a hash of its bytes.
bool unpackPicture(const QByteArray& packed, std::uint32_t background, Samples& samples, EncodedPicture& encoded);
// The stored picture as a 32 x 32 image (null when there is none).
QImage storedImage(const CollectionEntry& entry, std::uint32_t background);

// What a collection keeps of one entry, taken from its file now: size and time, kind, the
// largest image's size and the picture drawn over `background`.
CollectionEntry examineEntry(std::string_view path, int iconIndex, QRgb background);
// A filler for saveCollection that examines a block's entries on `threads` threads (0: one per core).
// With `previous` (the collection the catalogue was opened from), an entry whose file is gone
// keeps the facts and picture stored there instead of being saved as unreadable.
CollectionFiller examiningFiller(const Catalogue& catalogue, QRgb background, int threads = 0, const Collection* previous = nullptr);
// Calls `each(k)` for k in 0..count-1, spread over `workers` threads (this one among them).
void onWorkers(int workers, std::size_t count, const std::function<void(std::size_t k)>& each);

// A comparison's pictures from an opened collection, read in one pass. A thread of its own reads
// the rows ahead through a connection of its own, so that the comparison's thread spends its time
// on the comparison rather than in SQLite. It must not outlive the collection.
class CollectionPictures final : public StoredPictures {
public:
    explicit CollectionPictures(const Collection& collection);
    ~CollectionPictures() override;
    CollectionPictures(const CollectionPictures&) = delete;
    CollectionPictures& operator=(const CollectionPictures&) = delete;
    bool read(std::int32_t n, QByteArray& packed) override;
    bool unpack(const QByteArray& packed, Samples& samples, EncodedPicture& encoded) const override;
    QString failure() const override { return m_failure; }

private:
    void readRows();

    struct Row {
        bool readable = false;
        bool loaded = false;
        QByteArray packed;
    };
    // Rows read ahead at most, and how many the reading thread adds or frees at a time.
    static constexpr std::int32_t kAhead = 2048;
    static constexpr std::int32_t kBatch = 128;
    const Collection& m_collection;
    const std::uint32_t m_background;
    QString m_failure;
    std::vector<Row> m_rows; // entry n in m_rows[n % kAhead]
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::int32_t m_written = 0;   // rows 1..m_written are read
    std::int32_t m_taken = 0;     // rows 1..m_taken are done with; set by read alone
    std::int32_t m_available = 0; // what read last saw of m_written
    bool m_stop = false;
    std::thread m_thread;
};

} // namespace bw
