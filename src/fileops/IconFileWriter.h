#pragma once

#include "support/SafeFile.h"

#include <QByteArray>
#include <QImage>
#include <QRgb>

#include <array>
#include <filesystem>
#include <optional>

namespace bw {

// The standard 16-colour VGA palette, in the order of the Windows default palette.
extern const std::array<QRgb, 16> kVgaPalette;

// Index of the VGA colour nearest to c (squared RGB distance, first on a tie).
int nearestVgaIndex(QRgb c);

// The bytes of a single-image, 16-colour icon file with a 1-bit mask. Pixels with alpha below 128
// become transparent. None for an empty picture or one larger than 256 x 256.
std::optional<QByteArray> encodeIcon16(const QImage& icon);

enum class IconWriteResult { Ok, InvalidIcon, CannotCreate, WriteFailed };

// Writes the icon file; the picture is checked before the file is created, and no partly
// written file stays behind. An existing file is never replaced (CannotCreate).
IconWriteResult writeIconFile(const std::filesystem::path& target, const QImage& icon);

} // namespace bw
