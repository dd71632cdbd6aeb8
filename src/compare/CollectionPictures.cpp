#include "CollectionPictures.h"

#include "CaptureQueue.h"
#include "PictureStore.h"

#include "catalogue/FileTypes.h"
#include "icons/IconExtractor.h"
#include "support/Funky.h"
#include "support/ReadFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace bw {
namespace {

constexpr int kHeadBytes = 6;
// Files below this size are read whole for examining, as the capture reads them.
constexpr off_t kReadWholeBelow = 1 << 20;

std::uint16_t edge(int value) { return static_cast<std::uint16_t>(std::clamp(value, 0, 0xFFFF)); }

} // namespace

QByteArray packPicture(const EncodedPicture& picture)
{
    QByteArray out(kHeadBytes + static_cast<qsizetype>(picture.bytes.size()), Qt::Uninitialized);
    auto* p = reinterpret_cast<std::uint8_t*>(out.data());
    p[0] = static_cast<std::uint8_t>(picture.colours);
    p[1] = static_cast<std::uint8_t>(picture.colours >> 8);
    p[2] = picture.mainBits;
    p[3] = static_cast<std::uint8_t>(picture.escapes | picture.form << 2);
    p[4] = static_cast<std::uint8_t>(picture.backgroundCount);
    p[5] = static_cast<std::uint8_t>(picture.backgroundCount >> 8);
    if (!picture.bytes.empty())
        std::memcpy(p + kHeadBytes, picture.bytes.data(), picture.bytes.size());
    return out;
}

bool unpackPicture(const QByteArray& packed, std::uint32_t background, Samples& samples)
{
    EncodedPicture encoded;
    return unpackPicture(packed, background, samples, encoded);
}

bool unpackPicture(const QByteArray& packed, std::uint32_t background, Samples& samples, EncodedPicture& head)
{
    if (packed.size() < kHeadBytes || static_cast<std::size_t>(packed.size()) > PictureStore::kPaddedBytes)
        return false;
    const auto* p = reinterpret_cast<const std::uint8_t*>(packed.constData());
    head.colours = static_cast<std::uint16_t>(p[0] | p[1] << 8);
    head.mainBits = p[2];
    head.escapes = p[3] & 3;
    head.form = static_cast<std::uint8_t>(p[3] >> 2); // 0 in collections saved before pictures had forms
    head.backgroundCount = static_cast<std::uint16_t>(p[4] | p[5] << 8);
    if (head.colours > kSampleCount || head.mainBits > 10 || head.escapes > 2 || head.form > 0x0F || head.backgroundCount > kSampleCount
        || (1u << head.mainBits) < head.escapes)
        return false;
    // Zeros everywhere but where the picture is copied in, and put back after each use.
    thread_local std::vector<std::uint8_t> padded(PictureStore::kPaddedBytes, 0);
    const auto size = static_cast<std::size_t>(packed.size() - kHeadBytes);
    std::memcpy(padded.data(), p + kHeadBytes, size);
    head.bytes.assign(p + kHeadBytes, p + packed.size());
    PictureStore::decodePadded(head, padded.data(), background & 0xFFFFFFu, samples.data());
    std::memset(padded.data(), 0, size);
    // Equal pictures have equal bytes: any hash of them serves the store's lookup. Eight bytes
    // at a time, since this runs for every entry of a comparison.
    std::uint64_t hash = 0xCBF29CE484222325ull ^ (std::uint64_t {head.colours} << 16 | head.mainBits << 8 | head.escapes);
    std::size_t at = 0;
    for (std::uint64_t word; at + sizeof word <= size; at += sizeof word) {
        std::memcpy(&word, head.bytes.data() + at, sizeof word);
        hash = (hash ^ word) * 0x9E3779B97F4A7C15ull;
        hash ^= hash >> 32;
    }
    for (; at < size; ++at)
        hash = (hash ^ head.bytes[at]) * 0x100000001B3ull;
    head.hash = hash ^ hash >> 29;
    return true;
}

QImage storedImage(const CollectionEntry& entry, std::uint32_t background)
{
    Samples samples;
    if (!entry.loaded || !unpackPicture(entry.picture, background, samples))
        return {};
    return pictureImage(samples);
}

CollectionEntry examineEntry(std::string_view path, int iconIndex, QRgb background)
{
    thread_local std::vector<std::uint8_t> buffer;
    CollectionEntry out;
    const std::string name(path);
    struct stat st {};
    QImage icon;
    QImage largest;
    const int fd = openRegularFile(name.c_str(), st);
    if (fd >= 0) {
        out.fileSize = st.st_size;
        out.mtimeNs = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
        if (st.st_size < kReadWholeBelow) {
            buffer.resize(static_cast<std::size_t>(st.st_size));
            const std::size_t got = readUpTo(fd, buffer.data(), buffer.size());
            const ByteReader file(buffer.data(), got);
            out.kind = static_cast<std::uint8_t>(iconSourceKind(file));
            icon = extractIcon(file, iconIndex);
            largest = extractLargestIcon(file, iconIndex);
        } else {
            const std::filesystem::path p(name);
            icon = extractIcon(p, iconIndex);
            largest = extractLargestIcon(p, iconIndex);
            char head[64] = {};
            const ssize_t n = ::pread(fd, head, sizeof head, 0);
            out.kind = static_cast<std::uint8_t>(iconSourceKind(ByteReader(reinterpret_cast<const std::uint8_t*>(head), n > 0 ? n : 0)));
        }
        ::close(fd);
    }
    out.loaded = !icon.isNull();
    out.largestWidth = edge(largest.width());
    out.largestHeight = edge(largest.height());
    Samples samples;
    capturePicture(icon, background, samples);
    EncodedPicture encoded;
    encodePicture(samples, background & 0xFFFFFFu, encoded);
    out.picture = packPicture(encoded);
    return out;
}

void onWorkers(int workers, std::size_t count, const std::function<void(std::size_t k)>& each)
{
    std::atomic<std::size_t> next {0};
    const auto work = [&] {
        for (std::size_t k; (k = next.fetch_add(1)) < count;)
            each(k);
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < workers && static_cast<std::size_t>(t) < count; ++t)
        pool.emplace_back(work);
    work();
    for (std::thread& t : pool)
        t.join();
}

CollectionFiller examiningFiller(const Catalogue& catalogue, QRgb background, int threads, const Collection* previous)
{
    const int workers = captureWorkers(threads);
    // Stored pictures fit only over the colour they were drawn over.
    if (previous && previous->info().background != (background & 0xFFFFFFu))
        previous = nullptr;
    return [&catalogue, background, workers, previous](std::int32_t first, std::int32_t last, std::vector<CollectionEntry>& out) {
        onWorkers(workers, static_cast<std::size_t>(last - first + 1), [&](std::size_t k) {
            const IconEntry& e = catalogue[first + static_cast<std::int32_t>(k)];
            out[k] = examineEntry(e.path(), e.iconIndex, background);
        });
        if (previous)
            for (std::int32_t n = first; n <= last; ++n)
                if (CollectionEntry& e = out[static_cast<std::size_t>(n - first)]; e.fileSize < 0 && n <= previous->entryCount())
                    previous->entry(n, e);
    };
}

CollectionPictures::CollectionPictures(const Collection& collection)
    : m_collection(collection)
    , m_background(collection.info().background)
    , m_rows(kAhead)
    , m_thread([this] { readRows(); })
{
}

CollectionPictures::~CollectionPictures()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void CollectionPictures::readRows()
{
    Collection::Reader reader(m_collection);
    CollectionEntry entry;
    const std::int32_t count = m_collection.entryCount();
    for (std::int32_t done = 0; done < count;) {
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [&] { return m_stop || done + kBatch <= m_taken + kAhead; });
            if (m_stop)
                return;
        }
        const std::int32_t end = std::min(count, done + kBatch);
        bool readable = true;
        while (done < end && readable) {
            Row& row = m_rows[static_cast<std::size_t>(++done % kAhead)];
            readable = reader.next(entry);
            row.readable = readable;
            row.loaded = readable && entry.loaded;
            row.packed.swap(entry.picture);
        }
        {
            std::lock_guard lock(m_mutex);
            m_written = done;
        }
        m_changed.notify_all();
        if (!readable)
            return; // the first row that cannot be read ends the reading
    }
}

bool CollectionPictures::read(std::int32_t n, QByteArray& packed)
{
    if (!m_failure.isEmpty())
        return false;
    if (n > m_available || n - m_taken > kBatch) {
        std::unique_lock lock(m_mutex);
        m_taken = n - 1; // read is asked for n = 1, 2, ... in turn
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_written >= n; });
        m_available = m_written;
    }
    Row& row = m_rows[static_cast<std::size_t>(n % kAhead)];
    // Reading stops at the first row that is missing or unreadable; the rows before it are good.
    if (!row.readable) {
        m_failure = QStringLiteral("Die Sammlung %1 ist beschädigt: das Bild von Eintrag %2 lässt sich nicht lesen.")
                        .arg(QString::fromLocal8Bit(m_collection.path().native().c_str()))
                        .arg(n);
        return false;
    }
    packed.swap(row.packed);
    return row.loaded;
}

bool CollectionPictures::unpack(const QByteArray& packed, Samples& samples, EncodedPicture& encoded) const
{
    return unpackPicture(packed, m_background, samples, encoded);
}

} // namespace bw
