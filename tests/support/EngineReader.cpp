#include "support/EngineReader.h"

#include "driver/DbEntries.h"
#include "engine/Globals.h"
#include "engine/SqliteParser.h"
#include "platform/TextConvert.h"

DbSnapshot ReadWithEngine(const std::string& path, CLogCollector& log, bool readRows,
                          bool useWal, bool useJournal)
{
    DbSnapshot snapshot;
    CSqliteParser parser;
    parser.m_hLogWnd = &log;
    parser.m_bUseWal = useWal;
    parser.m_bUseJournal = useJournal;
    // Values held as the table window holds them, read back as text.
    parser.m_bPackHeldValues = true;
    DbInfo* entry = OpenDatabaseEntry(parser, Widen(path));
    if (entry == nullptr)
        return snapshot;
    DbInfo& db = *entry;
    snapshot.pageSize = db.pageSize;
    for (TableInfo& table : db.tables) {
        TableSnapshot out;
        out.name = table.name;
        out.rootPage = table.rootPage;
        out.isVirtual = table.rootPage == 0;
        for (const ColumnInfo& column : table.columns)
            out.columns.push_back({column.name, column.type});
        if (readRows && table.rootPage != 0) {
            parser.m_pDb = &db;
            parser.m_pTable = &table;
            parser.ReadTable();
            for (const RowValues& row : parser.m_rows)
                out.rows.push_back(row.ToVector());
        }
        snapshot.tables.push_back(std::move(out));
    }
    CloseDatabase(parser, reinterpret_cast<std::uint64_t>(&db));
    return snapshot;
}
