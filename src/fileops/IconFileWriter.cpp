#include "IconFileWriter.h"

#include <QtEndian>

namespace bw {

// The 16 colours in rows of four.
// clang-format off
const std::array<QRgb, 16> kVgaPalette = {
    qRgb(0, 0, 0),       qRgb(128, 0, 0),   qRgb(0, 128, 0),   qRgb(128, 128, 0),
    qRgb(0, 0, 128),     qRgb(128, 0, 128), qRgb(0, 128, 128), qRgb(192, 192, 192),
    qRgb(128, 128, 128), qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(255, 255, 0),
    qRgb(0, 0, 255),     qRgb(255, 0, 255), qRgb(0, 255, 255), qRgb(255, 255, 255),
};
// clang-format on

int nearestVgaIndex(QRgb c)
{
    int best = 0;
    int bestDistance = INT_MAX;
    for (int i = 0; i < 16; ++i) {
        const int dr = qRed(c) - qRed(kVgaPalette[i]);
        const int dg = qGreen(c) - qGreen(kVgaPalette[i]);
        const int db = qBlue(c) - qBlue(kVgaPalette[i]);
        const int d = dr * dr + dg * dg + db * db;
        if (d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

namespace {

void put16(QByteArray& out, quint16 v)
{
    out.append(static_cast<char>(v & 0xFF));
    out.append(static_cast<char>(v >> 8));
}

void put32(QByteArray& out, quint32 v)
{
    put16(out, static_cast<quint16>(v & 0xFFFF));
    put16(out, static_cast<quint16>(v >> 16));
}

} // namespace

std::optional<QByteArray> encodeIcon16(const QImage& icon)
{
    if (icon.isNull() || icon.width() > 256 || icon.height() > 256)
        return std::nullopt;
    const QImage src = icon.convertToFormat(QImage::Format_ARGB32);
    const int w = src.width();
    const int h = src.height();
    const int colourRow = ((w * 4 + 31) / 32) * 4;
    const int maskRow = ((w + 31) / 32) * 4;
    const quint32 colourBytes = static_cast<quint32>(colourRow * h);
    const quint32 maskBytes = static_cast<quint32>(maskRow * h);
    const quint32 imageSize = 40 + 16 * 4 + colourBytes + maskBytes;

    QByteArray out;
    out.reserve(static_cast<qsizetype>(22 + imageSize));
    // Icon directory with one entry. The colour field holds planes x bits (4); the planes and
    // bit-count fields stay 0, which readers accept since the image header has the real values.
    put16(out, 0);
    put16(out, 1);
    put16(out, 1);
    out.append(static_cast<char>(w == 256 ? 0 : w));
    out.append(static_cast<char>(h == 256 ? 0 : h));
    put16(out, 4);
    put16(out, 0);
    put16(out, 0);
    put32(out, imageSize);
    put32(out, 22);
    // BITMAPINFOHEADER; the height counts colour image and mask.
    put32(out, 40);
    put32(out, static_cast<quint32>(w));
    put32(out, static_cast<quint32>(h * 2));
    put16(out, 1);
    put16(out, 4);
    put32(out, 0);
    put32(out, colourBytes);
    put32(out, 0);
    put32(out, 0);
    put32(out, 16);
    put32(out, 0);
    for (QRgb c : kVgaPalette) {
        out.append(static_cast<char>(qBlue(c)));
        out.append(static_cast<char>(qGreen(c)));
        out.append(static_cast<char>(qRed(c)));
        out.append('\0');
    }

    QByteArray colour(static_cast<qsizetype>(colourBytes), '\0');
    QByteArray mask(static_cast<qsizetype>(maskBytes), '\0');
    for (int y = 0; y < h; ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        const int row = h - 1 - y; // bottom row first
        for (int x = 0; x < w; ++x) {
            const bool transparent = qAlpha(line[x]) < 128;
            const int index = transparent ? 0 : nearestVgaIndex(line[x]);
            char& c = colour[row * colourRow + x / 2];
            c = static_cast<char>(c | (x % 2 == 0 ? index << 4 : index));
            if (transparent) {
                char& m = mask[row * maskRow + x / 8];
                m = static_cast<char>(m | (0x80 >> (x % 8)));
            }
        }
    }
    out.append(colour);
    out.append(mask);
    return out;
}

IconWriteResult writeIconFile(const std::filesystem::path& target, const QImage& icon)
{
    const std::optional<QByteArray> bytes = encodeIcon16(icon);
    if (!bytes)
        return IconWriteResult::InvalidIcon;
    switch (writeNewFile(target, *bytes)) {
    case WriteResult::Ok: return IconWriteResult::Ok;
    case WriteResult::AlreadyExists:
    case WriteResult::CannotCreate: return IconWriteResult::CannotCreate;
    case WriteResult::WriteFailed: break;
    }
    return IconWriteResult::WriteFailed;
}

} // namespace bw
