#include "JobContext.h"

#include "DbEntries.h"

void CJobContext::AdoptTable(const DbInfo& db, const TableInfo& table)
{
    m_nDbId = EntryId(db);
    m_nTableId = EntryId(table);
    // The file facts a table read needs, and the live tables, against
    // whose rows recovery checks its records; the dropped ones stay behind.
    m_ownDb = DbInfo();
    m_ownDb.tables = db.tables;
    m_ownDb.log = db.log;
    m_ownDb.pageSize = db.pageSize;
    m_ownDb.path = db.path;
    m_ownDb.nativePath = db.nativePath;
    m_ownDb.withWal = db.withWal;
    m_ownDb.withJournal = db.withJournal;
    m_ownDb.fileSize = db.fileSize;
    m_ownDb.tableCount = db.tableCount;
    m_ownDb.reservedBytes = db.reservedBytes;
    m_ownDb.textEncoding = db.textEncoding;
    m_ownTable = table;
    m_pSelDb = &m_ownDb;
    m_pSelTable = &m_ownTable;
}

void CJobContext::SendView(JobViewStep step, std::size_t count)
{
    JobViewCall call{step, count};
    SendMessageW(m_viewTarget.get(), WM_JOB_VIEW, reinterpret_cast<WPARAM>(&call), 0);
}
