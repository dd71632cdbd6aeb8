#pragma once

#include "DuplicateFinder.h"
#include "PictureCapture.h"

#include "catalogue/Collection.h"

#include <QByteArray>
#include <QImage>

#include <string_view>

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

// Saves the catalogue with the pictures drawn over `background`.
QString saveCatalogueAsCollection(const std::filesystem::path& target, const Catalogue& catalogue, const std::string& directory,
                                  const QString& types, QRgb background, SaveMode mode, int threads = 0,
                                  const Collection* previous = nullptr);

// A comparison's pictures from an opened collection, read in one pass.
class CollectionPictures final : public StoredPictures {
public:
    explicit CollectionPictures(const Collection& collection) : m_collection(collection), m_reader(collection) {}
    bool next(std::int32_t n, Samples& samples, EncodedPicture& encoded) override;

private:
    const Collection& m_collection;
    Collection::Reader m_reader;
    CollectionEntry m_entry;
};

} // namespace bw
