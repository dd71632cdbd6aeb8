// libFuzzer harness: the PE resource reader, every image of every group icon of the file.

#include "DecodeEvery.h"

#include "icons/PeResources.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const bw::ByteReader file(data, size);
    if (!bw::isPeFile(file))
        return 0;
    const int count = bw::peGroupIconCount(file);
    // Each extraction walks the whole group directory again, so a few groups and the last one
    // reach every path without making one input cost a directory walk per group.
    for (int i = 0; i < count && i < 6; ++i)
        decodeEvery(bw::peGroupCandidates(file, i));
    if (count > 6)
        decodeEvery(bw::peGroupCandidates(file, count - 1));
    (void)bw::peGroupIcon(file, count);
    (void)bw::peGroupIcon(file, -1);
    return 0;
}
