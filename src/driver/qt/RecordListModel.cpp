#include "RecordListModel.h"

#include <algorithm>
#include <charconv>

#include "driver/JobContext.h"

namespace {

// A value's sort key: empty text first, then numbers by value, then other
// text by code point.
struct SortKey {
    std::uint8_t rank = 0;  // 0 empty, 1 number, 2 text
    bool isInteger = false;
    std::int64_t integer = 0;
    double real = 0;
};

SortKey KeyOf(std::u16string_view text)
{
    SortKey key;
    if (text.empty())
        return key;
    key.rank = 2;
    char ascii[64];
    if (text.size() >= sizeof ascii)
        return key;
    // Only digits, signs, point and exponent: "inf" or "nan" stay text.
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t c = text[i];
        if (!((c >= u'0' && c <= u'9') || c == u'+' || c == u'-' || c == u'.' || c == u'e' ||
              c == u'E'))
            return key;
        ascii[i] = static_cast<char>(c);
    }
    const char* end = ascii + text.size();
    const char* begin = ascii[0] == '+' ? ascii + 1 : ascii;
    std::int64_t integer = 0;
    auto parsed = std::from_chars(begin, end, integer);
    if (parsed.ec == std::errc() && parsed.ptr == end) {
        key.rank = 1;
        key.isInteger = true;
        key.integer = integer;
        key.real = static_cast<double>(integer);
        return key;
    }
    double real = 0;
    auto parsedReal = std::from_chars(begin, end, real);
    if (parsedReal.ec == std::errc() && parsedReal.ptr == end) {
        key.rank = 1;
        key.real = real;
    }
    return key;
}

// UTF-16 units ordered as their code points: surrogates (U+10000 and up)
// after the units U+E000..U+FFFF.
inline std::uint32_t CodePointRank(char16_t unit)
{
    if (unit >= 0xE000)
        return unit - 0x800u;
    if (unit >= 0xD800)
        return unit + 0x2000u;
    return unit;
}

int CompareText(std::u16string_view a, std::u16string_view b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (a[i] != b[i])
            return CodePointRank(a[i]) < CodePointRank(b[i]) ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : (a.size() > b.size() ? 1 : 0);
}

int CompareNumbers(const SortKey& a, const SortKey& b)
{
    if (a.isInteger && b.isInteger)
        return a.integer < b.integer ? -1 : (a.integer > b.integer ? 1 : 0);
    // An integer against a real: long double holds every 64-bit integer.
    const long double x = a.isInteger ? static_cast<long double>(a.integer) : a.real;
    const long double y = b.isInteger ? static_cast<long double>(b.integer) : b.real;
    return x < y ? -1 : (x > y ? 1 : 0);
}

std::u16string_view ValueOf(const RowValues& row, int column)
{
    return static_cast<std::size_t>(column) < row.size() ? row[static_cast<std::size_t>(column)]
                                                         : std::u16string_view();
}

}  // namespace

CRecordListModel::CRecordListModel(QObject* parent) : QAbstractTableModel(parent) {}

int CRecordListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_nShown);
}

int CRecordListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(m_captions.size());
}

std::size_t CRecordListModel::RowIndex(int row) const
{
    if (!m_order.empty())
        return m_order[static_cast<std::size_t>(row)];
    return m_nShown - 1 - static_cast<std::size_t>(row);
}

const RowValues* CRecordListModel::Row(int row) const
{
    if (m_job == nullptr || row < 0 || static_cast<std::size_t>(row) >= m_nShown)
        return nullptr;
    return &m_job->m_parser.m_rows[RowIndex(row)];
}

QString CRecordListModel::Text(int row, int column) const
{
    const RowValues* values = Row(row);
    if (values == nullptr || column < 0)
        return QString();
    const std::u16string_view text = ValueOf(*values, column);
    return QString::fromUtf16(text.data(), static_cast<qsizetype>(text.size()));
}

QVariant CRecordListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return {};
    if (role == Qt::DisplayRole)
        return Text(index.row(), index.column());
    if (role == Qt::CheckStateRole && index.column() == 0)
        return IsChecked(index.row()) ? Qt::Checked : Qt::Unchecked;
    return {};
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
        section < m_captions.size())
        return m_captions[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}

void CRecordListModel::Setup(std::shared_ptr<CJobContext> job, const QStringList& captions)
{
    beginResetModel();
    m_job = std::move(job);
    m_captions = captions;
    m_nShown = 0;
    m_order.clear();
    m_checked.assign(m_job != nullptr ? m_job->m_parser.m_rows.size() : 0, false);
    endResetModel();
}

void CRecordListModel::ShowRows(std::size_t count)
{
    if (m_job == nullptr)
        return;
    count = std::min(count, m_job->m_parser.m_rows.size());
    if (count <= m_nShown)
        return;
    if (m_checked.size() < count)
        m_checked.resize(m_job->m_parser.m_rows.size(), false);
    if (!m_order.empty()) {
        // A sorted list goes back to walk order when more rows arrive.
        beginResetModel();
        m_order.clear();
        m_nShown = count;
        endResetModel();
        return;
    }
    beginInsertRows(QModelIndex(), 0, static_cast<int>(count - m_nShown) - 1);
    m_nShown = count;
    endInsertRows();
}

bool CRecordListModel::IsChecked(int row) const
{
    if (row < 0 || static_cast<std::size_t>(row) >= m_nShown)
        return false;
    return m_checked[RowIndex(row)];
}

void CRecordListModel::SetChecked(int row, bool checked)
{
    if (row < 0 || static_cast<std::size_t>(row) >= m_nShown)
        return;
    m_checked[RowIndex(row)] = checked;
    const QModelIndex cell = index(row, 0);
    emit dataChanged(cell, cell, {Qt::CheckStateRole});
}

void CRecordListModel::SetAllChecked(bool checked)
{
    if (m_nShown == 0)
        return;
    for (int row = 0; row < static_cast<int>(m_nShown); ++row)
        m_checked[RowIndex(row)] = checked;
    emit dataChanged(index(0, 0), index(static_cast<int>(m_nShown) - 1, 0), {Qt::CheckStateRole});
}

QString CRecordListModel::RowsAsText(const std::vector<int>& rows) const
{
    QString text;
    for (int row : rows) {
        const RowValues* values = Row(row);
        if (values == nullptr)
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

std::vector<std::uint32_t> CRecordListModel::SortedOrder(const CJobContext& job, std::size_t shown,
                                                         int column, SortMode mode)
{
    std::vector<std::uint32_t> order;
    if (mode == SortMode::kWalk)
        return order;
    const auto& rows = job.m_parser.m_rows;
    shown = std::min(shown, rows.size());
    std::vector<SortKey> keys(shown);
    for (std::size_t i = 0; i < shown; ++i)
        keys[i] = KeyOf(ValueOf(rows[i], column));
    // Start from the walk presentation, last read first, so equal values
    // keep that order.
    order.resize(shown);
    for (std::size_t r = 0; r < shown; ++r)
        order[r] = static_cast<std::uint32_t>(shown - 1 - r);
    const auto compare = [&](std::uint32_t a, std::uint32_t b) {
        const SortKey& x = keys[a];
        const SortKey& y = keys[b];
        if (x.rank != y.rank)
            return x.rank < y.rank ? -1 : 1;
        if (x.rank == 1)
            return CompareNumbers(x, y);
        if (x.rank == 2)
            return CompareText(ValueOf(rows[a], column), ValueOf(rows[b], column));
        return 0;
    };
    if (mode == SortMode::kAscending)
        std::stable_sort(order.begin(), order.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return compare(a, b) < 0; });
    else
        std::stable_sort(order.begin(), order.end(),
                         [&](std::uint32_t a, std::uint32_t b) { return compare(a, b) > 0; });
    return order;
}

void CRecordListModel::ApplyOrder(std::vector<std::uint32_t> order, std::size_t shown)
{
    if (shown != m_nShown || (!order.empty() && order.size() != m_nShown))
        return;
    beginResetModel();
    m_order = std::move(order);
    endResetModel();
}
