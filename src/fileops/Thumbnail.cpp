#include "Thumbnail.h"

#include "icons/IconExtractor.h"
#include "support/SafeFile.h"

#include <QBuffer>
#include <QFile>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace bw {

QImage thumbnailPicture(const QImage& picture, int edge)
{
    if (picture.isNull() || edge < 1)
        return {};
    const double factor = static_cast<double>(edge) / std::max(picture.width(), picture.height());
    const QSize target(std::max(1, static_cast<int>(std::lround(picture.width() * factor))),
                       std::max(1, static_cast<int>(std::lround(picture.height() * factor))));
    // Scaling straight alpha would bleed the colour of transparent pixels into the edges.
    QImage scaled = picture.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int whole = static_cast<int>(std::floor(factor));
    if (whole >= 2)
        scaled = scaled.scaled(picture.size() * whole, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    if (scaled.size() != target)
        scaled = scaled.scaled(target, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);

    QImage square(edge, edge, QImage::Format_ARGB32_Premultiplied);
    square.fill(Qt::transparent);
    {
        QPainter painter(&square);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.drawImage((edge - target.width()) / 2, (edge - target.height()) / 2, scaled);
    }
    return square.convertToFormat(QImage::Format_ARGB32);
}

QImage thumbnailOf(const std::filesystem::path& file, int edge) { return thumbnailPicture(extractLargestIconWithin(file, 0, edge), edge); }

bool writePngReplacing(const std::filesystem::path& path, const QImage& picture)
{
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    return picture.save(&buffer, "PNG") && replaceFile(path, png);
}

} // namespace bw
