// libFuzzer harness: icon and cursor files. Every image the directory lists is decoded, not only
// the one the program would choose, so that every decoder (PNG, 1 to 32 bits) is reached.

#include "icons/IconDirectory.h"
#include "icons/IconExtractor.h"
#include "icons/IconImageDecoder.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const bw::ByteReader file(data, size);
    if (const auto candidates = bw::iconFileCandidates(file)) {
        for (const bw::IconCandidate& c : *candidates) {
            (void)bw::iconImageBitCount(c.data);
            (void)bw::decodeIconImage(c.data);
        }
        (void)bw::chooseIconImage(*candidates);
    }
    (void)bw::extractIcon(file, 0);
    return 0;
}
