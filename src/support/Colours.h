#pragma once

#include <QColor>

#include <cstdint>

namespace bw {

// Colours are kept as the program stores them: red in the low byte (0x00BBGGRR), or the system
// colour reference 0x8000000F for the button face.
inline constexpr std::uint32_t kColourButtonFace = 0x8000000F;
inline constexpr std::uint32_t kColourRed = 255;
inline constexpr std::uint32_t kColourYellow = 65535;
inline constexpr std::uint32_t kColourWhite = 16777215;
QColor toQColor(std::uint32_t colour);

} // namespace bw
