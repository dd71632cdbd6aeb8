// libFuzzer harness for everything that reads untrusted bytes: kind detection, counting and
// extraction of every format. Build with -DBW_FUZZ=ON and clang (see README).

#include "icons/IconExtractor.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const bw::ByteReader file(data, size);
    const int count = bw::iconCount(file);
    for (int i = 0; i < 3 && i <= count; ++i)
        (void)bw::extractIcon(file, i);
    return 0;
}
