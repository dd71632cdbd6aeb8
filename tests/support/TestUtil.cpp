#include "support/TestUtil.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

namespace testutil {

QImage solid(QRgb colour, int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

QImage bands(bool withTransparentCorner)
{
    static const QRgb colours[8] = {qRgb(0, 0, 0),     qRgb(255, 0, 0),   qRgb(0, 255, 0),   qRgb(0, 0, 255),
                                    qRgb(255, 255, 0), qRgb(0, 255, 255), qRgb(255, 0, 255), qRgb(255, 255, 255)};
    QImage image(32, 32, QImage::Format_ARGB32);
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            image.setPixel(x, y, withTransparentCorner && x < 8 && y < 8 ? qRgba(0, 0, 0, 0) : colours[x / 4]);
    return image;
}

std::filesystem::path writeFile(const std::filesystem::path& path, const fixtures::Bytes& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

fixtures::Bytes readFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    return fixtures::Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

fixtures::Bytes solidIcon(QRgb colour, int bitCount) { return fixtures::iconFile({fixtures::dibImage(solid(colour), bitCount)}); }

fixtures::Bytes libraryWithIcons(int icons, bool pe32plus, QRgb colour)
{
    std::vector<fixtures::GroupIcon> groups;
    for (int i = 1; i <= icons; ++i)
        groups.push_back({std::nullopt, static_cast<std::uint16_t>(i), {0x409}, {fixtures::dibImage(solid(colour), 24)}});
    return fixtures::peFile(groups, pe32plus);
}

::testing::AssertionResult samePixels(const QImage& actual, const QImage& expected, int tolerance)
{
    if (actual.isNull())
        return ::testing::AssertionFailure() << "no picture";
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << "size " << actual.width() << "x" << actual.height();
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x) {
            const QRgb a = actual.pixel(x, y);
            const QRgb e = expected.pixel(x, y);
            if (qAlpha(a) == 0 && qAlpha(e) == 0)
                continue;
            const int off = std::max({std::abs(qRed(a) - qRed(e)), std::abs(qGreen(a) - qGreen(e)), std::abs(qBlue(a) - qBlue(e)),
                                      std::abs(qAlpha(a) - qAlpha(e))});
            if (off > tolerance)
                return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") is " << std::hex << a << ", expected " << e;
        }
    return ::testing::AssertionSuccess();
}

} // namespace testutil
