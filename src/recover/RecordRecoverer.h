// Records a database file still holds outside its live tables: in the
// freeblocks and unallocated space of b-tree pages, on freelist pages
// (among them whole pages of dropped tables), in write-ahead log frames
// and in rollback journal page images that the database shown does not use.
//
// A candidate is reported only when it reads as a record of a known table
// (live, or dropped but named by a CREATE statement left in the schema
// pages): as many serial types as the table has columns or fewer, each
// fitting its column's declared affinity and the bytes available, with text
// that is well formed. A candidate whose recovered values equal a live row
// of the same table is never reported.
#pragma once

#include <list>
#include <string>
#include <vector>

#include "engine/DbInfo.h"
#include "recover/Candidates.h"
#include "recover/DroppedTables.h"
#include "recover/IndexEntries.h"
#include "recover/LogHistory.h"
#include "recover/PageOwners.h"
#include "recover/RecoveredRecord.h"
#include "recover/SchemaFit.h"

class CPageSource;
class CSqliteParser;

class CRecordRecoverer {
public:
    // `parser` has opened `db` (its m_bUseWal decides whether the log's
    // committed pages are the database shown); its log window gets the
    // lines of the scan.
    CRecordRecoverer(CSqliteParser& parser, DbInfo& db);
    ~CRecordRecoverer();
    CRecordRecoverer(const CRecordRecoverer&) = delete;
    CRecordRecoverer& operator=(const CRecordRecoverer&) = delete;

    // Scans the whole file and hands every candidate to `sink`, those of
    // the table named `onlyTable` when it is not empty. Returns false when
    // no live or dropped table has that name.
    bool Run(const std::u16string& onlyTable, CRecoverSink& sink);

    // Finds the dropped tables alone, without scanning for records: the
    // schema pages' free space, then CREATE statements on freelist pages and
    // in log frames of schema pages no longer used.
    void ReadDroppedTables();

    // Tables named by CREATE statements left in free space of the schema
    // pages that the live schema no longer holds (filled by Run).
    const std::list<TableInfo>& DroppedTables() const { return m_found.dropped; }

private:
    // The tables records are read against: the live ones, then those
    // dropped; whose each page is, and the freelist.
    void FindTables(CPageSource& source);
    // Hands the candidates that equal no live row to `sink`.
    void Report(const std::u16string& onlyTable, CRecoverSink& sink);

    CSqliteParser& m_parser;
    DbInfo& m_db;
    DroppedTableScan m_found;
    std::vector<RecoverSchema> m_schemas;
    CCandidates m_candidates{m_schemas};
    CPageOwners m_owners;
    CIndexEntries m_indexEntries;
};
