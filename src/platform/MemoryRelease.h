// How freed memory goes back to the system. The desktop program holds a
// table's rows for as long as its window is open and builds large passing
// buffers beside them (a sort's keys and order): those must leave the
// process when freed, not stay in the allocator's pools as resident memory
// that only the next such buffer can use.
#pragma once

// Blocks of 4 MiB and more are mapped from the system on their own and
// returned when freed, on every thread, for the rest of the process. Left
// alone, the allocator raises that size after each such free, and later
// large buffers come from its pools and stay resident.
void ReleaseLargeBlocksOnFree();
