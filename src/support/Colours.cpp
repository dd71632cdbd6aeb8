#include "Colours.h"

#include <QGuiApplication>
#include <QPalette>

namespace bw {

QColor toQColor(std::uint32_t colour)
{
    if (colour == kColourButtonFace)
        return QGuiApplication::palette().color(QPalette::Button);
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF), static_cast<int>((colour >> 16) & 0xFF));
}

} // namespace bw
