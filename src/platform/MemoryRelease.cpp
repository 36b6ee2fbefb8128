#include "platform/MemoryRelease.h"

#include <malloc.h>

void ReleaseLargeBlocksOnFree()
{
    // Setting the size fixes it: the allocator no longer moves it up. Below
    // 4 MiB the table read's own buffers, made and freed again and again,
    // would be mapped and faulted in each time, and the read is slower.
    constexpr int kMappedBlock = 4 * 1024 * 1024;
    mallopt(M_MMAP_THRESHOLD, kMappedBlock);
}
