#include "BitmapExport.h"

#include "icons/Blend.h"

#include <QBuffer>

namespace bw {
namespace {

constexpr int kTemplateEdge = 32;
constexpr int kWhiteIndex = 215;

int cubeLevel(int channel) { return (channel + 25) / 51; }

} // namespace

QImage bitmapTemplate()
{
    QImage t(kTemplateEdge, kTemplateEdge, QImage::Format_Indexed8);
    QList<QRgb> palette(256, qRgb(0, 0, 0));
    for (int g = 0; g < 6; ++g)
        for (int r = 0; r < 6; ++r)
            for (int b = 0; b < 6; ++b)
                palette[36 * g + 6 * r + b] = qRgb(51 * r, 51 * g, 51 * b);
    t.setColorTable(palette);
    t.fill(kWhiteIndex);
    return t;
}

int nearestCubeIndex(QRgb c) { return 36 * cubeLevel(qGreen(c)) + 6 * cubeLevel(qRed(c)) + cubeLevel(qBlue(c)); }

QImage renderOnTemplate(const QImage& icon)
{
    QImage out = bitmapTemplate();
    const QImage src = icon.convertToFormat(QImage::Format_ARGB32);
    const int w = std::min(src.width(), kTemplateEdge);
    const int h = std::min(src.height(), kTemplateEdge);
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        uchar* target = out.scanLine(y);
        for (int x = 0; x < w; ++x) {
            // Over the white background, as drawing the icon onto the template would.
            target[x] = static_cast<uchar>(nearestCubeIndex(blendOver(line[x], qRgb(255, 255, 255))));
        }
    }
    return out;
}

std::optional<QByteArray> encodeBitmapExport(const QImage& icon)
{
    if (icon.isNull())
        return std::nullopt;
    return encodeTemplateBitmap(renderOnTemplate(icon));
}

std::optional<QByteArray> encodeTemplateBitmap(const QImage& rendered)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!rendered.save(&buffer, "BMP"))
        return std::nullopt;
    return bytes;
}

WriteResult writeBitmapExport(const std::filesystem::path& target, const QImage& icon)
{
    const std::optional<QByteArray> bytes = encodeBitmapExport(icon);
    if (!bytes)
        return WriteResult::WriteFailed;
    return writeNewFile(target, *bytes);
}

} // namespace bw
