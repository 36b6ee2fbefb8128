#include "SalvixLeftTreeCtrl.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMdiSubWindow>
#include <QMenu>
#include <QMessageBox>

#include "ChildFrame.h"
#include "DeviceCommands.h"
#include "LogFramesWnd.h"
#include "JobRelay.h"
#include "MainFrame.h"
#include "MyProgressDlg.h"
#include "OutputWnd.h"
#include "ResourceIds.h"
#include "SalvixRightView.h"
#include "driver/DbEntries.h"
#include "driver/JobControl.h"
#include "driver/ViewTexts.h"
#include "engine/Globals.h"
#include "platform/WideFormat.h"

namespace {

QString Q(const std::u16string& text)
{
    return QString::fromStdU16String(text);
}

// Commands of the "Device" context menu, in order (0: a separator).
constexpr UINT kDeviceMenu[] = {32853, 32854, 0, ID_APPLY_WAL, ID_NO_WAL, ID_LOG_FRAMES, 0, 32863, 32891};
const char16_t* const kDeviceMenuTexts[] = {u"扫描图片", u"扫描影片", u"", u"应用WAL日志", u"不应用WAL日志",
                                            u"WAL帧", u"", u"关闭文件", u"刷新"};

}  // namespace

std::function<void(QWidget*, const QString&)> CSalvixLeftTreeCtrl::s_messageBox =
    [](QWidget* parent, const QString& text) {
        QMessageBox::information(parent, QString::fromUtf16(SALVIX_TEXT_APP_TITLE), text,
                                 QMessageBox::Ok);
    };

CSalvixLeftTreeCtrl::CSalvixLeftTreeCtrl(CMainFrame* frame, CSalvixRightView* rightView,
                                         QWidget* parent)
    : CSalvixCtrlCtrl(parent), m_pMainFrame(frame), m_pRightView(rightView),
      m_job(std::make_shared<CJobContext>())
{
    m_job->m_viewTarget = CJobRelay::Create(this);
    m_job->m_parser.m_hLogWnd = LogWnd();
}

CSalvixLeftTreeCtrl::~CSalvixLeftTreeCtrl()
{
    // A job still running keeps the context; it is asked to stop, and its
    // view steps find no window any more.
    CJobControl::RequestStop(*m_job);
}

HWND CSalvixLeftTreeCtrl::LogWnd() const
{
    return m_pMainFrame != nullptr && m_pMainFrame->OutputWnd() != nullptr
               ? m_pMainFrame->OutputWnd()->GetLogWnd()
               : nullptr;
}

void CSalvixLeftTreeCtrl::MessageBox(const QString& text)
{
    if (s_messageBox)
        s_messageBox(this, text);
}

CSalvixRightView* CSalvixLeftTreeCtrl::ActiveRightView() const
{
    auto* child = m_pMainFrame != nullptr
                      ? dynamic_cast<CChildFrame*>(m_pMainFrame->ActiveChild() != nullptr
                                                       ? m_pMainFrame->ActiveChild()->widget()
                                                       : nullptr)
                      : nullptr;
    return child != nullptr ? child->RightView() : m_pRightView;
}

bool CSalvixLeftTreeCtrl::OnCommand(UINT nID)
{
    switch (nID) {
    case ID_OPEN_DATABASE:
        OnOpenDatabase();
        return true;
    case ID_CHECK_ALL:
    case ID_UNCHECK_ALL:
        m_pRightView = ActiveRightView();
        if (m_pRightView != nullptr)
            m_pRightView->SetAllChecked(nID == ID_CHECK_ALL);
        return true;
    case ID_SHOW_RECOVERED:
        m_pRightView = ActiveRightView();
        return m_pRightView != nullptr && m_pRightView->OnCommand(nID);
    default:
        // Close, refresh and the scans act on the selected database.
        return CDeviceCommands(*this).OnCommand(nID);
    }
}

void CSalvixLeftTreeCtrl::ShowProgress(const QString& caption)
{
    if (m_progressDlg == nullptr)
        m_progressDlg = new CMyProgressDlg(this);
    m_progressDlg->setWindowTitle(caption);
    m_progressDlg->SetMessage(caption + QStringLiteral(",please wait..."));
    g_bStop = 0;
    m_progressDlg->show();
    // The database and table jobs send the progress window nothing.
    m_job->m_parser.m_hProgressWnd = nullptr;
    m_job->m_parser.m_hLogWnd = LogWnd();
}

void CSalvixLeftTreeCtrl::OnOpenDatabase()
{
    if (CJobControl::RefuseIfBusy(LogWnd()))
        return;
    m_pRightView = ActiveRightView();
    QFileDialog dialog(nullptr);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setDefaultSuffix(QStringLiteral("db"));
    dialog.setNameFilters({QStringLiteral("db Files (*.db)"), QStringLiteral("db-wal Files (*.db-wal)"),
                           QStringLiteral("db-shm Files (*.db-shm)"),
                           QStringLiteral("All Files (*.*)")});
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    OpenDatabasePath(dialog.selectedFiles().first());
}

bool CSalvixLeftTreeCtrl::OpenDatabasePath(const QString& path, const std::string& nativePath)
{
    if (CJobControl::RefuseIfBusy(LogWnd()))
        return false;
    ShowProgress(QString::fromUtf16(u"解析数据库结构"));
    m_job->m_strDbPath = QFileInfo(path).absoluteFilePath().toStdU16String();
    m_job->m_strNativePath = nativePath;  // relative names stay relative: the folder never changes
    CJobControl::Start(m_job, AnalyseDbThread);
    return true;
}

bool CSalvixLeftTreeCtrl::ReopenDatabase(const DbInfo& db, bool withWal)
{
    if (CJobControl::RefuseIfBusy(LogWnd()))
        return false;
    ShowProgress(QString::fromUtf16(u"解析数据库结构"));
    m_job->m_strDbPath = db.path;
    m_job->m_strNativePath = db.nativePath;
    m_job->m_nReopenDbId = EntryId(db);
    m_job->m_bReopenWithWal = withWal;
    CJobControl::Start(m_job, AnalyseDbThread);
    return true;
}

bool CSalvixLeftTreeCtrl::ShowLogFrames(DbInfo& db)
{
    if (CJobControl::RefuseIfBusy(LogWnd()))
        return false;
    ShowProgress(QString::fromUtf16(u"读取WAL日志"));
    m_job->m_pSelDb = &db;
    m_job->m_pSelTable = nullptr;
    CJobControl::Start(m_job, LogFramesThread);
    return true;
}

bool CSalvixLeftTreeCtrl::StartCaseReport(std::shared_ptr<CCaseReport> report, const std::string& nativePath)
{
    if (CJobControl::RefuseIfBusy(LogWnd()) || report == nullptr)
        return false;
    ShowProgress(QString::fromUtf16(u"生成报告"));
    m_job->m_report = std::move(report);
    m_job->m_strReportPath = nativePath;
    CJobControl::Start(m_job, CaseReportThread);
    return true;
}

bool CSalvixLeftTreeCtrl::ResolveSelection()
{
    m_job->m_pSelDb = nullptr;
    m_job->m_pSelTable = nullptr;
    if (m_pMainFrame == nullptr)
        return false;
    CSalvixCtrlItem item = GetSelectedItem();
    if (item == nullptr)
        return false;
    std::int64_t dbId = 0;
    std::int64_t tableId = 0;
    if (CSalvixCtrlItem parent = GetParentItem(item)) {
        dbId = ParseEntryId(GetItemText(parent, 2).toStdU16String());
        tableId = ParseEntryId(GetItemText(item, 2).toStdU16String());
    } else {
        dbId = ParseEntryId(GetItemText(item, 2).toStdU16String());
    }
    DbInfo* db = FindDbEntry(dbId);
    if (db == nullptr)
        return false;
    m_job->m_pSelDb = db;
    if (tableId == 0)
        return true;
    m_job->m_pSelTable = FindTableEntry(*db, tableId);
    return m_job->m_pSelTable != nullptr;
}

void CSalvixLeftTreeCtrl::ShowProperties()
{
    // The open job adds to g_dbList while it runs; the list is read only
    // between jobs.
    if (CJobControl::RefuseIfBusy(LogWnd()))
        return;
    if (!ResolveSelection() || m_pRightView == nullptr)
        return;
    m_pRightView->ShowProperties(PropertyRows(*m_job->m_pSelDb, m_job->m_pSelTable));
}

void CSalvixLeftTreeCtrl::OnLButtonUp(Qt::MouseButtons flags, const QPoint& point)
{
    // The release that ends a double click belongs to the double click.
    if (m_bInDoubleClick) {
        m_bInDoubleClick = false;
        CSalvixCtrlCtrl::OnLButtonUp(flags, point);
        return;
    }
    if (HitTest(point) == nullptr)
        return;
    if (m_bDeviceTree) {
        ShowProperties();
        CSalvixCtrlCtrl::OnLButtonUp(flags, point);
        return;
    }
    if (ShowRecords())
        CSalvixCtrlCtrl::OnLButtonUp(flags, point);
}

bool CSalvixLeftTreeCtrl::ShowRecords()
{
    if (CJobControl::RefuseIfBusy(LogWnd()))
        return false;
    // The window's own list (the active one whenever a click gets here).
    // Rows are loaded once per window.
    if (m_pRightView == nullptr || m_pRightView->GetItemCount() > 0 || m_job->m_pSelTable == nullptr)
        return false;
    ShowProgress(QStringLiteral("Show Table Record"));
    m_pRightView->SetupRecordColumns(m_job, *m_job->m_pSelTable);
    CJobControl::Start(m_job, ShowRecordsThread);
    return true;
}

void CSalvixLeftTreeCtrl::mousePressEvent(QMouseEvent* event)
{
    // A press starts a new click (a message box may have taken the release
    // of the last double click).
    m_bInDoubleClick = false;
    CSalvixCtrlCtrl::mousePressEvent(event);
}

void CSalvixLeftTreeCtrl::OnLButtonDblClk(Qt::MouseButtons flags, const QPoint& point)
{
    m_bInDoubleClick = true;
    if (g_bBusy != 0) {
        MessageBox(QString::fromUtf16(SALVIX_TEXT_BUSY_BOX));
        return;
    }
    CSalvixCtrlItem item = GetSelectedItem();
    if (item == nullptr)
        return;
    OpenTableWindow(item);
    CSalvixCtrlCtrl::OnLButtonDblClk(flags, point);
}

void CSalvixLeftTreeCtrl::OpenTableWindow(CSalvixCtrlItem item)
{
    if (m_pMainFrame == nullptr)
        return;
    m_pMainFrame->m_strNewTableTitle = GetItemText(item, 0).toStdU16String();
    const std::int64_t id = ParseEntryId(GetItemText(item, 2).toStdU16String());
    if (GetParentItem(item) == nullptr || !m_bDeviceTree)
        return;
    if (m_pMainFrame->m_openTables.count(id) != 0) {
        MessageBox(QString::fromUtf16(u"此表已经被解析"));
        return;
    }
    m_pMainFrame->OnCommand(ID_FILE_NEW);
    m_pMainFrame->m_openTables[id] = 1;
}

bool CSalvixLeftTreeCtrl::InitTableWindow(CSalvixLeftTreeCtrl* deviceTree)
{
    if (deviceTree == nullptr)
        return false;
    // Resolving reads g_dbList, which only a job writes.
    if (CJobControl::RefuseIfBusy(LogWnd()))
        return false;
    if (!deviceTree->ResolveSelection() || deviceTree->m_job->m_pSelTable == nullptr) {
        CJobControl::Warn(LogWnd(), u"No table is selected in the device window: nothing to read");
        return false;
    }
    m_job->AdoptTable(*deviceTree->m_job->m_pSelDb, *deviceTree->m_job->m_pSelTable);
    InsertItem(Q(m_job->m_pSelTable->name), SCI_ROOT, SCI_LAST);
    AnalyseTableCommand();
    return true;
}

void CSalvixLeftTreeCtrl::AnalyseTableCommand()
{
    if (CJobControl::RefuseIfBusy(LogWnd()))
        return;
    ShowProgress(QString::fromUtf16(u"解析表结构"));
    m_job->m_parser.m_pTable = m_job->m_pSelTable;
    m_job->m_parser.m_pDb = m_job->m_pSelDb;
    CJobControl::Start(m_job, AnalyseTableThread);
}

void CSalvixLeftTreeCtrl::FillDeviceTree()
{
    DeleteAllItems();
    for (DbInfo& db : g_dbList) {
        CSalvixCtrlItem item = InsertItem(Q(db.path), SCI_ROOT, SCI_LAST);
        if (item == nullptr)
            return;
        SetItemTextColor(item, kDbItemColor);
        SetItemText(item, Q(DbItemText(db)), 1);
        SetItemText(item, Q(EntryIdText(EntryId(db))), 2);
        if (!InsertTableItems(item, db))
            return;  // the whole fill ends here
        Expand(item, SCE_EXPAND);
    }
}

bool CSalvixLeftTreeCtrl::InsertTableItems(CSalvixCtrlItem dbItem, const DbInfo& db)
{
    // The live tables, then the dropped ones in a colour of their own.
    for (const std::list<TableInfo>* tables : {&db.tables, &db.droppedTables}) {
        for (const TableInfo& table : *tables) {
            CSalvixCtrlItem child =
                InsertItem(Q(table.dropped ? DroppedTableText(table) : table.name), dbItem, SCI_LAST);
            if (child == nullptr)
                return false;
            SetItemText(child, QString::number(table.columns.size()), 1);
            SetItemText(child, Q(EntryIdText(EntryId(table))), 2);
            SetItemText(child, QString::number(table.kind), 3);
            if (table.dropped)
                SetItemTextColor(child, kRecoveredColor);
        }
    }
    return true;
}

void CSalvixLeftTreeCtrl::FillTableTree()
{
    DeleteAllItems();
    const TableInfo* table = m_job->m_pSelTable;
    if (table == nullptr)
        return;
    CSalvixCtrlItem top =
        InsertItem(Q(TableTreeTitle(*table, m_job->m_parser.m_rows.size())), SCI_ROOT, SCI_LAST);
    for (const ColumnInfo& column : table->columns) {
        CSalvixCtrlItem child = InsertItem(Q(column.name), top, SCI_LAST);
        SetItemText(child, Q(column.type), 1);
    }
    Expand(top, SCE_EXPAND);
    CSalvixCtrlItem recovered =
        InsertItem(Q(RecoveredTreeTitle(m_job->m_tableRows.RecoveredCount())), SCI_ROOT, SCI_LAST);
    SetItemTextColor(recovered, kRecoveredColor);
}

void CSalvixLeftTreeCtrl::OnJobView(const JobViewCall& call)
{
    switch (call.step) {
    case JobViewStep::kFillDeviceTree:
        FillDeviceTree();
        break;
    case JobViewStep::kFillTableTree:
        FillTableTree();
        break;
    case JobViewStep::kShowRecords:
        if (m_pRightView != nullptr)
            m_pRightView->ShowRecordRows(call.count);
        break;
    case JobViewStep::kShowLogFrames:
        if (m_pMainFrame != nullptr && !m_job->m_logFrames.Frames().empty())
            CLogFramesWnd::Show(m_pMainFrame, m_job->m_logFrames);
        break;
    case JobViewStep::kHashProgress:
        if (m_progressDlg != nullptr) {
            m_progressDlg->SetMessage(QString::fromUtf16(u"计算哈希值,please wait..."));
            m_progressDlg->SetProgress(static_cast<int>(call.count));
        }
        break;
    case JobViewStep::kCloseProgress:
        if (m_progressDlg != nullptr)
            m_progressDlg->close();
        emit JobFinished();
        break;
    }
}

std::unique_ptr<QMenu> CSalvixLeftTreeCtrl::CreateDeviceMenu(CSalvixCtrlItem item)
{
    if (item == nullptr || !m_bDeviceTree || GetParentItem(item) != nullptr)
        return nullptr;
    auto menu = std::make_unique<QMenu>(this);
    // g_dbList is read only between jobs.
    const DbInfo* db =
        g_bBusy == 0 ? FindDbEntry(ParseEntryId(GetItemText(item, 2).toStdU16String())) : nullptr;
    for (std::size_t i = 0; i < std::size(kDeviceMenu); ++i) {
        if (kDeviceMenu[i] == 0) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(QString::fromUtf16(kDeviceMenuTexts[i]));
        const UINT nID = kDeviceMenu[i];
        action->setData(nID);
        // The log commands need a log; the one that would change nothing is off.
        if (nID == ID_APPLY_WAL || nID == ID_NO_WAL || nID == ID_LOG_FRAMES)
            action->setEnabled(db != nullptr && db->log.found &&
                               (nID == ID_LOG_FRAMES || db->withWal != (nID == ID_APPLY_WAL)));
        connect(action, &QAction::triggered, this, [this, nID] { OnCommand(nID); });
    }
    return menu;
}

void CSalvixLeftTreeCtrl::OnRButtonUp(Qt::MouseButtons flags, const QPoint& point)
{
    CSalvixCtrlItem item = HitTest(point);
    if (item == nullptr)
        return;
    if (std::unique_ptr<QMenu> menu = CreateDeviceMenu(item))
        menu->exec(viewport()->mapToGlobal(point));
    CSalvixCtrlCtrl::OnRButtonUp(flags, point);
}
