// libFuzzer harness: icon and cursor files, every image the directory lists.

#include "DecodeEvery.h"

#include "icons/IconExtractor.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const bw::ByteReader file(data, size);
    decodeEvery(bw::iconFileCandidates(file));
    (void)bw::extractIcon(file, 0);
    return 0;
}
