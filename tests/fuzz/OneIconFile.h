// Shared by the harnesses of file kinds that hold one icon (animated cursors, Apple icons): every
// call the program makes on such a file, each of which must say why when it gives nothing.
#pragma once

#include "DecodeEvery.h"

#include "icons/IconExtractor.h"

#include <QtGlobal>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

// An input that does not start with `magic` is put behind a header made of `magic`, a length
// and `form`, so that no run is spent finding the letters; one that does is taken as it is, and
// then its header's lengths are the fuzzer's too.
inline std::vector<std::uint8_t> withHeader(const std::uint8_t* data, std::size_t size, const char (&magic)[5], const char* form,
                                            bool bigEndian)
{
    if (size >= 4 && std::memcmp(data, magic, 4) == 0)
        return {data, data + size};
    const std::uint32_t length = static_cast<std::uint32_t>(bigEndian ? size + 8 : size + 4);
    std::vector<std::uint8_t> bytes(magic, magic + 4);
    for (int i = 0; i < 4; ++i)
        bytes.push_back(static_cast<std::uint8_t>(length >> (bigEndian ? 24 - 8 * i : 8 * i)));
    bytes.insert(bytes.end(), form, form + std::strlen(form));
    bytes.insert(bytes.end(), data, data + size);
    return bytes;
}

inline void exerciseOneIconFile(const std::vector<std::uint8_t>& bytes)
{
    // Qt's readers warn about every malformed file; millions of warnings would only slow the run.
    static const bool quiet = (qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {}), true);
    (void)quiet;
    const bw::ByteReader file(bytes.data(), bytes.size());
    checkReason(bw::iconCount(file) == 1);
    const QImage icon = bw::extractIcon(file, 0);
    checkReason(!icon.isNull());
    if (!icon.isNull() && icon.size() != QSize(32, 32))
        std::abort();
    const QImage large = bw::extractIcon(file, 0, 48);
    checkReason(!large.isNull());
    if (!large.isNull() && large.size() != QSize(48, 48))
        std::abort();
    // No picture, however the file lies about it, is larger than the images it may hold.
    const auto withinCaps = [](const QImage& picture) {
        if (picture.width() > bw::kMaxIconImageEdge || picture.height() > bw::kMaxIconImageEdge)
            std::abort();
    };
    const std::vector<bw::IconImageInfo> images = bw::iconImages(file, 0);
    checkReason(!images.empty());
    for (const bw::IconImageInfo& image : images)
        withinCaps(image.picture);
    const QImage largest = bw::extractLargestIcon(file, 0);
    checkReason(!largest.isNull());
    withinCaps(largest);
    checkReason(bw::storedIcon(file, 0).has_value());
    (void)bw::extractIcon(file, 1);
}
