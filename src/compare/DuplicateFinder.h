#pragma once

#include "PictureCapture.h"

#include "catalogue/Catalogue.h"

#include <QImage>
#include <QString>

#include <cstdint>
#include <string_view>

namespace bw {

// The pictures of a running comparison, for showing them; entries are captured in order, and
// one not yet captured shows as nothing.
class PictureSource {
public:
    virtual ~PictureSource() = default;
    virtual QImage picture(std::int32_t entry) const = 0;
};

// What a comparison run needs of the window (or command) it works for. The run calls it on the
// thread that started it; pumpMessages may let the user change the threshold, cancel, or toggle
// the sounds, and the run reads those again after every pump. It comes at every pair the run
// handles and after every list line; a host may skip one that follows the last too closely.
class CompareHost {
public:
    virtual ~CompareHost() = default;
    virtual int threshold() = 0; // a pair is a duplicate below this many differing samples
    virtual bool cancelled() = 0;
    virtual std::int64_t tickCount() = 0;
    virtual void listDefective(std::int32_t entry, std::string_view path) = 0;
    virtual void listDuplicate(std::int32_t entry, std::string_view path) = 0;
    virtual void reportNoMemory(const QString& text) = 0;
    // The stored pictures broke off (a damaged collection), so the run stops; `text` says so.
    virtual void reportUnreadable(const QString& text) { reportNoMemory(text); }

    // What a window shows and plays; a host without one (a script, a measurement) keeps these.
    virtual bool soundOff() { return true; } // "fehler" and "ping" stay silent; "fertig" always sounds
    virtual void playWav(const QString& /*name*/, int /*mode*/) {}
    virtual void pumpMessages() {}
    // The run has its memory and begins; `pictures` serves until runFinished returns.
    virtual void runStarting(const PictureSource& /*pictures*/) {}
    virtual void runFinished(int /*duplicatesFound*/) {} // result text, marks shown, start enabled
    virtual void showProgress(std::int32_t /*reference*/, std::int32_t /*candidate*/, std::int64_t /*elapsedMs*/) {}
    // The pair's pictures should be shown (they cost a decoding each: fetch them only to draw).
    virtual void showPictures(std::int32_t /*reference*/, std::int32_t /*candidate*/) {}
    virtual void showDuplicateCount(int /*duplicatesFound*/) {}
};

// Progress is shown at most this often, unless the catalogue is small (see everyPairBelow).
inline constexpr std::int64_t kCompareRefreshMs = 500;
// Below this many entries progress is shown at every pair, and by default every pair is compared.
inline constexpr std::int32_t kEveryPairBelow = 100;
inline constexpr int kMaxThreshold = 1024;

// Pictures kept from an earlier capture (an opened collection), handed to a run in place of
// capturing them again.
class StoredPictures {
public:
    virtual ~StoredPictures() = default;
    // Entry n's picture as kept; calls come for n = 1, 2, ... in turn, on the thread that runs the
    // comparison. False for an icon that could not be loaded then.
    virtual bool read(std::int32_t n, QByteArray& packed) = 0;
    // What read gave, as samples over the run's background and encoded (hash included); false when
    // the bytes are no picture (the icon then counts as one that could not be loaded). Called from
    // several threads at once.
    virtual bool unpack(const QByteArray& packed, Samples& samples, EncodedPicture& encoded) const = 0;
    // Empty until read meets an entry it cannot read at all; then why, in German.
    virtual QString failure() const { return {}; }
};

struct CompareOptions {
    IconLoader loader;                // empty: the icons are extracted from their files
    StoredPictures* stored = nullptr; // set: no capture, the pictures come from here
    QRgb background = 0;              // the colour icons are drawn over
    int threads = 0;                  // capture workers and cores to use; 0: see captureWorkers()
    // Below this many entries every pair is compared.
    std::int32_t everyPairBelow = kEveryPairBelow;
    std::size_t memoryLimit = 0;       // refuse runs needing more bytes up front; 0: no limit
    std::int32_t prefetchAhead = 4096; // how many entries the candidate helper may run ahead
};

struct CompareResult {
    bool started = false;
    bool cancelled = false;
    bool outOfMemory = false;
    bool unreadable = false; // the stored pictures broke off: the run stopped (cancelled is set too)
    int duplicatesFound = 0;
    // Measurements.
    std::uint32_t distinctPictures = 0;
    std::size_t pictureBytes = 0;    // encoded pictures and their records
    std::size_t entryBytes = 0;      // per-entry tables
    std::size_t indexBytes = 0;      // candidate filter tables
    std::uint64_t checkedPairs = 0;  // candidates the filter's bounds looked at
    std::uint64_t verifiedPairs = 0; // pairs counted sample by sample
    double captureSeconds = 0;
    double compareSeconds = 0;
};

// One comparison run over the whole catalogue: every entry's picture is captured once; each
// entry that is neither marked nor defective, in ascending order, marks every later entry whose
// picture differs from its own in fewer samples than the threshold. The first pass clears the
// marks. Sounds, list lines and marks come in the order of a comparison of every pair.
CompareResult findDuplicates(Catalogue& catalogue, CompareHost& host, const CompareOptions& options);

// "  DEFEKT: " path and "DOPPELT: " n " -> " path.
QString defectiveLine(std::string_view path);
QString duplicateLine(std::int32_t entry, std::string_view path);
// "Pixeldifferrenz: " percent "% = " n, the percentage with one decimal at most.
QString thresholdText(int threshold);
// Why the catalogue cannot be compared (empty when it can): nothing read, or entries that do not
// come from icon or cursor files.
QString compareRefusal(const Catalogue& catalogue);

} // namespace bw
