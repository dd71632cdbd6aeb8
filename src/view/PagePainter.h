#pragma once

#include "catalogue/Catalogue.h"
#include "icons/IconDirectory.h"
#include "view/PageState.h"

#include <QColor>
#include <QImage>
#include <QPoint>
#include <QRect>
#include <QString>

#include <cstdint>
#include <string_view>

namespace bw {

// Cells are squares of this many pixels; the icon sits 5 pixels in.
inline constexpr int kCellPitch = 42;
inline constexpr int kIconOffset = 5;
// The smallest outer size of the main window.
inline constexpr int kMinWindowWidth = 192;
inline constexpr int kMinWindowHeight = 194;

// Cells across, cells down and page capacity for a page image of this size.
void computeGrid(PageState& page, int imageWidth, int imageHeight);

// What the page scroll bar must show for a catalogue of entryCount entries.
struct ScrollRange {
    int maximum = 1;
    bool resetPosition = false; // multi-page: back to entry 1
    int largeChange = 1;
};
ScrollRange scrollRangeFor(std::int32_t entryCount, int pageCapacity);

// The texts and the on-screen refresh the painter needs of its window.
class PaintHost {
public:
    virtual ~PaintHost() = default;
    virtual void setNumberPanel(const QString& text) = 0;
    virtual void setCountPanel(const QString& text) = 0;
    virtual void setRangePanel(const QString& text) = 0;
    // Shows the part of the page image drawn since the last refresh, without letting other
    // events run.
    virtual void refreshNow(const QRect& area) = 0;
    // The icon of an entry; every painted cell asks for it again (no cache).
    virtual QImage extractIcon(std::string_view path, int iconIndex) = 0;
    // The same icon edge x edge device pixels large, for a page on a high-density screen.
    virtual QImage extractIconAt(std::string_view path, int iconIndex, int edge) { return scaleToEdge(extractIcon(path, iconIndex), edge); }
    // For a page of an opened collection: the stored picture of an entry whose source file is
    // gone or changed, drawn instead of the file's with the mark of a disconnected entry; a null
    // image while the source is there.
    virtual QImage storedIcon(std::int32_t /*entry*/) { return {}; }
};

// Paints entries first..last into their cells (in logical pixels; a canvas with a device pixel
// ratio above 1 gets its icons at that resolution); first == last paints that one entry into
// page.pointerCell. Entries whose icon cannot be extracted get the red frame and cross and their
// defective flag set.
void paintEntries(QImage& canvas, Catalogue& catalogue, const PageState& page, QColor background, std::int32_t first, std::int32_t last,
                  PaintHost& host);

// The cell under a point of the page image (also in the strips beside and below the grid).
struct HitTest {
    int column = 0;
    int row = 0;
    std::int32_t entry = 0;
    int cell = 0;
};
HitTest hitTest(QPoint position, const PageState& page);

// Moves the white hover frame to the cell at `origin`: the old frame at `hover` is erased with
// the background first when the cell changed. `hover` is updated.
void moveHoverFrame(QImage& canvas, QPoint& hover, QPoint origin, QColor background);

// The path line for an entry: its path as it is, "  Nr: " and the icon index, and a tag for a
// defective or marked entry.
struct PathLine {
    QString text;
    std::uint32_t colour = 0; // 0 black, 255 red, 65535 yellow
};
PathLine pathLineFor(const Catalogue& catalogue, std::int32_t entry);
// What the path line adds for an entry of an opened collection whose source is gone or changed.
inline const QString kDisconnectedTag = QStringLiteral(" (nicht verbunden)");

// "Seite Markieren" and "Seite Demarkieren": the marked flag of every entry of the current page.
void markPage(Catalogue& catalogue, const PageState& page, bool marked);

} // namespace bw
