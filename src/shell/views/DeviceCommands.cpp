#include "DeviceCommands.h"

#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>

#include "CaseReportDlg.h"
#include "ChildFrame.h"
#include "MainFrame.h"
#include "OutputWnd.h"
#include "ResourceIds.h"
#include "SalvixLeftTreeCtrl.h"
#include "ScanFileDlg.h"
#include "driver/DbEntries.h"
#include "driver/JobControl.h"
#include "engine/Globals.h"
#include "engine/SqliteParser.h"

bool CDeviceCommands::OnCommand(UINT nID)
{
    // Only the device window lists databases; a table window's tree holds
    // a table and its columns.
    for (QWidget* widget = &m_tree; widget != nullptr; widget = widget->parentWidget()) {
        if (auto* child = dynamic_cast<CChildFrame*>(widget)) {
            if (!child->IsDeviceWindow())
                return false;
            break;
        }
    }
    switch (nID) {
    case ID_CLOSE_SOURCE:
    case ID_CONTEXT_CLOSE_SOURCE:
        OnCloseSource();
        return true;
    case ID_SCAN_PICTURES:
    case ID_CONTEXT_SCAN_PICTURES:
        OnScanPictures();
        return true;
    case ID_SCAN_MOVIES:
    case ID_CONTEXT_SCAN_MOVIES:
        OnScanMovies();
        return true;
    case ID_REFRESH_SOURCE:
        OnRefreshSource();
        return true;
    case ID_APPLY_WAL:
    case ID_NO_WAL:
        OnApplyWal(nID == ID_APPLY_WAL);
        return true;
    case ID_LOG_FRAMES:
        OnLogFrames();
        return true;
    case ID_CASE_REPORT:
        CCaseReportDlg::Run(m_tree);
        return true;
    default:
        return false;
    }
}

HWND CDeviceCommands::LogWnd() const
{
    CMainFrame* frame = m_tree.m_pMainFrame;
    return frame != nullptr && frame->OutputWnd() != nullptr ? frame->OutputWnd()->GetLogWnd() : nullptr;
}

void CDeviceCommands::OnCloseSource()
{
    if (CJobControl::RefuseIfBusy(LogWnd()))
        return;
    CSalvixCtrlItem item = m_tree.GetSelectedItem();
    if (item == nullptr)
        return;
    if (m_tree.GetParentItem(item) != nullptr) {
        CJobControl::Warn(LogWnd(), u"Please select correct partition ");
        return;
    }
    const std::int64_t id = ParseEntryId(m_tree.GetItemText(item, 2).toStdU16String());
    // The windows of its tables go first, so none outlives the records.
    CloseTableWindows(id);
    CJobContext& job = *m_tree.Job();
    if (job.m_pSelDb != nullptr && EntryId(*job.m_pSelDb) == id) {
        job.m_pSelDb = nullptr;
        job.m_pSelTable = nullptr;
    }
    if (job.m_pOpenedDb != nullptr && EntryId(*job.m_pOpenedDb) == id)
        job.m_pOpenedDb = nullptr;
    CloseDatabase(job.m_parser, static_cast<std::uint64_t>(id));
    m_tree.DeleteItem(item);
}

void CDeviceCommands::CloseTableWindows(std::int64_t dbId)
{
    CMainFrame* frame = m_tree.m_pMainFrame;
    if (frame == nullptr || frame->MdiArea() == nullptr)
        return;
    for (QMdiSubWindow* window : frame->MdiArea()->subWindowList()) {
        auto* child = dynamic_cast<CChildFrame*>(window->widget());
        if (child == nullptr || child->IsDeviceWindow() || child->LeftTree() == nullptr)
            continue;
        const CJobContext& job = *child->LeftTree()->Job();
        if (job.m_nDbId != dbId)
            continue;
        frame->m_openTables.erase(job.m_nTableId);
        window->close();
    }
}

void CDeviceCommands::OnRefreshSource()
{
    if (CJobControl::RefuseIfBusy(LogWnd()))
        return;
    CSalvixCtrlItem item = m_tree.GetSelectedItem();
    if (item == nullptr) {
        CJobControl::Warn(LogWnd(), u"Please select correct device");
        return;
    }
    if (m_tree.GetParentItem(item) != nullptr)
        return;
    DbInfo* db = FindDbEntry(ParseEntryId(m_tree.GetItemText(item, 2).toStdU16String()));
    if (db == nullptr)
        return;
    for (CSalvixCtrlItem child = m_tree.GetChildItem(item); child != nullptr;) {
        CSalvixCtrlItem next = m_tree.GetNextItem(child, SCN_NEXT);
        m_tree.DeleteItem(child);
        child = next;
    }
    // Not expanded again: a collapsed item stays collapsed.
    m_tree.InsertTableItems(item, *db);
}

DbInfo* CDeviceCommands::SelectedDb()
{
    CSalvixCtrlItem item = m_tree.GetSelectedItem();
    if (item == nullptr || m_tree.GetParentItem(item) != nullptr) {
        CJobControl::Warn(LogWnd(), u"Please select correct device");
        return nullptr;
    }
    return FindDbEntry(ParseEntryId(m_tree.GetItemText(item, 2).toStdU16String()));
}

// The selected database when no job runs and a log lies beside it; else
// null, with the reason logged.
DbInfo* CDeviceCommands::SelectedDbWithLog()
{
    if (CJobControl::RefuseIfBusy(LogWnd()))
        return nullptr;
    DbInfo* db = SelectedDb();
    if (db != nullptr && !db->log.found) {
        CJobControl::Warn(LogWnd(), u"No write-ahead log lies beside this database");
        return nullptr;
    }
    return db;
}

void CDeviceCommands::OnApplyWal(bool withWal)
{
    DbInfo* db = SelectedDbWithLog();
    if (db == nullptr)
        return;
    const std::int64_t id = EntryId(*db);
    CloseTableWindows(id);
    CJobContext& job = *m_tree.Job();
    if (job.m_pSelDb == db) {
        job.m_pSelDb = nullptr;
        job.m_pSelTable = nullptr;
    }
    if (job.m_pOpenedDb == db)
        job.m_pOpenedDb = nullptr;
    m_tree.ReopenDatabase(*db, withWal);
}

void CDeviceCommands::OnLogFrames()
{
    DbInfo* db = SelectedDbWithLog();
    if (db != nullptr)
        m_tree.ShowLogFrames(*db);
}

void CDeviceCommands::OnScanPictures()
{
    OnScan(CScanFileDlg::kPictures);
}

void CDeviceCommands::OnScanMovies()
{
    OnScan(CScanFileDlg::kMovies);
}

void CDeviceCommands::OnScan(std::int32_t mode)
{
    if (CJobControl::RefuseIfBusy(LogWnd()))
        return;
    CSalvixCtrlItem item = m_tree.GetSelectedItem();
    if (item == nullptr || m_tree.GetParentItem(item) != nullptr) {
        CJobControl::Warn(LogWnd(), u"Please select correct device");
        return;
    }
    // A database carved out of the file opens into this tree.
    QPointer<CSalvixLeftTreeCtrl> tree(&m_tree);
    CScanFileDlg::Run(LogWnd(), m_tree.m_pMainFrame, m_tree.GetItemText(item, 0).toStdU16String(), mode,
                      false, [tree](const QString& path) {
                          if (tree != nullptr)
                              tree->OpenDatabasePath(path);
                      });
}
