// The multi-column tree of every child window's left half: column 0 is the
// tree column, the others texts beside it. Items are opaque handles; a null
// handle means no item. A button press over an item selects it (the view's
// own press handling, for any button) before any release or double-click
// handler runs, so the handlers read the selection.
#pragma once

#include <QPoint>
#include <QTreeView>
#include <cstdint>

#include "SalvixTreeModel.h"
#include "engine/DbInfo.h"

using CSalvixCtrlItem = CSalvixTreeNode*;
using COLORREF = std::uint32_t;  // 0x00BBGGRR

// Markers of InsertItem: a top-level item, appended after the last sibling.
inline CSalvixCtrlItem const SCI_ROOT = reinterpret_cast<CSalvixCtrlItem>(std::uintptr_t{0xFFFF0001});
inline CSalvixCtrlItem const SCI_LAST = reinterpret_cast<CSalvixCtrlItem>(std::uintptr_t{0xFFFF0002});
// Expand's code for showing the children.
constexpr int SCE_EXPAND = 2;
// GetNextItem's code for the next sibling.
constexpr int SCN_NEXT = 1;

class CSalvixCtrlCtrl : public QTreeView {
    Q_OBJECT
public:
    static constexpr int kMaxColumns = 4;

    explicit CSalvixCtrlCtrl(QWidget* parent = nullptr);

    int InsertColumn(const QString& caption);
    // Width 0 hides the column.
    void SetColumnWidth(int column, int width);
    int GetColumnCount() const { return m_model.ColumnCount(); }

    // `parent` SCI_ROOT (or null) makes a top-level item; items are always
    // appended after their last sibling. Null when `parent` is no item.
    CSalvixCtrlItem InsertItem(const QString& text, CSalvixCtrlItem parent,
                               CSalvixCtrlItem after = SCI_LAST);
    void SetItemText(CSalvixCtrlItem item, const QString& text, int column);
    QString GetItemText(CSalvixCtrlItem item, int column) const;
    void SetItemTextColor(CSalvixCtrlItem item, COLORREF color);
    void Expand(CSalvixCtrlItem item, int code = SCE_EXPAND);
    void DeleteItem(CSalvixCtrlItem item);
    void DeleteAllItems();
    CSalvixCtrlItem GetSelectedItem() const;
    void SelectItem(CSalvixCtrlItem item);
    CSalvixCtrlItem GetParentItem(CSalvixCtrlItem item) const;
    // SCI_ROOT gives the first top-level item.
    CSalvixCtrlItem GetChildItem(CSalvixCtrlItem item) const;
    CSalvixCtrlItem GetNextItem(CSalvixCtrlItem item, int code = SCN_NEXT) const;
    CSalvixCtrlItem HitTest(const QPoint& point) const;
    // The point at the middle of an item's row, for tests and scripted use.
    QPoint ItemPoint(CSalvixCtrlItem item) const;

    CSalvixTreeModel* Model() { return &m_model; }

protected:
    // The control's own mouse handling; a derived handler calls it to pass
    // the event on.
    virtual void OnLButtonUp(Qt::MouseButtons flags, const QPoint& point);
    virtual void OnLButtonDblClk(Qt::MouseButtons flags, const QPoint& point);
    virtual void OnRButtonUp(Qt::MouseButtons flags, const QPoint& point);

    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    bool IsItem(CSalvixCtrlItem item) const { return m_model.IsNode(item); }

    CSalvixTreeModel m_model;
    QMouseEvent* m_pEvent = nullptr;  // the event being handled
};
