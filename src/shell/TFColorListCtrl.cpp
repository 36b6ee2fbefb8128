#include "TFColorListCtrl.h"

#include <QHeaderView>
#include <QItemSelectionModel>

TFColorListCtrl::TFColorListCtrl(QWidget* parent) : QTableView(parent), m_model(this)
{
    setModel(&m_model);
    setShowGrid(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setWordWrap(false);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    verticalHeader()->hide();
    // Fixed row height: a long log stays cheap to lay out.
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    horizontalHeader()->setStretchLastSection(false);
    horizontalHeader()->setHighlightSections(false);
}

void TFColorListCtrl::EnsureVisible(int row)
{
    if (row < 0 || row >= GetItemCount())
        return;
    scrollTo(m_model.index(row, 0), QAbstractItemView::EnsureVisible);
}

bool TFColorListCtrl::HasSelection() const
{
    return selectionModel() != nullptr && selectionModel()->hasSelection();
}
