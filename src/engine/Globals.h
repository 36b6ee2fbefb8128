// The process-wide values shared by the engine, the jobs and the views.
#pragma once

#include <atomic>
#include <cstdint>
#include <list>

#include "DbInfo.h"

// Every opened database, in the order of opening. Node-based, so the
// address of an entry stays valid while others are added or removed.
extern std::list<DbInfo> g_dbList;
// Set by a stop command, cleared by every job as it starts; read afresh by
// the page walk and the carvers.
extern std::atomic<std::uint32_t> g_bStop;
// 1 while a job runs; owned by the job control.
extern std::atomic<std::uint32_t> g_bBusy;
