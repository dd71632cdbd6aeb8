// libFuzzer harness: one image of an icon as stored in a file or resource (DIB or PNG).

#include "DecodeEvery.h"

#include "icons/IconDirectory.h"
#include "icons/IconImageDecoder.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const bw::ByteReader image(data, size);
    (void)bw::iconImageBitCount(image);
    const QImage picture = bw::decodeIconImage(image);
    checkReason(!picture.isNull());
    (void)bw::scaleToIconSize(picture);
    return 0;
}
