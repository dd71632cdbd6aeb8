#include "IconDrag.h"

#include "catalogue/Catalogue.h"
#include "icons/IconExtractor.h"

#include <QBuffer>
#include <QUrl>

namespace bw {
namespace {

const QString kUriList = QStringLiteral("text/uri-list");

} // namespace

IconDragData::IconDragData(std::vector<DraggedIcon> icons, const QImage& picture, DragFolder& folder)
    : m_icons(std::move(icons))
    , m_folder(folder)
{
    if (picture.isNull())
        return;
    // Painting programs look for "image/png"; Qt's own image type lets the desktop offer others.
    setImageData(picture);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (picture.convertToFormat(QImage::Format_ARGB32).save(&buffer, "PNG"))
        setData(QStringLiteral("image/png"), png);
}

QStringList IconDragData::formats() const
{
    QStringList formats = QMimeData::formats();
    if (!formats.contains(kUriList))
        formats.prepend(kUriList);
    return formats;
}

bool IconDragData::hasFormat(const QString& mimeType) const { return formats().contains(mimeType); }

QVariant IconDragData::retrieveData(const QString& mimeType, QMetaType type) const
{
    if (mimeType == kUriList && !m_written) {
        m_written = true;
        QList<QUrl> urls;
        const std::string directory = m_folder.newDragDirectory();
        if (!directory.empty())
            for (const QString& file : writeDragFiles(directory, m_icons))
                urls << QUrl::fromLocalFile(file);
        // Kept as any data set beforehand, so that every later request gets the same files.
        const_cast<IconDragData*>(this)->setUrls(urls);
    }
    return QMimeData::retrieveData(mimeType, type);
}

std::unique_ptr<IconDragData> pageDragData(const Catalogue& catalogue, std::int32_t dragged, DragFolder& folder, const KeptPictures* kept)
{
    if (dragged < 1 || dragged > catalogue.entryCount())
        return nullptr;
    const IconEntry& entry = catalogue[dragged];
    std::vector<DraggedIcon> icons;
    // The source of an entry that is gone or changed is not the icon shown: its kept picture goes.
    const auto take = [&](std::int32_t n) {
        DraggedIcon icon {std::string(catalogue[n].path()), catalogue[n].iconIndex, {}};
        if (const std::optional<QImage> picture = kept ? kept->disconnected(n) : std::nullopt) {
            if (picture->isNull())
                return; // nothing was kept of it
            icon.kept = *picture;
        }
        icons.push_back(std::move(icon));
    };
    if (entry.marked) {
        for (std::int32_t n = 1; n <= catalogue.entryCount(); ++n)
            if (catalogue[n].marked)
                take(n);
    } else {
        take(dragged);
    }
    const std::optional<QImage> draggedKept = kept ? kept->disconnected(dragged) : std::nullopt;
    const QImage picture
        = draggedKept ? *draggedKept : extractLargestIcon(std::filesystem::path(std::string(entry.path())), entry.iconIndex);
    if (picture.isNull() && icons.size() == 1)
        return nullptr;
    return std::make_unique<IconDragData>(std::move(icons), picture, folder);
}

DragFolder& dragFolder()
{
    static DragFolder folder;
    return folder;
}

} // namespace bw
