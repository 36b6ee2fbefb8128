// libFuzzer target: the input is a database and its rollback journal (the
// first four bytes say where the database ends). The database is opened with
// the journal rolled back, every table is read and every record outside its
// live tables is recovered.
#include <cstddef>
#include <cstdint>

#include "FuzzHarness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    RecoverFromInput(data, size, nullptr, true);
    return 0;
}
