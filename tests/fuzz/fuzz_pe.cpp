// libFuzzer harness: the PE resource reader, every group icon of the file.

#include "icons/PeResources.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const bw::ByteReader file(data, size);
    if (!bw::isPeFile(file))
        return 0;
    const int count = bw::peGroupIconCount(file);
    for (int i = 0; i < count && i < 64; ++i)
        (void)bw::peGroupIcon(file, i);
    (void)bw::peGroupIcon(file, count);
    (void)bw::peGroupIcon(file, -1);
    return 0;
}
