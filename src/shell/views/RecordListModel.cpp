#include "RecordListModel.h"

#include <algorithm>
#include <QBrush>
#include <QColor>

#include "driver/JobContext.h"
#include "driver/ViewTexts.h"
#include "RecordOrder.h"

CRecordListModel::CRecordListModel(QObject* parent) : QAbstractTableModel(parent) {}

int CRecordListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_nLiveShown + RecoveredShown());
}

int CRecordListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_captions.size());
}

std::size_t CRecordListModel::RowIndex(int row) const
{
    if (!m_order.empty())
        return m_order[static_cast<std::size_t>(row)];
    const auto r = static_cast<std::size_t>(row);
    if (r < m_nLiveShown)
        return m_nLiveShown - 1 - r;
    return m_job->m_tableRows.LiveCount() + (r - m_nLiveShown);
}

bool CRecordListModel::IsRecoveredRow(int row) const
{
    return m_job != nullptr && row >= 0 && row < rowCount() && m_job->m_tableRows.IsRecovered(RowIndex(row));
}

bool CRecordListModel::IsLost(int row, int column) const
{
    return m_job != nullptr && row >= 0 && row < rowCount() &&
           m_job->m_tableRows.IsLost(RowIndex(row), column);
}

QString CRecordListModel::Text(int row, int column) const
{
    if (m_job == nullptr || row < 0 || row >= rowCount() || column < 0)
        return QString();
    CTableRows::Scratch scratch;
    const std::string_view text = m_job->m_tableRows.Text(RowIndex(row), column, scratch);
    if (m_times.Any() && column < m_nTableColumns)
        if (const std::optional<std::string> time = m_times.Shown(static_cast<std::size_t>(column), text))
            return QString::fromLatin1(time->data(), static_cast<qsizetype>(time->size()));
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

void CRecordListModel::SetTimeEncoding(int column, std::optional<TimeEncoding> encoding)
{
    if (column < 0 || column >= m_nTableColumns)
        return;
    m_times.Set(static_cast<std::size_t>(column), encoding);
    emit headerDataChanged(Qt::Horizontal, column, column);
    if (rowCount() > 0)
        emit dataChanged(index(0, column), index(rowCount() - 1, column), {Qt::DisplayRole});
}

std::optional<TimeEncoding> CRecordListModel::TimeEncodingOf(int column) const
{
    return column >= 0 ? m_times.Get(static_cast<std::size_t>(column)) : std::nullopt;
}

QVariant CRecordListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return Text(index.row(), index.column());
    case Qt::CheckStateRole:
        if (index.column() == 0)
            return IsChecked(index.row()) ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::ForegroundRole:
        if (IsRecoveredRow(index.row())) {
            const auto bgr = kRecoveredColor;
            return QBrush(QColor(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF));
        }
        return {};
    case Qt::BackgroundRole:
        // A lost value shows empty, hatched, unlike a stored empty text.
        if (IsLost(index.row(), index.column()))
            return QBrush(QColor(160, 160, 160), Qt::BDiagPattern);
        return {};
    case Qt::ToolTipRole:
        if (IsLost(index.row(), index.column()))
            return QString::fromUtf16(u"无法恢复的值");
        if (index.column() < m_nTableColumns) {
            // A number read as a time under each encoding that fits.
            CTableRows::Scratch scratch;
            const std::u16string readings = CTimeColumns::Readings(
                m_job->m_tableRows.Text(RowIndex(index.row()), index.column(), scratch));
            if (!readings.empty())
                return QString::fromStdU16String(readings);
        }
        return {};
    default:
        return {};
    }
}

bool CRecordListModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.column() != 0 || role != Qt::CheckStateRole)
        return false;
    SetChecked(index.row(), value.toInt() == Qt::Checked);
    return true;
}

Qt::ItemFlags CRecordListModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == 0)
        flags |= Qt::ItemIsUserCheckable;
    return flags;
}

QVariant CRecordListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 &&
        section < m_captions.size()) {
        if (const std::optional<TimeEncoding> encoding = TimeEncodingOf(section))
            return m_captions[section] + QStringLiteral(" (%1)").arg(QLatin1String(TimeEncodingName(*encoding)));
        return m_captions[section];
    }
    return QAbstractTableModel::headerData(section, orientation, role);
}

void CRecordListModel::Setup(std::shared_ptr<CJobContext> job, const QStringList& captions)
{
    beginResetModel();
    m_job = std::move(job);
    m_nTableColumns = static_cast<int>(captions.size());
    m_captions = captions;
    for (int extra = 0; extra < CTableRows::kExtraColumns; ++extra)
        m_captions.append(QString::fromStdU16String(std::u16string(CTableRows::ExtraCaption(extra))));
    m_nLiveShown = 0;
    m_nRecoveredShown = 0;
    m_order.clear();
    m_times.Clear();
    std::size_t rows = 0;
    if (m_job != nullptr) {
        m_job->m_tableRows.SetColumnCount(static_cast<std::size_t>(m_nTableColumns));
        rows = m_job->m_tableRows.LiveCount() + m_job->m_tableRows.RecoveredCount();
    }
    m_checked.assign(rows, false);
    endResetModel();
}

void CRecordListModel::ShowRows(std::size_t count)
{
    if (m_job == nullptr)
        return;
    const CTableRows& rows = m_job->m_tableRows;
    const std::size_t total = rows.LiveCount() + rows.RecoveredCount();
    count = std::min(count, total);
    if (count <= m_nLiveShown + m_nRecoveredShown)
        return;
    if (m_checked.size() < total)
        m_checked.resize(total, false);
    const std::size_t live = std::min(count, rows.LiveCount());
    const std::size_t recovered = count - live;
    if (!m_order.empty()) {
        // A sorted list goes back to walk order when more rows arrive.
        beginResetModel();
        m_order.clear();
        m_nLiveShown = live;
        m_nRecoveredShown = recovered;
        endResetModel();
        return;
    }
    if (live > m_nLiveShown) {
        beginInsertRows(QModelIndex(), 0, static_cast<int>(live - m_nLiveShown) - 1);
        m_nLiveShown = live;
        endInsertRows();
    }
    if (recovered > m_nRecoveredShown) {
        if (m_bShowRecovered) {
            const int first = rowCount();
            beginInsertRows(QModelIndex(), first, first + static_cast<int>(recovered - m_nRecoveredShown) - 1);
            m_nRecoveredShown = recovered;
            endInsertRows();
        } else {
            m_nRecoveredShown = recovered;
        }
    }
}

void CRecordListModel::SetShowRecovered(bool show)
{
    if (show == m_bShowRecovered)
        return;
    beginResetModel();
    m_bShowRecovered = show;
    m_order.clear();
    endResetModel();
}

bool CRecordListModel::IsChecked(int row) const
{
    if (row < 0 || row >= rowCount())
        return false;
    return m_checked[RowIndex(row)];
}

void CRecordListModel::SetChecked(int row, bool checked)
{
    if (row < 0 || row >= rowCount())
        return;
    m_checked[RowIndex(row)] = checked;
    const QModelIndex cell = index(row, 0);
    emit dataChanged(cell, cell, {Qt::CheckStateRole});
}

void CRecordListModel::SetAllChecked(bool checked)
{
    const int rows = rowCount();
    if (rows == 0)
        return;
    for (int row = 0; row < rows; ++row)
        m_checked[RowIndex(row)] = checked;
    emit dataChanged(index(0, 0), index(rows - 1, 0), {Qt::CheckStateRole});
}

QString CRecordListModel::RowsAsText(const std::vector<int>& rows) const
{
    QString text;
    for (int row : rows) {
        if (row < 0 || row >= rowCount())
            continue;
        for (int column = 0; column < m_captions.size(); ++column) {
            if (column != 0)
                text += u'\t';
            // Tabs and line breaks inside a value would break the lines apart.
            QString value = Text(row, column);
            value.replace(u'\t', u' ').replace(u'\n', u' ').replace(u'\r', u' ');
            text += value;
        }
        text += u'\n';
    }
    return text;
}

std::vector<std::uint32_t> CRecordListModel::SortedOrder(const CJobContext& job, std::size_t liveShown,
                                                         std::size_t recoveredShown, int column,
                                                         SortMode mode)
{
    if (mode == SortMode::kWalk)
        return {};
    return SortedRecordOrder(job.m_tableRows, liveShown, recoveredShown, column, mode == SortMode::kAscending);
}

void CRecordListModel::ApplyOrder(std::vector<std::uint32_t> order, std::size_t shown)
{
    const std::size_t rows = static_cast<std::size_t>(rowCount());
    if (shown != rows || (!order.empty() && order.size() != rows))
        return;
    beginResetModel();
    m_order = std::move(order);
    endResetModel();
}
