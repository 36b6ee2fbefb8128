// The engine side of the comparisons: a database opened and every table
// read through CSqliteParser, as the table jobs do.
#pragma once

#include <string>

#include "support/DbSnapshot.h"
#include "support/LogCollector.h"

// Opens `path` with the engine and reads every table that has a root page.
// The g_dbList entry is closed again before returning. `pageSize` is 0 when
// the file was refused; an unopenable file gives an empty snapshot too.
// With `useWal` the committed pages of the database's log are laid over it,
// with `useJournal` a hot rollback journal is rolled back over it.
DbSnapshot ReadWithEngine(const std::string& path, CLogCollector& log, bool readRows = true,
                          bool useWal = false, bool useJournal = false);
