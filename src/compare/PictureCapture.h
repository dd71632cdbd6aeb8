#pragma once

#include <QImage>

#include <array>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

namespace bw {

// A picture as the duplicate finder compares it: the icon drawn over the background colour into
// 32 x 32 pixels, one RGB value (0x00RRGGBB) per pixel, column by column (x outer, y inner).
inline constexpr int kPictureEdge = 32;
inline constexpr int kSampleCount = kPictureEdge * kPictureEdge;
using Samples = std::array<std::uint32_t, kSampleCount>;

// Loads one entry's icon (a null image when it cannot be loaded). Called from worker threads,
// so it must be safe to call concurrently.
using IconLoader = std::function<QImage(std::string_view path, int iconIndex)>;
// The program's own extraction from the file.
IconLoader fileIconLoader();

// Draws `icon` (straight alpha) over `background` and samples it. A null icon gives a picture of
// the background alone.
void capturePicture(const QImage& icon, QRgb background, Samples& samples);

// The samples as a 32 x 32 picture, for showing a compared icon.
QImage pictureImage(const Samples& samples);

// A picture in few bytes: its colours other than the background (3 bytes each); then, unless no
// sample or every sample is background, a mask of the background samples (see BackgroundMask);
// then a code for each other sample in turn, packed into `mainBits` bits. Without `escapes`, the
// code is the colour's number, most used colour first (ties in order of first use). With one or
// two escapes, `mainBits` is fewer than all colours need: only the (1 << mainBits) - escapes most
// used colours have a code of their own, the other colours follow in the order of first use, and
// the highest code says "another colour seen before", whose number (counted from the first of the
// other colours) follows in the rare stream behind the codes, in sample order, packed into as
// many bits as the other colours need. With two escapes the code below it says "the next of the
// other colours, not seen before". Equal pictures give equal bytes, so the bytes identify the
// picture.
// Two forms, each taken only where it is shorter, keep noisy pictures small (see `form`):
// - kMaskAsRuns: the mask is kept as the lengths of its runs in sample order, each an Elias gamma
//   code (the first, which may be empty, plus one), alternating from a run without background.
// - near colours (nearBits 1 to 7, two escapes only): only the colours with a code of their own
//   are listed, followed by two bytes, the count of samples of the other colours; each other
//   colour follows in the rare stream at its first sample ("the next new colour"), as one bit
//   set and its three channels as differences from the sample before (the background before the
//   first sample) in nearBits bits each, biased by half their range; or one bit clear and the
//   colour in 24 bits. Gradients and soft edges give colours close to their neighbours.
inline constexpr std::uint8_t kMaskAsRuns = 0x01;
inline constexpr int kNearShift = 1; // form bits 1..3: nearBits
inline int nearBitsOf(std::uint8_t form) { return form >> kNearShift & 7; }
struct EncodedPicture {
    std::vector<std::uint8_t> bytes;
    std::uint16_t colours = 0; // other than the background
    std::uint8_t mainBits = 0;
    std::uint8_t escapes = 0;          // 0, 1 or 2 codes for the colours without a code of their own
    std::uint8_t form = 0;             // kMaskAsRuns | nearBits << kNearShift
    std::uint16_t backgroundCount = 0; // samples equal to the background colour
    std::uint64_t hash = 0;
};
void encodePicture(const Samples& samples, std::uint32_t background, EncodedPicture& out);

// One bit per sample, set where the sample is the background colour. Two pictures differ at least
// where one has background and the other not, and agree at least where both have it.
using BackgroundMask = std::array<std::uint64_t, kSampleCount / 64>;
void backgroundMaskOf(const Samples& samples, std::uint32_t background, BackgroundMask& out);

// Bits per colour number for a picture of `colours` colours (0 for a single colour).
inline int indexBits(int colours)
{
    int bits = 0;
    while ((1 << bits) < colours)
        ++bits;
    return bits;
}

// Writes the low three bytes of a value, least significant first: the colours of a stored picture
// and the hashes and lists of the candidate filter take three bytes each.
inline void putUint24(std::uint8_t* at, std::uint32_t value)
{
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
    at[2] = static_cast<std::uint8_t>(value >> 16);
}

} // namespace bw
