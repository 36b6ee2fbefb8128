// The right half of a child window: in the device window the property list
// (two columns), in a table window the record list (one column per table
// column, a check box per row) with its check-mark commands, the "RECORD"
// menu, sorting by a header click and copying rows with Ctrl+C.
#pragma once

#include <QWidget>
#include <memory>
#include <vector>

#include "RecordListModel.h"
#include "driver/ViewTexts.h"
#include "platform/WindowMessage.h"

class CJobContext;
class CMainFrame;
class QMenu;
class QTableView;
class TFColorListCtrl;
struct TableInfo;

class CSalvixRightView : public QWidget {
    Q_OBJECT
public:
    CSalvixRightView(CMainFrame* frame, bool bTableWindow, QWidget* parent = nullptr);

    QTableView* List() const { return m_list; }
    int GetItemCount() const;
    bool IsRecordList() const { return m_records != nullptr; }
    CRecordListModel* Records() const { return m_records; }

    // Property list: replaces every row with the four given.
    void ShowProperties(const std::vector<PropertyRow>& rows);
    // Record list: no rows, one column per column of `table`, rows from `job`.
    void SetupRecordColumns(std::shared_ptr<CJobContext> job, const TableInfo& table);
    // Record list: shows the first `count` rows read, last read at the top.
    void ShowRecordRows(std::size_t count);

    // Check-mark commands (32774, 32786, 32775, 32789) and the switch of
    // the recovered rows; false for others.
    bool OnCommand(UINT nID);
    // Shows or hides the recovered rows after the live ones.
    void SetShowRecovered(bool show);
    void SetAllChecked(bool checked);
    void SetSelectedChecked(bool checked);
    // Selected rows, top to bottom.
    std::vector<int> SelectedRows() const;
    // Copies the selected rows to the clipboard as tab-separated lines.
    void CopySelection();

    // Sorting: a header click sorts by that column, a second click on it
    // reverses, a third restores the walk order. The sort runs off the
    // window thread; SortApplied tells when the list shows its result.
    void OnHeaderClicked(int column);
    CRecordListModel::SortMode SortMode() const { return m_sortMode; }
    int SortColumn() const { return m_nSortColumn; }
    // The "RECORD" menu for a right click at `pos` of the list; null when
    // none is shown there.
    std::unique_ptr<QMenu> CreateRecordMenu(const QPoint& pos);

signals:
    void SortApplied();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void OnListRightClick(const QPoint& pos);
    void StartSort(int column, CRecordListModel::SortMode mode);

    CMainFrame* m_pMainFrame = nullptr;
    QTableView* m_list = nullptr;
    TFColorListCtrl* m_properties = nullptr;  // device window
    CRecordListModel* m_records = nullptr;    // table window
    int m_nSortColumn = -1;
    CRecordListModel::SortMode m_sortMode = CRecordListModel::SortMode::kWalk;
    int m_nSortGeneration = 0;
};
