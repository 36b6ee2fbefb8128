// What one job works on: the engine object of a window with the rows it
// read, the selected database and table, the chosen path, and the target
// that carries the job's view steps to the window.
//
// A window and the worker it started share the context: the worker keeps
// it alive until the worker ends, so closing the window frees nothing the
// worker still uses. The view target is owned here too and drops the view
// steps of a window that is gone.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "LogFrames.h"
#include "TableRows.h"
#include "driver/CaseReport.h"
#include "engine/DbInfo.h"
#include "engine/SqliteParser.h"
#include "platform/WindowMessage.h"

// Sent by a worker to its window's view target: wParam is the address of a
// JobViewCall, lParam 0. The window carries the step out on its own thread
// while the worker waits.
constexpr UINT WM_JOB_VIEW = 0x8010;

enum class JobViewStep {
    kFillDeviceTree,  // rebuild the device tree from g_dbList
    kFillTableTree,   // the table's columns, its row and recovered counts
    kShowRecords,     // the record list shows the first `count` rows (live
                      // rows first, then recovered ones)
    kShowLogFrames,   // the frames of m_logFrames in a window of their own
    kCloseProgress,   // the job's close request to its progress dialog
    kHashProgress,    // the evidence files are being hashed: `count` percent done
};

struct JobViewCall {
    JobViewStep step;
    std::size_t count = 0;
};

class CJobContext {
public:
    CJobContext() = default;
    CJobContext(const CJobContext&) = delete;
    CJobContext& operator=(const CJobContext&) = delete;

    // Makes this the context of a table window: keeps its own copies of the
    // database's file facts and of the table, points the selection at them
    // and remembers the entries' identifiers. The window then never uses a
    // g_dbList entry, which a later close of the database may remove.
    void AdoptTable(const DbInfo& db, const TableInfo& table);

    // Runs one view step on the window's thread and returns once it ran
    // (or at once, when the window is gone).
    void SendView(JobViewStep step, std::size_t count = 0);

    CSqliteParser m_parser;
    // The rows of the table window: m_parser's live rows, then the records
    // recovery found for the table.
    CTableRows m_tableRows{m_parser};
    // The frames of a database's log, as the last log job read them.
    CLogFrames m_logFrames;
    DbInfo* m_pSelDb = nullptr;
    TableInfo* m_pSelTable = nullptr;
    std::u16string m_strDbPath;
    // The file name's bytes when it was given as bytes (m_strDbPath then
    // only shows it); empty otherwise.
    std::string m_strNativePath;
    // The g_dbList entry the last open added (null when the file could not
    // be opened); valid until that entry is closed.
    DbInfo* m_pOpenedDb = nullptr;
    // When not 0, the open job reopens this g_dbList entry in its place,
    // with its log laid over it or not as m_bReopenWithWal says.
    std::int64_t m_nReopenDbId = 0;
    bool m_bReopenWithWal = false;

    // The case report job: what the windows gave it and where it goes.
    std::shared_ptr<CCaseReport> m_report;
    std::string m_strReportPath;

    // Identifiers (in g_dbList) of the table window's database and table.
    std::int64_t m_nDbId = 0;
    std::int64_t m_nTableId = 0;

    // The window side's target for view steps, owned with the context.
    std::shared_ptr<CMessageTarget> m_viewTarget;

    // True from the start of this context's job until its worker ends.
    std::atomic<bool> m_bRunning{false};

private:
    DbInfo m_ownDb;
    TableInfo m_ownTable;
};
