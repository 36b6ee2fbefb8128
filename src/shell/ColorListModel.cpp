#include "ColorListModel.h"

#include <algorithm>

#include <QColor>

CColorListModel::CColorListModel(QObject* parent) : QAbstractTableModel(parent) {}

int CColorListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : GetItemCount();
}

int CColorListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_headings.size());
}

QColor CColorListModel::ToQColor(COLORREF color)
{
    return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

QVariant CColorListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !IsCell(index.row(), index.column()))
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return GetItemText(index.row(), index.column());
    case Qt::ForegroundRole:
        return ToQColor(GetItemTextColor(index.row(), index.column()));
    case Qt::BackgroundRole:
        return ToQColor(GetItemBkColor(index.row(), index.column()));
    default:
        return {};
    }
}

QVariant CColorListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || section < 0 || section >= m_headings.size())
        return {};
    if (role == Qt::DisplayRole)
        return m_headings[section];
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

void CColorListModel::InsertColumn(const QString& heading)
{
    const int column = static_cast<int>(m_headings.size());
    beginInsertColumns(QModelIndex(), column, column);
    m_headings.append(heading);
    endInsertColumns();
}

bool CColorListModel::IsCell(int row, int column) const
{
    return row >= 0 && row < GetItemCount() && column >= 0 && column < m_headings.size();
}

int CColorListModel::InsertRow(int row, const QString& text)
{
    const int at = std::clamp(row, 0, GetItemCount());
    beginInsertRows(QModelIndex(), at, at);
    Row added;
    added.texts.append(text);
    m_rows.insert(m_rows.begin() + at, std::move(added));
    endInsertRows();
    return at;
}

bool CColorListModel::SetItemText(int row, int column, const QString& text)
{
    if (!IsCell(row, column))
        return false;
    QStringList& texts = m_rows[static_cast<std::size_t>(row)].texts;
    while (texts.size() <= column)
        texts.append(QString());
    texts[column] = text;
    const QModelIndex cell = index(row, column);
    emit dataChanged(cell, cell, {Qt::DisplayRole});
    return true;
}

QString CColorListModel::GetItemText(int row, int column) const
{
    if (!IsCell(row, column))
        return {};
    const QStringList& texts = m_rows[static_cast<std::size_t>(row)].texts;
    return column < texts.size() ? texts[column] : QString();
}

void CColorListModel::StoreColor(std::vector<COLORREF>& cells, int column, COLORREF color)
{
    if (cells.size() <= static_cast<std::size_t>(column))
        cells.resize(static_cast<std::size_t>(column) + 1, 0);
    cells[static_cast<std::size_t>(column)] = color;
}

COLORREF CColorListModel::ColorAt(const std::vector<COLORREF>& cells, int column,
                                  COLORREF fallback)
{
    return static_cast<std::size_t>(column) < cells.size() ? cells[static_cast<std::size_t>(column)]
                                                           : fallback;
}

void CColorListModel::SetItemTextColor(int row, int column, COLORREF color)
{
    if (!IsCell(row, column))
        return;
    StoreColor(m_rows[static_cast<std::size_t>(row)].colors.text, column, color);
    const QModelIndex cell = index(row, column);
    emit dataChanged(cell, cell, {Qt::ForegroundRole});
}

void CColorListModel::SetItemBkColor(int row, int column, COLORREF color)
{
    if (!IsCell(row, column))
        return;
    StoreColor(m_rows[static_cast<std::size_t>(row)].colors.background, column, color);
    const QModelIndex cell = index(row, column);
    emit dataChanged(cell, cell, {Qt::BackgroundRole});
}

COLORREF CColorListModel::GetItemTextColor(int row, int column) const
{
    if (!IsCell(row, column))
        return kDefaultText;
    return ColorAt(m_rows[static_cast<std::size_t>(row)].colors.text, column, kDefaultText);
}

COLORREF CColorListModel::GetItemBkColor(int row, int column) const
{
    if (!IsCell(row, column))
        return kDefaultBackground;
    return ColorAt(m_rows[static_cast<std::size_t>(row)].colors.background, column,
                   kDefaultBackground);
}

void CColorListModel::DeleteAllRows()
{
    beginResetModel();
    m_rows.clear();
    endResetModel();
}
