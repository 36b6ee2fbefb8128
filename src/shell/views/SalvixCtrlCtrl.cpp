#include "SalvixCtrlCtrl.h"

#include <QHeaderView>
#include <QMouseEvent>

CSalvixCtrlCtrl::CSalvixCtrlCtrl(QWidget* parent) : QTreeView(parent), m_model(this)
{
    setModel(&m_model);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    header()->setStretchLastSection(false);
    header()->setMinimumSectionSize(0);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

int CSalvixCtrlCtrl::InsertColumn(const QString& caption)
{
    m_model.AppendColumn(caption);
    return m_model.ColumnCount() - 1;
}

void CSalvixCtrlCtrl::SetColumnWidth(int column, int width)
{
    if (column < 0 || column >= m_model.ColumnCount())
        return;
    setColumnHidden(column, width <= 0);
    if (width > 0)
        setColumnWidth(column, width);
}

CSalvixCtrlItem CSalvixCtrlCtrl::InsertItem(const QString& text, CSalvixCtrlItem parent,
                                            CSalvixCtrlItem)
{
    if (parent == SCI_ROOT)
        parent = nullptr;
    if (parent != nullptr && !IsItem(parent))
        return nullptr;
    return m_model.AppendNode(parent, text);
}

void CSalvixCtrlCtrl::SetItemText(CSalvixCtrlItem item, const QString& text, int column)
{
    // A text may be kept for a column the tree does not show.
    if (IsItem(item) && column >= 0 && column < kMaxColumns)
        m_model.SetText(item, column, text);
}

QString CSalvixCtrlCtrl::GetItemText(CSalvixCtrlItem item, int column) const
{
    if (!IsItem(item) || column < 0 || column >= item->texts.size())
        return QString();
    return item->texts[column];
}

void CSalvixCtrlCtrl::SetItemTextColor(CSalvixCtrlItem item, COLORREF color)
{
    if (IsItem(item))
        m_model.SetColor(item, QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF));
}

void CSalvixCtrlCtrl::Expand(CSalvixCtrlItem item, int code)
{
    if (IsItem(item) && code == SCE_EXPAND)
        expand(m_model.IndexOf(item));
}

void CSalvixCtrlCtrl::DeleteItem(CSalvixCtrlItem item)
{
    if (IsItem(item))
        m_model.RemoveNode(item);
}

void CSalvixCtrlCtrl::DeleteAllItems()
{
    m_model.Clear();
}

CSalvixCtrlItem CSalvixCtrlCtrl::GetSelectedItem() const
{
    const QModelIndexList selected = selectionModel()->selectedIndexes();
    return selected.isEmpty() ? nullptr : m_model.NodeOf(selected.first());
}

void CSalvixCtrlCtrl::SelectItem(CSalvixCtrlItem item)
{
    if (IsItem(item))
        setCurrentIndex(m_model.IndexOf(item));
}

CSalvixCtrlItem CSalvixCtrlCtrl::GetParentItem(CSalvixCtrlItem item) const
{
    if (!IsItem(item) || !IsItem(item->parent))
        return nullptr;
    return item->parent;
}

CSalvixCtrlItem CSalvixCtrlCtrl::GetChildItem(CSalvixCtrlItem item) const
{
    if (item == SCI_ROOT)
        item = const_cast<CSalvixTreeModel&>(m_model).Root();
    else if (!IsItem(item))
        return nullptr;
    if (item->children.empty())
        return nullptr;
    return item->children.front().get();
}

CSalvixCtrlItem CSalvixCtrlCtrl::GetNextItem(CSalvixCtrlItem item, int code) const
{
    if (!IsItem(item) || code != SCN_NEXT)
        return nullptr;
    const auto& siblings = item->parent->children;
    for (std::size_t i = 0; i + 1 < siblings.size(); ++i) {
        if (siblings[i].get() == item)
            return siblings[i + 1].get();
    }
    return nullptr;
}

CSalvixCtrlItem CSalvixCtrlCtrl::HitTest(const QPoint& point) const
{
    return m_model.NodeOf(indexAt(point));
}

QPoint CSalvixCtrlCtrl::ItemPoint(CSalvixCtrlItem item) const
{
    if (!IsItem(item))
        return QPoint(-1, -1);
    return visualRect(m_model.IndexOf(item)).center();
}

void CSalvixCtrlCtrl::OnLButtonUp(Qt::MouseButtons, const QPoint&)
{
    if (m_pEvent != nullptr)
        QTreeView::mouseReleaseEvent(m_pEvent);
}

void CSalvixCtrlCtrl::OnLButtonDblClk(Qt::MouseButtons, const QPoint&)
{
    if (m_pEvent != nullptr)
        QTreeView::mouseDoubleClickEvent(m_pEvent);
}

void CSalvixCtrlCtrl::OnRButtonUp(Qt::MouseButtons, const QPoint&)
{
    if (m_pEvent != nullptr)
        QTreeView::mouseReleaseEvent(m_pEvent);
}

void CSalvixCtrlCtrl::mouseReleaseEvent(QMouseEvent* event)
{
    m_pEvent = event;
    const QPoint point = event->position().toPoint();
    if (event->button() == Qt::LeftButton)
        OnLButtonUp(event->buttons(), point);
    else if (event->button() == Qt::RightButton)
        OnRButtonUp(event->buttons(), point);
    else
        QTreeView::mouseReleaseEvent(event);
    m_pEvent = nullptr;
}

void CSalvixCtrlCtrl::mouseDoubleClickEvent(QMouseEvent* event)
{
    m_pEvent = event;
    if (event->button() == Qt::LeftButton)
        OnLButtonDblClk(event->buttons(), event->position().toPoint());
    else
        QTreeView::mouseDoubleClickEvent(event);
    m_pEvent = nullptr;
}
