#include "Globals.h"

std::list<DbInfo> g_dbList;
std::atomic<std::uint32_t> g_bStop{0};
std::atomic<std::uint32_t> g_bBusy{0};
