// libFuzzer harness: Apple icon files, our element checks and then Qt's ICNS reader behind them.

#include "OneIconFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    exerciseOneIconFile(withHeader(data, size, "icns", "", true));
    return 0;
}
