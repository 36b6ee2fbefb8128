// The tree of a child window with its job context. In the device window it
// lists every opened database with its tables and runs the open command; in
// a table window it lists the table's columns, reads the table when the
// window is created and shows the records on a click.
#pragma once

#include <QPointer>
#include <functional>
#include <memory>

#include "SalvixCtrlCtrl.h"
#include "MyProgressDlg.h"
#include "driver/JobContext.h"

class CMainFrame;
class CSalvixRightView;
class QMenu;

class CSalvixLeftTreeCtrl : public CSalvixCtrlCtrl {
    Q_OBJECT
public:
    CSalvixLeftTreeCtrl(CMainFrame* frame, CSalvixRightView* rightView, QWidget* parent = nullptr);
    ~CSalvixLeftTreeCtrl() override;

    // Commands forwarded by the main frame or sent by the context menu;
    // false for one this control does not handle.
    bool OnCommand(UINT nID);

    // Open file (32818): busy rule, file dialog, then OpenDatabasePath.
    void OnOpenDatabase();
    // The open job for a chosen path, as after the file dialog. False when
    // refused because a job runs. `nativePath`, when given, is the file
    // name's bytes (a command-line argument): that file is opened, and
    // `path` only shows it.
    bool OpenDatabasePath(const QString& path, const std::string& nativePath = {});
    // The open job again for the database `db`, with or without its log;
    // the new entry takes the old one's place. False when refused because
    // a job runs.
    bool ReopenDatabase(const DbInfo& db, bool withWal);
    // The log job for `db`: its frames then show in the "WAL帧" window.
    bool ShowLogFrames(DbInfo& db);
    // The case report job: adds every open database to `report` and writes
    // it to the file of these name bytes. False (with the busy warning)
    // when a job runs or there is no report.
    bool StartCaseReport(std::shared_ptr<CCaseReport> report, const std::string& nativePath);
    // Sets m_pSelDb and m_pSelTable from the selected item.
    bool ResolveSelection();
    // The four property rows of the selected database or table.
    void ShowProperties();
    // What a double click on `item` does once it is selected (the title of
    // the next table window, and that window when `item` is a table).
    void OpenTableWindow(CSalvixCtrlItem item);
    // Table window: makes this the window of the device tree's selected
    // table and starts reading it. False (window left empty) without one.
    bool InitTableWindow(CSalvixLeftTreeCtrl* deviceTree);
    // Table window: what a click does, the show records job. False when it
    // did not start.
    bool ShowRecords();

    // Rebuilds the device tree from g_dbList.
    void FillDeviceTree();
    // Adds the table items of `db` under its item; false when an insertion
    // failed (the rest are not added).
    bool InsertTableItems(CSalvixCtrlItem dbItem, const DbInfo& db);
    // The table's columns under "name: n 条记录".
    void FillTableTree();
    // A view step a worker sends (on this thread, the worker waiting).
    void OnJobView(const JobViewCall& call);

    CMainFrame* m_pMainFrame = nullptr;
    CSalvixRightView* m_pRightView = nullptr;
    // Set in the device window's tree. The mouse handlers go by it rather
    // than by the active tab, which a double click has already moved to the
    // new table window when its last release arrives.
    bool m_bDeviceTree = false;
    const std::shared_ptr<CJobContext>& Job() const { return m_job; }
    CMyProgressDlg* ProgressDlg() const { return m_progressDlg; }
    // The "Device" context menu for a right click on `item`; null when none
    // is shown there.
    std::unique_ptr<QMenu> CreateDeviceMenu(CSalvixCtrlItem item);

    // Message boxes go through here; tests replace it.
    static std::function<void(QWidget* parent, const QString& text)> s_messageBox;

signals:
    // A job of this window has ended (after its close request).
    void JobFinished();

protected:
    void OnLButtonUp(Qt::MouseButtons flags, const QPoint& point) override;
    void OnLButtonDblClk(Qt::MouseButtons flags, const QPoint& point) override;
    void OnRButtonUp(Qt::MouseButtons flags, const QPoint& point) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void ShowProgress(const QString& caption);
    void AnalyseTableCommand();
    HWND LogWnd() const;
    void MessageBox(const QString& text);
    CSalvixRightView* ActiveRightView() const;

    std::shared_ptr<CJobContext> m_job;
    QPointer<CMyProgressDlg> m_progressDlg;
    bool m_bInDoubleClick = false;
};
