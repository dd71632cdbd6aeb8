// libFuzzer harness: animated cursors, their chunks and every image of every frame.

#include "OneIconFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    exerciseOneIconFile(withHeader(data, size, "RIFF", "ACON", false));
    return 0;
}
