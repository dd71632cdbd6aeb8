// libFuzzer harness: bitmap files turned into icons (the cost checks, then the DIB decoder, both
// reduced to the page's picture and whole).

#include "icons/IconExtractor.h"

#include <cstddef>
#include <cstdint>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Every input is made a bitmap file, so no run is spent finding the two letters; a bitmap file
    // as it is (a past finding) is taken as it is.
    std::vector<std::uint8_t> bytes;
    if (size < 2 || data[0] != 'B' || data[1] != 'M')
        bytes = {'B', 'M'};
    bytes.insert(bytes.end(), data, data + size);
    const bw::ByteReader file(bytes.data(), bytes.size());
    (void)bw::iconCount(file);
    (void)bw::extractIcon(file, 0);
    (void)bw::extractLargestIcon(file, 0);
    return 0;
}
