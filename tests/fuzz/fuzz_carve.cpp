// libFuzzer target: the input is a raw file (a disk image, say) scanned for
// JPEG pictures and MP4/MOV movies at sector starts.
#include <cstddef>
#include <cstdint>

#include "FuzzHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    HarnessCounts counts;
    CarveFile(WriteScratchFile(data, size), counts);
    return 0;
}
