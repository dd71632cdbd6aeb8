#pragma once

#include "fileops/DragFiles.h"
#include "fileops/Export.h"

#include <QImage>
#include <QMimeData>

#include <cstdint>
#include <memory>
#include <vector>

namespace bw {

class Catalogue;

// What the page offers when icons are dragged out of it, as image viewers do: the icons as PNG
// files (file URLs in text/uri-list) and the picture of the dragged icon as image/png. The files
// are written into a new folder of the drag folder only when a target asks for them, so a drag
// that ends nowhere, on the page or in a painting program writes nothing.
class IconDragData : public QMimeData {
public:
    IconDragData(std::vector<DraggedIcon> icons, const QImage& picture, DragFolder& folder);
    QStringList formats() const override;
    bool hasFormat(const QString& mimeType) const override;

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override;

private:
    std::vector<DraggedIcon> m_icons; // taken when the drag starts: a late drop finds them unchanged
    DragFolder& m_folder;
    mutable bool m_written = false;
};

// The data of a drag that starts on entry `dragged`: every marked entry when it is marked, else
// it alone. None for a cell without an entry, or an entry alone whose icon cannot be read. An
// entry whose source is gone or changed gives its kept picture (and none is left out).
std::unique_ptr<IconDragData> pageDragData(const Catalogue& catalogue, std::int32_t dragged, DragFolder& folder,
                                           const KeptPictures* kept = nullptr);

// The drag folder of this run, removed when the program ends.
DragFolder& dragFolder();

} // namespace bw
