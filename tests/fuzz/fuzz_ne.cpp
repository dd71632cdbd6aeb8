// libFuzzer harness: the NE resource reader, every group icon of the file.

#include "icons/NeResources.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const bw::ByteReader file(data, size);
    if (!bw::isNeFile(file))
        return 0;
    const int count = bw::neGroupIconCount(file);
    for (int i = 0; i < count && i < 64; ++i)
        (void)bw::neGroupIcon(file, i);
    (void)bw::neGroupIcon(file, count);
    return 0;
}
