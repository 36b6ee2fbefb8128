#include "ScanResultModel.h"

#include <algorithm>

#include "records/Carver.h"

namespace {

// Type texts the carvers send; a hit stores the index of its text.
constexpr const char16_t* kTypeTexts[] = {u"jpg", u"mov", u"mp4", u"sqlite"};

std::uint8_t TypeIndex(const std::u16string& type)
{
    for (std::uint8_t i = 0; i < std::size(kTypeTexts); ++i)
        if (type == kTypeTexts[i])
            return i;
    return 0;
}

}  // namespace

CScanResultModel::CScanResultModel(QObject* parent) : QAbstractTableModel(parent) {}

int CScanResultModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_hits.size());
}

int CScanResultModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : (m_bDatabases ? 5 : 3);
}

QStringList CScanResultModel::Headings() const
{
    QStringList headings = {QStringLiteral("索引"), QStringLiteral("类型"), QStringLiteral("pos")};
    if (m_bDatabases)
        headings << QStringLiteral("页大小") << QStringLiteral("长度");
    return headings;
}

QString CScanResultModel::TypeText(int row) const
{
    return QString::fromUtf16(kTypeTexts[HitAt(row).type]);
}

QVariant CScanResultModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    const Hit& hit = HitAt(index.row());
    if (role == Qt::CheckStateRole && index.column() == 0)
        return hit.checked ? Qt::Checked : Qt::Unchecked;
    if (role != Qt::DisplayRole)
        return {};
    switch (index.column()) {
    case 0: return QString::number(index.row());  // the count before the row was added
    case 1: return TypeText(index.row());
    case 2: return QString::number(hit.offset);
    case 3: return QString::number(hit.pageSize);
    case 4: return QString::number(hit.size);
    default: return {};
    }
}

bool CScanResultModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (role != Qt::CheckStateRole || index.column() != 0 || index.row() >= rowCount())
        return false;
    SetChecked(index.row(), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags CScanResultModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags flags = QAbstractTableModel::flags(index);
    if (index.column() == 0)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

QVariant CScanResultModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    return Headings().value(section);
}

void CScanResultModel::Reset(bool databases)
{
    beginResetModel();
    m_hits.clear();
    m_hits.shrink_to_fit();
    m_pending.clear();
    m_bDatabases = databases;
    endResetModel();
}

void CScanResultModel::Append(const ScanResult& result)
{
    m_pending.push_back({result.offset, result.size, result.pageSize, TypeIndex(result.type), false});
}

void CScanResultModel::Flush()
{
    if (m_pending.empty())
        return;
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(m_pending.size()) - 1);
    m_hits.insert(m_hits.end(), m_pending.begin(), m_pending.end());
    m_pending.clear();
    endInsertRows();
}

void CScanResultModel::SetChecked(int row, bool checked)
{
    if (row < 0 || row >= rowCount() || m_hits[static_cast<std::size_t>(row)].checked == checked)
        return;
    m_hits[static_cast<std::size_t>(row)].checked = checked;
    const QModelIndex cell = index(row, 0);
    emit dataChanged(cell, cell, {Qt::CheckStateRole});
}

void CScanResultModel::SetAllChecked(bool checked)
{
    if (m_hits.empty())
        return;
    for (Hit& hit : m_hits)
        hit.checked = checked;
    emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
}
