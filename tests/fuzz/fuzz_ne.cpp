// libFuzzer harness: the NE resource reader, every image of every group icon of the file.

#include "DecodeEvery.h"

#include "icons/NeResources.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const bw::ByteReader file(data, size);
    if (!bw::isNeFile(file))
        return 0;
    const int count = bw::neGroupIconCount(file);
    // Each extraction walks the whole group directory again, so a few groups and the last one
    // reach every path without making one input cost a directory walk per group.
    for (int i = 0; i < count && i < 6; ++i)
        decodeEvery(bw::neGroupCandidates(file, i));
    if (count > 6)
        decodeEvery(bw::neGroupCandidates(file, count - 1));
    (void)bw::neGroupIcon(file, count);
    return 0;
}
