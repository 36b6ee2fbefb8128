// libFuzzer target: the input is a database file. It is opened, its schema
// walked, and every table it lists is read.
#include <cstddef>
#include <cstdint>

#include "FuzzHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ExamineDatabase(WriteScratchFile(data, size));
    return 0;
}
