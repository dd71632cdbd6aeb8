#pragma once

#include "support/SafeFile.h"

#include <QByteArray>
#include <QImage>

#include <filesystem>
#include <optional>

namespace bw {

// The 32 x 32, 8-bit template for bitmap exports: entries 0-215 a 6 x 6 x 6 colour cube indexed
// 36 x green + 6 x red + blue level, 216-255 black, every pixel entry 215 (white).
QImage bitmapTemplate();

// Palette index of the cube colour nearest to c. On a cube the nearest point is the nearest
// level per channel, so no search over the palette is needed.
int nearestCubeIndex(QRgb c);

// The icon drawn at (0, 0) over the white template, each pixel the nearest palette colour.
QImage renderOnTemplate(const QImage& icon);

// The template picture saved as an 8-bit BMP with its palette.
std::optional<QByteArray> encodeBitmapExport(const QImage& icon);
// The same for a picture already drawn on the template (renderOnTemplate).
std::optional<QByteArray> encodeTemplateBitmap(const QImage& rendered);
WriteResult writeBitmapExport(const std::filesystem::path& target, const QImage& icon);

} // namespace bw
