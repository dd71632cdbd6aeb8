#pragma once

#include <QRgb>

namespace bw {

// A straight-alpha pixel drawn over an opaque ground, rounded to the nearest value: the one
// blend the page, the duplicate finder's samples and the exported bitmaps share, so that a
// picture looks and compares everywhere as it does on the page. The result is opaque.
inline QRgb blendOver(QRgb source, QRgb ground)
{
    const int a = qAlpha(source);
    if (a == 255)
        return source;
    if (a == 0)
        return ground | 0xFF000000u;
    const auto mix = [a](int s, int g) { return (s * a + g * (255 - a) + 127) / 255; };
    return qRgb(mix(qRed(source), qRed(ground)), mix(qGreen(source), qGreen(ground)), mix(qBlue(source), qBlue(ground)));
}

} // namespace bw
