#pragma once

#include "Catalogue.h"

#include "support/Pacer.h"

#include <QString>

#include <cstdint>
#include <string_view>

namespace bw {

// Progress refreshes of the indexer come at most this often.
inline constexpr std::int64_t kIndexRefreshMs = 500;

// What the indexer needs of the window it works for.
class IndexerHost {
public:
    virtual ~IndexerHost() = default;
    virtual void blankPage() = 0;                        // fill the page with the background colour
    virtual void setCountPanel(const QString& text) = 0; // the count panel of the status bar
    virtual void pumpMessages() = 0;
    virtual void computePageGeometry() = 0;
    virtual void reportCatalogueFull() = 0;
    virtual std::int64_t tickCount() = 0;
    // The number of icons a file offers (the content decides, see iconCount).
    virtual int iconCountOf(std::string_view path) = 0;

    // The pace of the count panel, kept by the host of one read.
    Pacer countRefresh {kIndexRefreshMs};
};

// A file never contributes more icons than a 16-bit icon index can number.
inline constexpr int kMaxIconsPerFile = 65536;
// Turns one file into catalogue entries: one with index 0 for a name ending in ".ico" or ".cur"
// (the file is not opened), else one per icon the file offers.
void indexFile(Catalogue& catalogue, std::string_view path, IndexerHost& host);
// The same for a file whose icons were counted already (on a worker thread of a read).
void indexCountedFile(Catalogue& catalogue, std::string_view path, int icons, IndexerHost& host);

// Icon and cursor files are catalogued by their name alone (one entry, index 0), never opened.
bool isCataloguedByName(std::string_view path);

// The extension of a path's file name: from its last dot, ASCII letters in lower case; empty
// when the name has no dot.
std::string fileExtensionLower(std::string_view path);

// "Die Maximale Symbolzahl von 1000000 ist erreicht !" and its second line.
QString catalogueFullText(std::int32_t capacity);

} // namespace bw
