// The right half of a child window: in the device window the property list
// (two columns), in a table window the record list (one column per table
// column, a check box per row) with its check-mark commands, the "RECORD"
// menu, sorting by a header click and copying rows with Ctrl+C. Under the
// record list, the page pane shows the page of the selected record with its
// bytes highlighted; a click on a byte selects the record holding it. The
// header's menu shows a column's numbers as times.
#pragma once

#include <QWidget>
#include <memory>
#include <optional>
#include <vector>

#include "RecordListModel.h"
#include "driver/ViewTexts.h"
#include "platform/WindowMessage.h"

class CJobContext;
class CMainFrame;
class CPagePane;
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
    // Table window: the pane under the record list.
    CPagePane* PagePane() const { return m_pagePane; }

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
    // The header's menu for table column `column`: "显示为时间" with the
    // six encodings and "原值"; null for the four extra columns.
    std::unique_ptr<QMenu> CreateHeaderMenu(int column);

    // Shows the page of presented row `row` in the page pane with the
    // row's bytes highlighted.
    void ShowRowPage(int row);
    // Selects the record holding byte `offset` of the page shown; false
    // when no shown record holds it.
    bool SelectRecordAt(quint32 offset);
    // The presented row of index `index` in m_tableRows, or -1.
    int PresentedRow(std::size_t index) const;

signals:
    void SortApplied();

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void OnListRightClick(const QPoint& pos);
    void StartSort(int column, CRecordListModel::SortMode mode);
    HWND LogWnd() const;

    CMainFrame* m_pMainFrame = nullptr;
    QTableView* m_list = nullptr;
    TFColorListCtrl* m_properties = nullptr;  // device window
    CRecordListModel* m_records = nullptr;    // table window
    CPagePane* m_pagePane = nullptr;          // table window
    int m_nSortColumn = -1;
    CRecordListModel::SortMode m_sortMode = CRecordListModel::SortMode::kWalk;
    int m_nSortGeneration = 0;
};
