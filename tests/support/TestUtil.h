#pragma once

#include "icons/ByteReader.h"
#include "icons/ReadError.h"
#include "support/FixtureWriter.h"

#include <QColor>
#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

// Readable QStrings in test failure messages.
inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace testutil {

inline bw::ByteReader readerOf(const fixtures::Bytes& bytes) { return bw::ByteReader(bytes.data(), bytes.size()); }

// A picture of one colour.
QImage solid(QRgb colour, int width = 32, int height = 32);

// A 32 x 32 test picture: eight pure colours in vertical bands (exact in every colour depth) and
// a fully transparent 8 x 8 square at the top left.
QImage bands(bool withTransparentCorner = true);

// Writes bytes to a new file and returns its path.
std::filesystem::path writeFile(const std::filesystem::path& path, const fixtures::Bytes& bytes);
fixtures::Bytes readFile(const std::filesystem::path& path);

// The icon file of one 32 x 32 DIB image of the given colour and depth.
fixtures::Bytes solidIcon(QRgb colour, int bitCount = 24);

// A PE library with `icons` group icons (ids 1, 2, ...), each one 32 x 32 image of `colour`.
fixtures::Bytes libraryWithIcons(int icons, bool pe32plus = false, QRgb colour = qRgb(0, 0, 255));

// Compares two pictures pixel by pixel, each channel within `tolerance` (readers round
// differently); fully transparent pixels match whatever their colour.
::testing::AssertionResult samePixels(const QImage& actual, const QImage& expected, int tolerance = 0);

} // namespace testutil

namespace bw {
// Failed assertions name the reason instead of showing its byte.
inline void PrintTo(ReadError error, std::ostream* out) { *out << readErrorName(error); }
} // namespace bw
