// What the steps of one recovery share: the open database, the tables
// records are read against, whose each page is, the log's states and the
// records found so far.
#pragma once

#include <vector>

#include "engine/DbInfo.h"
#include "engine/SqliteParser.h"
#include "recover/Candidates.h"
#include "recover/IndexEntries.h"
#include "recover/LogHistory.h"
#include "recover/PageOwners.h"
#include "recover/SchemaFit.h"

struct RecoverContext {
    CSqliteParser& parser;
    DbInfo& db;
    std::vector<RecoverSchema>& schemas;
    CPageOwners& owners;
    CLogHistory& history;
    CCandidates& candidates;
    CIndexEntries& indexEntries;
};
