// libFuzzer target: the input is GIF data for the picture control's block
// parser (header, graphic blocks, frame extraction).
#include <cstddef>
#include <cstdint>

#include "FuzzHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    HarnessCounts counts;
    ParseGifData(data, size, counts);
    return 0;
}
